#include <orx/il/CaptureReplay.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <orx/il/Diag.h>
#include <orx/il/FramePump.h>
#include <orx/il/IlServer.h>
#include <orx/il/PcapFiles.h>
#include <orx/msglib/Message.h>

namespace orx::il {

// A capture being replayed: counts what it gives and stops giving on request.
struct CaptureReplay::Input final : public FrameSource {
    Input(std::string name, uint16_t index, const std::string& path, bool count,
          const std::atomic<bool>& stopFlag)
        : label(std::move(name)),
          port(index),
          file(path),
          total(count ? CountCaptureFrames(path) : 0),
          stop(stopFlag) {}

    size_t Read(RxFrame* frames, size_t max) override {
        if (stop.load(std::memory_order_relaxed))
            return 0;
        size_t n = file.Read(frames, max);
        read.fetch_add(n, std::memory_order_relaxed);
        return n;
    }
    bool AtEnd() const override { return stop.load(std::memory_order_relaxed) || file.AtEnd(); }

    std::string label;
    uint16_t port;
    PcapFileSource file;
    uint64_t total;
    std::atomic<uint64_t> read{0};
    const std::atomic<bool>& stop;
};

// An output capture: counts what it is given.
struct CaptureReplay::Output final : public FrameSink {
    Output(std::string name, uint16_t index, const std::string& path)
        : label(std::move(name)), port(index), file(path) {}

    void Transmit(const TxFrame* frames, size_t count) override {
        file.Transmit(frames, count);
        written.fetch_add(count, std::memory_order_relaxed);
    }

    std::string label;
    uint16_t port;
    PcapFileSink file;
    std::atomic<uint64_t> written{0};
};

CaptureReplay::CaptureReplay() = default;

CaptureReplay::~CaptureReplay() {
    Stop();
    if (m_thread.joinable())
        m_thread.join();
}

FramePump& CaptureReplay::PumpOf(IlServer& il) {
    auto& pump = m_pumps[&il];
    if (!pump)
        pump = std::make_unique<FramePump>();
    return *pump;
}

void CaptureReplay::AddInput(IlServer& il, uint16_t port, std::string label,
                             const std::string& path, bool countFrames) {
    PortEngine* engine = il.Engine(port);
    if (!engine)
        throw std::runtime_error("port " + label + " is not served by its test port");
    m_inputs.push_back(std::make_unique<Input>(std::move(label), port, path, countFrames, m_stop));
    PumpOf(il).AddSource(*engine, *m_inputs.back());
}

void CaptureReplay::AddOutput(IlServer& il, uint16_t port, std::string label,
                              const std::string& path) {
    m_outputs.push_back(std::make_unique<Output>(std::move(label), port, path));
    PumpOf(il).AddSink(port, *m_outputs.back());
}

void CaptureReplay::Start() {
    m_thread = std::thread([this] { Run(); });
}

void CaptureReplay::Run() {
    try {
        for (auto& [il, pump] : m_pumps)
            pump->RunToEnd();
        for (auto& output : m_outputs)
            output->file.Close();
    } catch (const std::exception& e) {
        m_error = e.what();
    }
    m_done = true;
}

void CaptureReplay::Stop() {
    m_stop = true;
}

std::string CaptureReplay::Wait() {
    if (m_thread.joinable())
        m_thread.join();
    return m_error;
}

std::vector<CaptureReplay::Progress> CaptureReplay::Inputs() const {
    std::vector<Progress> out;
    for (const auto& in : m_inputs)
        out.push_back(
            Progress{in->label, in->port, in->read.load(std::memory_order_relaxed), in->total});
    return out;
}

std::vector<CaptureReplay::Progress> CaptureReplay::Outputs() const {
    std::vector<Progress> out;
    for (const auto& o : m_outputs)
        out.push_back(Progress{o->label, o->port, o->written.load(std::memory_order_relaxed), 0});
    return out;
}

uint64_t CountCaptureFrames(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    uint8_t header[24];
    uint64_t frames = 0;
    if (std::fread(header, 1, sizeof header, f) == sizeof header) {
        uint32_t magic;
        std::memcpy(&magic, header, 4);
        const bool native = magic == 0xa1b2c3d4 || magic == 0xa1b23c4d;
        const bool swapped = magic == 0xd4c3b2a1 || magic == 0x4d3cb2a1;
        if (native || swapped) {
            // Record headers only: 16 bytes each, the captured length at offset 8.
            std::vector<uint8_t> buffer(1 << 20);
            size_t have = 0, pos = 0;
            uint64_t skip = 0;  // bytes of the current record's data still to pass
            for (;;) {
                size_t avail = have - pos;
                if (skip > 0) {
                    const size_t step = skip < avail ? static_cast<size_t>(skip) : avail;
                    pos += step;
                    skip -= step;
                    avail -= step;
                }
                if (skip == 0 && avail >= 16) {
                    uint32_t caplen;
                    std::memcpy(&caplen, buffer.data() + pos + 8, 4);
                    if (swapped)
                        caplen = __builtin_bswap32(caplen);
                    ++frames;
                    pos += 16;
                    skip = caplen;
                    continue;
                }
                std::memmove(buffer.data(), buffer.data() + pos, avail);
                have = avail;
                pos = 0;
                const size_t n = std::fread(buffer.data() + have, 1, buffer.size() - have, f);
                if (n == 0)
                    break;
                have += n;
            }
        }
    }
    std::fclose(f);
    return frames;
}

Message ReplayAnswer(const Message& request, CaptureReplay& replay) {
    std::string error = replay.Wait();
    if (!error.empty())
        return FailedResponse(&request, FAULT_INTERNAL, std::string(diag::kReplay) + ": " + error);
    std::map<uint16_t, ReplayPortView> ports;
    for (const CaptureReplay::Progress& in : replay.Inputs()) {
        ports[in.port].port = in.port;
        ports[in.port].framesRead = in.frames;
    }
    for (const CaptureReplay::Progress& out : replay.Outputs()) {
        ports[out.port].port = out.port;
        ports[out.port].framesWritten = out.frames;
    }
    std::vector<ReplayPortView> list;
    for (auto& [port, view] : ports)
        list.push_back(view);
    Message response;
    diag::CreateReplayResponse(&response, list);
    response.set_seq_num(request.get_seq_num());
    response.set_destination(request.get_destination());
    return response;
}

}  // namespace orx::il
