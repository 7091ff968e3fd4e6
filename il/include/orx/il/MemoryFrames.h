#pragma once

// In-memory frame I/O for tests and benchmarks.

#include <cstdint>
#include <mutex>
#include <vector>

#include <orx/il/FrameIo.h>

namespace orx::il {

struct StoredFrame {
    std::vector<uint8_t> bytes;
    int64_t timeNs = 0;
};

// Replays a list of frames, optionally several times over (benchmarks).
class MemoryFrameSource final : public FrameSource {
  public:
    explicit MemoryFrameSource(std::vector<StoredFrame> frames, uint64_t rounds = 1);
    size_t Read(RxFrame* frames, size_t max) override;
    bool AtEnd() const override { return m_round >= m_rounds; }

  private:
    std::vector<StoredFrame> m_frames;
    uint64_t m_rounds;
    uint64_t m_round = 0;
    size_t m_next = 0;
};

// Keeps every transmitted frame; readable from another thread.
class MemoryFrameSink final : public FrameSink {
  public:
    void Transmit(const TxFrame* frames, size_t count) override;
    std::vector<StoredFrame> Frames() const;
    size_t Count() const;

  private:
    mutable std::mutex m_mutex;
    std::vector<StoredFrame> m_frames;
};

// Counts frames and bytes and drops them (benchmarks, ports whose output nobody reads).
class CountingFrameSink final : public FrameSink {
  public:
    void Transmit(const TxFrame* frames, size_t count) override {
        m_frames += count;
        for (size_t i = 0; i < count; ++i)
            m_bytes += frames[i].length;
    }
    uint64_t Frames() const { return m_frames; }
    uint64_t Bytes() const { return m_bytes; }

  private:
    uint64_t m_frames = 0;
    uint64_t m_bytes = 0;
};

}  // namespace orx::il
