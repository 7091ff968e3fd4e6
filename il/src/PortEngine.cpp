#include <orx/il/PortEngine.h>

#include <pcap/pcap.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "Checksums.h"

namespace orx::il {

uint32_t ResponderCounters::Rate(int64_t nowNs, int64_t clearedTenth) const {
    int64_t nowTenth = nowNs / kRateSlotNs;
    uint64_t sum = 0;
    for (int i = 0; i < kRateSlots; ++i) {
        int64_t tenth = slot[i].load(std::memory_order_acquire);
        if (tenth > nowTenth - kRateSlots && tenth <= nowTenth && tenth > clearedTenth) {
            sum += slotCount[i].load(std::memory_order_relaxed);
        }
    }
    return static_cast<uint32_t>(std::min<uint64_t>(sum, UINT32_MAX));
}

PortEngine::PortEngine(uint16_t port) : m_port(port) {}

PortEngine::~PortEngine() = default;

const PortTable* PortEngine::Enter() {
    // Announce the table before using it, then check it is still the current one: the control
    // path frees a retired table only when it is not announced.
    const PortTable* table = m_current.load();
    for (;;) {
        m_reading.store(table);
        const PortTable* again = m_current.load();
        if (again == table)
            return table;
        table = again;
    }
}

void PortEngine::Leave() {
    m_reading.store(nullptr, std::memory_order_release);
}

namespace {

// Inlined into both frame loops: a call per answer costs about a tenth of the answer itself.
[[gnu::always_inline]] inline void Answer(const ResponderOp& r, const RxFrame& f, TxBatch& out,
                                          uint64_t& dropped) {
    r.counters->BeginAnswer();
    r.counters->Match(f.timeNs);
    uint64_t sent = 0;
    for (uint32_t p = 0; p < r.profileCount; ++p) {
        const ProfileOp& op = r.profiles[p];
        if (op.port < 0) {
            ++dropped;
            continue;
        }
        uint32_t length = op.payloadLength ? op.payloadLength : f.length;
        uint32_t txLength = std::max(length, PortEngine::kMinFrameLength);
        uint8_t* bytes =
            out.Append(static_cast<uint16_t>(op.port), f.timeNs + op.delayNs, txLength);
        if (op.payloadLength) {
            std::memcpy(bytes, op.payload, length);
        } else {
            std::memcpy(bytes, f.data, length);
            for (uint32_t m = 0; m < op.patchCount; ++m) {
                const PatchOp& patch = op.patches[m];
                if (patch.offset >= length)
                    continue;
                uint32_t n = std::min(patch.length, length - patch.offset);
                uint8_t* at = bytes + patch.offset;
                for (uint32_t k = 0; k < n; ++k) {
                    at[k] = static_cast<uint8_t>((at[k] & ~patch.mask[k]) |
                                                 (patch.value[k] & patch.mask[k]));
                }
            }
            RepairChecksums(bytes, f.data, length, op.patches, op.patchCount);
        }
        if (txLength > length)
            std::memset(bytes + length, 0, txLength - length);
        ++sent;
    }
    if (sent)
        r.counters->Transmitted(sent);
    r.counters->EndAnswer();
}

// The indexed path, out of line: a port with few responders runs the plain loop in Process,
// whose code then stays as tight as it was before there was an index.
[[gnu::noinline]] void ProcessIndexed(const PortTable& table, const RxFrame* frames, size_t count,
                                      TxBatch& out, uint64_t& dropped) {
    const ResponderOp* first = table.responders.data();
    const PortDispatch& dispatch = table.dispatch;
    for (size_t i = 0; i < count; ++i) {
        const RxFrame& f = frames[i];
        dispatch.ForEachCandidate(f.data, f.length, [&](uint32_t c) {
            const ResponderOp& r = first[c];
            if (bpf_filter(r.filter, f.data, f.length, f.length) != 0)
                Answer(r, f, out, dropped);
        });
    }
}

}  // namespace

void ResponderCounters::Read(uint64_t& matchedOut, uint64_t& transmittedOut) const {
    for (int attempt = 0;; ++attempt) {
        const uint32_t before = sequence.load(std::memory_order_acquire);
        if ((before & 1) == 0) {
            const uint64_t m = matched.load(std::memory_order_acquire);
            const uint64_t t = transmitted.load(std::memory_order_acquire);
            if (sequence.load(std::memory_order_relaxed) == before) {
                matchedOut = m;
                transmittedOut = t;
                return;
            }
        }
        // An answer takes nanoseconds; a frame path that was descheduled in one takes longer.
        if (attempt >= 64)
            std::this_thread::yield();
    }
}

void PortEngine::Process(const RxFrame* frames, size_t count, TxBatch& out) {
    if (count == 0)
        return;
    const PortTable* table = Enter();
    if (table != nullptr && !table->responders.empty()) {
        const ResponderOp* first = table->responders.data();
        const ResponderOp* last = first + table->responders.size();
        uint64_t dropped = 0;
        if (table->dispatch.Covers(table->responders.size()) && table->dispatch.HasKeys()) {
            ProcessIndexed(*table, frames, count, out, dropped);
        } else {
            for (size_t i = 0; i < count; ++i) {
                const RxFrame& f = frames[i];
                for (const ResponderOp* r = first; r != last; ++r) {
                    if (bpf_filter(r->filter, f.data, f.length, f.length) != 0) {
                        Answer(*r, f, out, dropped);
                    }
                }
            }
        }
        if (dropped)
            m_dropped.fetch_add(dropped, std::memory_order_relaxed);
    }
    Leave();
    AdvanceClock(frames[count - 1].timeNs);
}

void PortEngine::AdvanceClock(int64_t nowNs) {
    if (nowNs > m_clockNs.load(std::memory_order_relaxed)) {
        m_clockNs.store(nowNs, std::memory_order_release);
    }
}

void PortEngine::Publish(std::unique_ptr<PortTable> table) {
    table->generation = m_nextGeneration++;
    m_current.store(table.get());
    if (m_live)
        m_retired.push_back(std::move(m_live));
    m_live = std::move(table);
    Reclaim();
}

void PortEngine::Reclaim() {
    const PortTable* reading = m_reading.load();
    std::erase_if(m_retired,
                  [reading](const std::unique_ptr<PortTable>& t) { return t.get() != reading; });
}

}  // namespace orx::il
