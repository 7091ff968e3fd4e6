#include <orx/il/FramePump.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <queue>
#include <thread>

namespace orx::il {

struct FramePump::Input {
    PortEngine* engine;
    FrameSource* source;
    std::vector<RxFrame> frames = std::vector<RxFrame>(kBatch);
    size_t pos = 0;
    size_t count = 0;
};

// Delayed responses, earliest first; equal times keep the order in which they were built.
struct FramePump::Queue {
    struct Item {
        int64_t timeNs;
        uint64_t seq;
        uint16_t port;
        std::vector<uint8_t> bytes;
    };
    struct Later {
        bool operator()(const Item& a, const Item& b) const {
            return a.timeNs != b.timeNs ? a.timeNs > b.timeNs : a.seq > b.seq;
        }
    };
    std::priority_queue<Item, std::vector<Item>, Later> heap;
    std::vector<std::vector<uint8_t>> spare;  // byte buffers of released items, reused
    uint64_t nextSeq = 0;

    void Push(uint16_t port, int64_t timeNs, const uint8_t* data, uint32_t length) {
        std::vector<uint8_t> bytes;
        if (!spare.empty()) {
            bytes = std::move(spare.back());
            spare.pop_back();
        }
        bytes.assign(data, data + length);
        heap.push(Item{timeNs, nextSeq++, port, std::move(bytes)});
    }
};

FramePump::FramePump() : m_queue(std::make_unique<Queue>()) {}

FramePump::~FramePump() = default;

void FramePump::AddSource(PortEngine& engine, FrameSource& source) {
    m_inputs.push_back(std::make_unique<Input>(Input{&engine, &source}));
}

void FramePump::AddSink(uint16_t port, FrameSink& sink) {
    if (m_sinks.size() <= port)
        m_sinks.resize(port + 1u, nullptr);
    m_sinks[port] = &sink;
}

size_t FramePump::Waiting() const {
    return m_queue->heap.size();
}

void FramePump::RunToEnd() {
    for (;;) {
        Input* next = nullptr;
        bool stalled = false;
        for (auto& in : m_inputs) {
            if (in->pos == in->count && !in->source->AtEnd()) {
                in->count = in->source->Read(in->frames.data(), in->frames.size());
                in->pos = 0;
                if (in->count == 0 && !in->source->AtEnd())
                    stalled = true;
            }
            if (in->pos < in->count &&
                (next == nullptr || in->frames[in->pos].timeNs < next->frames[next->pos].timeNs)) {
                next = in.get();
            }
        }
        if (next == nullptr) {
            if (!stalled)
                break;
            std::this_thread::yield();
            continue;
        }
        // Take the frames of this source up to the next frame of any other source.
        int64_t limit = std::numeric_limits<int64_t>::max();
        for (auto& in : m_inputs) {
            if (in.get() != next && in->pos < in->count) {
                limit = std::min(limit, in->frames[in->pos].timeNs);
            }
        }
        size_t end = next->pos + 1;
        while (end < next->count && next->frames[end].timeNs <= limit)
            ++end;
        m_batch.Clear();
        next->engine->Process(next->frames.data() + next->pos, end - next->pos, m_batch);
        int64_t now = next->frames[end - 1].timeNs;
        next->pos = end;
        Deliver(m_batch, now);
    }
    Flush();
}

size_t FramePump::Poll(int64_t nowNs) {
    size_t read = 0;
    for (auto& in : m_inputs) {
        size_t n = in->source->Read(in->frames.data(), in->frames.size());
        read += n;
        if (n) {
            m_batch.Clear();
            in->engine->Process(in->frames.data(), n, m_batch);
            Deliver(m_batch, std::max(nowNs, in->frames[n - 1].timeNs));
        }
        in->engine->AdvanceClock(nowNs);
    }
    Release(nowNs);
    return read;
}

void FramePump::Flush() {
    Release(std::numeric_limits<int64_t>::max());
}

void FramePump::Deliver(TxBatch& batch, int64_t nowNs) {
    if (batch.Size() == 0) {
        Release(nowNs);
        return;
    }
    // Usual case: nothing waits and every response is due, in time order: send it as it is.
    bool direct = m_queue->heap.empty() || m_queue->heap.top().timeNs > nowNs;
    for (size_t i = 0; direct && i < batch.Size(); ++i) {
        const TxBatch::Entry& e = batch.At(i);
        direct = e.timeNs <= nowNs && (i == 0 || e.timeNs >= batch.At(i - 1).timeNs);
        if (!m_queue->heap.empty() && e.timeNs > m_queue->heap.top().timeNs)
            direct = false;
    }
    if (direct) {
        Send(batch);
        return;
    }
    for (size_t i = 0; i < batch.Size(); ++i) {
        const TxBatch::Entry& e = batch.At(i);
        m_queue->Push(e.port, e.timeNs, batch.Bytes(e), e.length);
    }
    Release(nowNs);
}

void FramePump::Release(int64_t nowNs) {
    auto& heap = m_queue->heap;
    if (heap.empty() || heap.top().timeNs > nowNs)
        return;
    m_released.Clear();
    while (!heap.empty() && heap.top().timeNs <= nowNs) {
        // priority_queue gives only const access to its top; the item is popped right after.
        auto& item = const_cast<Queue::Item&>(heap.top());
        uint8_t* out =
            m_released.Append(item.port, item.timeNs, static_cast<uint32_t>(item.bytes.size()));
        std::memcpy(out, item.bytes.data(), item.bytes.size());
        m_queue->spare.push_back(std::move(item.bytes));
        heap.pop();
    }
    Send(m_released);
}

void FramePump::Send(const TxBatch& batch) {
    // One call per run of responses for the same port.
    size_t i = 0;
    while (i < batch.Size()) {
        uint16_t port = batch.At(i).port;
        m_staging.clear();
        while (i < batch.Size() && batch.At(i).port == port)
            m_staging.push_back(batch.Frame(i++));
        FrameSink* sink = port < m_sinks.size() ? m_sinks[port] : nullptr;
        if (sink == nullptr) {
            m_unrouted += m_staging.size();
            continue;
        }
        sink->Transmit(m_staging.data(), m_staging.size());
    }
}

}  // namespace orx::il
