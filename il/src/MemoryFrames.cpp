#include <orx/il/MemoryFrames.h>

namespace orx::il {

MemoryFrameSource::MemoryFrameSource(std::vector<StoredFrame> frames, uint64_t rounds)
    : m_frames(std::move(frames)), m_rounds(m_frames.empty() ? 0 : rounds) {}

size_t MemoryFrameSource::Read(RxFrame* frames, size_t max) {
    size_t n = 0;
    while (n < max && m_round < m_rounds) {
        const StoredFrame& f = m_frames[m_next];
        frames[n++] = RxFrame{f.bytes.data(), static_cast<uint32_t>(f.bytes.size()), f.timeNs};
        if (++m_next == m_frames.size()) {
            m_next = 0;
            ++m_round;
            break;  // a new round restarts the time line: hand it out in a batch of its own
        }
    }
    return n;
}

void MemoryFrameSink::Transmit(const TxFrame* frames, size_t count) {
    std::lock_guard lock(m_mutex);
    for (size_t i = 0; i < count; ++i) {
        m_frames.push_back(
            StoredFrame{std::vector<uint8_t>(frames[i].data, frames[i].data + frames[i].length),
                        frames[i].timeNs});
    }
}

std::vector<StoredFrame> MemoryFrameSink::Frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

size_t MemoryFrameSink::Count() const {
    std::lock_guard lock(m_mutex);
    return m_frames.size();
}

}  // namespace orx::il
