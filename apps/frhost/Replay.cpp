#include "Replay.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "orx/core/HostClasses.h"
#include "orx/framework/HandleRegistry.h"
#include "orx/il/FramePump.h"
#include "orx/il/IlServer.h"
#include "orx/il/PcapFiles.h"

namespace frhost {

using namespace orx::framework;

// A name that several objects hold is refused by FindObject, naming each of them.
PortPlace LocatePort(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
                     const std::string& name) {
    auto* port = dynamic_cast<orx::core::CPort*>(
        CHandleRegistry::Instance().Find(scenario.FindObject(name)));
    if (!port)
        throw std::runtime_error("\"" + name + "\" is not a port of the scenario");
    orx::core::CPhysicalPortGroup* group = port->GetPortGroup();
    orx::core::CPhysicalTestModule* module = group ? group->GetTestModule() : nullptr;
    for (const ModuleIl& il : ils) {
        if (module && il.module == module->GetObjectHandle())
            return PortPlace{&il, static_cast<uint16_t>(port->GetPortIndex())};
    }
    throw std::runtime_error("port " + name + " sits on no test module");
}

namespace {

PortPlace LocalPort(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
                    const std::string& name) {
    PortPlace place = LocatePort(scenario, ils, name);
    if (!place.il->il) {
        throw std::runtime_error("port " + name + " is served by " + place.il->endpoint +
                                 ": replay its captures with frild there");
    }
    return place;
}

}  // namespace

// A capture being replayed: counts what it gives and stops giving on request.
struct ReplayJob::Source final : public orx::il::FrameSource {
    Source(std::string portName, const std::string& path, bool count, const std::atomic<bool>& stop)
        : port(std::move(portName)),
          file(path),
          total(count ? CountCaptureFrames(path) : 0),
          m_stop(stop) {}

    size_t Read(orx::il::RxFrame* frames, size_t max) override {
        if (m_stop.load(std::memory_order_relaxed))
            return 0;
        size_t n = file.Read(frames, max);
        read.fetch_add(n, std::memory_order_relaxed);
        return n;
    }
    bool AtEnd() const override { return m_stop.load(std::memory_order_relaxed) || file.AtEnd(); }

    std::string port;
    orx::il::PcapFileSource file;
    uint64_t total;
    std::atomic<uint64_t> read{0};

  private:
    const std::atomic<bool>& m_stop;
};

ReplayJob::ReplayJob(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
                     const ReplayFiles& files, bool countFrames) {
    auto pumpOf = [&](const ModuleIl* il) -> orx::il::FramePump& {
        auto& pump = m_pumps[il];
        if (!pump)
            pump = std::make_unique<orx::il::FramePump>();
        return *pump;
    };
    for (const auto& [name, path] : files.outputs) {
        PortPlace place = LocalPort(scenario, ils, name);
        m_sinks.push_back(std::make_unique<orx::il::PcapFileSink>(path));
        pumpOf(place.il).AddSink(place.port, *m_sinks.back());
    }
    for (const auto& [name, path] : files.inputs) {
        PortPlace place = LocalPort(scenario, ils, name);
        orx::il::PortEngine* engine = place.il->il->Engine(place.port);
        if (!engine)
            throw std::runtime_error("port " + name + " is not served by its test port");
        m_sources.push_back(std::make_unique<Source>(name, path, countFrames, m_stop));
        pumpOf(place.il).AddSource(*engine, *m_sources.back());
    }
}

ReplayJob::~ReplayJob() {
    Stop();
    if (m_thread.joinable())
        m_thread.join();
}

void ReplayJob::Start() {
    m_thread = std::thread([this] { Run(); });
}

void ReplayJob::Run() {
    try {
        for (auto& [il, pump] : m_pumps)
            pump->RunToEnd();
        for (auto& sink : m_sinks)
            sink->Close();
    } catch (const std::exception& e) {
        m_error = e.what();
    }
    m_done = true;
}

void ReplayJob::Stop() {
    m_stop = true;
}

void ReplayJob::Wait() {
    if (m_thread.joinable())
        m_thread.join();
    if (!m_error.empty())
        throw std::runtime_error(m_error);
}

std::vector<ReplayJob::Progress> ReplayJob::GetProgress() const {
    std::vector<Progress> out;
    for (const auto& s : m_sources)
        out.push_back(Progress{s->port, s->read.load(std::memory_order_relaxed), s->total});
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

void Replay(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
            const ReplayFiles& files) {
    ReplayJob job(scenario, ils, files);
    job.Start();
    job.Wait();
}

}  // namespace frhost
