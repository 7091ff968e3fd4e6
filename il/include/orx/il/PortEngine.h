#pragma once

// The frame path of one port: matches received frames against the running responders of the
// port and builds their responses. The control path publishes an immutable responder table;
// the frame path loads it once per batch and never waits for the control path.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <orx/il/Dispatch.h>
#include <orx/il/FrameIo.h>

struct bpf_insn;

namespace orx::il {

// Counters of one configuration. Written by the frame path of its port only (single writer:
// plain load + store, no read-modify-write), read by the control path with atomics.
struct alignas(64) ResponderCounters {
    static constexpr int kRateSlots = 10;              // the last second in tenths
    static constexpr int64_t kRateSlotNs = 100000000;  // 100 ms

    std::atomic<uint64_t> matched{0};
    std::atomic<uint64_t> transmitted{0};
    // Odd while the frame path answers a frame (matched counted, transmissions not yet): a
    // sequence lock, so that the control path reads the two counters as one (a clear's baseline
    // taken between them would leave transmitted off by a frame's profiles for ever).
    std::atomic<uint32_t> sequence{0};
    // Matched frames per 100 ms slot of the source's clock; `slot` says which tenth it counts.
    std::array<std::atomic<int64_t>, kRateSlots> slot{};
    std::array<std::atomic<uint32_t>, kRateSlots> slotCount{};

    // The counters are stored with release and read with acquire: a reader that sees a new
    // value then sees the odd sequence of the answer that wrote it.
    void Match(int64_t timeNs) {
        matched.store(matched.load(std::memory_order_relaxed) + 1, std::memory_order_release);
        int64_t tenth = timeNs / kRateSlotNs;
        int i = static_cast<int>(tenth % kRateSlots);
        if (i < 0)
            i += kRateSlots;
        if (slot[i].load(std::memory_order_relaxed) != tenth) {
            slotCount[i].store(0, std::memory_order_relaxed);
            slot[i].store(tenth, std::memory_order_release);
        }
        slotCount[i].store(slotCount[i].load(std::memory_order_relaxed) + 1,
                           std::memory_order_relaxed);
    }
    void Transmitted(uint64_t n) {
        transmitted.store(transmitted.load(std::memory_order_relaxed) + n,
                          std::memory_order_release);
    }
    void BeginAnswer() {
        sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
    }
    void EndAnswer() {
        sequence.store(sequence.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    // Control path: matched and transmitted of one moment between two answers.
    void Read(uint64_t& matchedOut, uint64_t& transmittedOut) const;
    // Matched frames in the second (ten tenths) that ends at `nowNs`, leaving out the tenths up
    // to `clearedTenth` (the tenth in which the counters were last cleared).
    uint32_t Rate(int64_t nowNs, int64_t clearedTenth) const;
};

// One SET_VALUE patch: from `offset` on, byte = byte & ~mask | value & mask.
struct PatchOp {
    uint32_t offset;
    uint32_t length;
    const uint8_t* mask;
    const uint8_t* value;
};

// One response of a running responder. `port` < 0: the IL does not serve the profile's port,
// so its responses are dropped.
struct ProfileOp {
    const uint8_t* payload;
    uint32_t payloadLength;
    const PatchOp* patches;
    uint32_t patchCount;
    int32_t port;
    int64_t delayNs;
};

struct ResponderOp {
    const bpf_insn* filter;
    ResponderCounters* counters;
    const ProfileOp* profiles;
    uint32_t profileCount;
};

// The running responders of one port in handle order. Immutable once published; `owners`
// keeps the filters, payloads and counters it points into alive for as long as it may be read.
struct PortTable {
    uint64_t generation = 0;
    std::vector<ResponderOp> responders;
    // Which responders a frame may match; one that does not cover `responders` (the default)
    // makes the frame path run every filter.
    PortDispatch dispatch;
    std::vector<ProfileOp> profiles;
    std::vector<PatchOp> patches;
    std::vector<std::shared_ptr<const void>> owners;
};

class PortEngine {
  public:
    static constexpr uint32_t kMinFrameLength = 60;  // responses are padded to this on transmit

    explicit PortEngine(uint16_t port);
    ~PortEngine();
    PortEngine(const PortEngine&) = delete;
    PortEngine& operator=(const PortEngine&) = delete;

    uint16_t Port() const { return m_port; }

    // Frame path (one thread per port at a time): answers `count` frames, appending the
    // responses to `out`. Frames must come in time order.
    void Process(const RxFrame* frames, size_t count, TxBatch& out);
    // Moves the port's clock forward when no frames arrive (live sources, end of a replay), so
    // that receive rates fall back.
    void AdvanceClock(int64_t nowNs);
    int64_t ClockNs() const { return m_clockNs.load(std::memory_order_acquire); }
    // Responses dropped because their profile's port is not served here.
    uint64_t Dropped() const { return m_dropped.load(std::memory_order_relaxed); }

    // Control path: installs a new table; the previous one is freed once the frame path no
    // longer reads it.
    void Publish(std::unique_ptr<PortTable> table);

  private:
    const PortTable* Enter();
    void Leave();
    void Reclaim();

    uint16_t m_port;
    std::atomic<const PortTable*> m_current{nullptr};
    // The table the frame path is reading (a hazard pointer), null between batches.
    std::atomic<const PortTable*> m_reading{nullptr};
    std::unique_ptr<PortTable> m_live;  // owns m_current
    std::atomic<int64_t> m_clockNs{0};
    std::atomic<uint64_t> m_dropped{0};
    uint64_t m_nextGeneration = 1;
    std::vector<std::unique_ptr<PortTable>> m_retired;  // control path only
};

}  // namespace orx::il
