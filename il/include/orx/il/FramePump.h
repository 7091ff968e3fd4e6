#pragma once

// Drives frames from sources through the port engines to the sinks on the calling thread, and
// holds delayed responses until their time. A replay (RunToEnd) merges every source in time
// order, so its output depends only on the input files and the configuration.

#include <cstdint>
#include <memory>
#include <vector>

#include <orx/il/FrameIo.h>
#include <orx/il/PortEngine.h>

namespace orx::il {

class FramePump {
  public:
    static constexpr size_t kBatch = 256;

    FramePump();
    ~FramePump();
    FramePump(const FramePump&) = delete;
    FramePump& operator=(const FramePump&) = delete;

    // Frames read from `source` are received on `engine`'s port. Both must outlive the pump.
    void AddSource(PortEngine& engine, FrameSource& source);
    // Responses on `port` go to `sink` (which must outlive the pump); responses for a port with
    // no sink are counted in Unrouted() and dropped.
    void AddSink(uint16_t port, FrameSink& sink);

    // Replays every source to its end in the sources' own time, then transmits the responses
    // still waiting for their delay. Sources must not stall (Read 0 before their end).
    void RunToEnd();

    // One round for sources fed in real time (live interfaces): one batch from each source,
    // then everything due at `nowNs` (the caller's clock, same epoch as the frames') goes out.
    // Returns the frames read.
    size_t Poll(int64_t nowNs);
    // Transmits every response still waiting, whatever its time.
    void Flush();

    uint64_t Unrouted() const { return m_unrouted; }
    size_t Waiting() const;

  private:
    struct Input;
    void Deliver(TxBatch& batch, int64_t nowNs);
    void Release(int64_t nowNs);
    void Send(const TxBatch& batch);

    std::vector<std::unique_ptr<Input>> m_inputs;
    std::vector<FrameSink*> m_sinks;  // by port index
    TxBatch m_batch;
    TxBatch m_released;
    std::vector<TxFrame> m_staging;
    struct Queue;
    std::unique_ptr<Queue> m_queue;
    uint64_t m_unrouted = 0;
};

}  // namespace orx::il
