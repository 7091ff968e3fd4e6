#pragma once

// Frame I/O of the software test port: where received frames come from and where responses go.
// Times are nanoseconds on the frame source's own clock (a pcap file's timestamps, or the time
// a live interface stamped a frame); the IL never reads a clock on the frame path.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orx::il {

// One received frame. `data` stays valid until the next Read of the source that produced it.
struct RxFrame {
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    int64_t timeNs = 0;
};

// One frame to transmit: on `port`, at `timeNs` (rx time + the profile's delay).
struct TxFrame {
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    uint16_t port = 0;
    int64_t timeNs = 0;
};

// Received frames of one port, in time order. Implementations: in-memory frames, pcap files;
// a live interface implements the same interface (Read returns 0 while nothing arrived).
class FrameSource {
  public:
    virtual ~FrameSource() = default;
    // Fills up to `max` frames; returns how many. 0 with AtEnd() false means "none yet".
    virtual size_t Read(RxFrame* frames, size_t max) = 0;
    // True once the source will never deliver another frame.
    virtual bool AtEnd() const = 0;
};

// Transmits the frames of one port. Called once per batch of responses, never per frame, from
// the thread that drives the frames; a sink fed by several such threads must serialise itself.
// The frame bytes are only valid during the call.
class FrameSink {
  public:
    virtual ~FrameSink() = default;
    virtual void Transmit(const TxFrame* frames, size_t count) = 0;
};

// Responses built on the frame path for one batch of received frames. Storage grows to the
// largest batch seen and is then reused, so a steady stream allocates nothing.
class TxBatch {
  public:
    struct Entry {
        uint32_t offset;
        uint32_t length;
        uint16_t port;
        int64_t timeNs;
    };

    void Clear() {
        m_used = 0;
        m_entries.clear();
    }
    // Room for `length` bytes of a frame; the pointer is valid until the next Append or Clear.
    uint8_t* Append(uint16_t port, int64_t timeNs, uint32_t length) {
        if (m_used + length > m_bytes.size())
            m_bytes.resize((m_used + length) * 2);
        m_entries.push_back(Entry{static_cast<uint32_t>(m_used), length, port, timeNs});
        uint8_t* out = m_bytes.data() + m_used;
        m_used += length;
        return out;
    }
    size_t Size() const { return m_entries.size(); }
    const Entry& At(size_t i) const { return m_entries[i]; }
    const uint8_t* Bytes(const Entry& e) const { return m_bytes.data() + e.offset; }
    TxFrame Frame(size_t i) const {
        const Entry& e = m_entries[i];
        return TxFrame{m_bytes.data() + e.offset, e.length, e.port, e.timeNs};
    }

  private:
    std::vector<uint8_t> m_bytes;
    size_t m_used = 0;
    std::vector<Entry> m_entries;
};

}  // namespace orx::il
