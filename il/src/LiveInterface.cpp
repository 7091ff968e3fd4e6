#include "orx/il/LiveInterface.h"

#include <pcap/pcap.h>
#include <poll.h>

#include <chrono>
#include <mutex>
#include <stdexcept>

#include "orx/framework/Logger.h"
#include "orx/il/FramePump.h"
#include "orx/il/IlServer.h"

namespace orx::il {

using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;

namespace {

BLLLogger* Log() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("il.live");
    return logger;
}

constexpr int kSnapLength = 262144;

}  // namespace

struct LiveInterface::Impl {
    pcap_t* pcap = nullptr;
    bool nano = false;
    std::mutex txMutex;
    ~Impl() {
        if (pcap)
            pcap_close(pcap);
    }
};

LiveInterface::LiveInterface(const std::string& name)
    : m_impl(std::make_unique<Impl>()), m_name(name) {
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* p = pcap_create(name.c_str(), error);
    if (p == nullptr)
        throw PcapError("cannot open interface " + name + ": " + error);
    m_impl->pcap = p;
    auto fail = [&](const std::string& what, int rc) {
        std::string why =
            rc == PCAP_ERROR_NO_SUCH_DEVICE || rc == PCAP_ERROR_PERM_DENIED || rc == PCAP_ERROR
                ? std::string(pcap_geterr(p))
                : std::string(pcap_statustostr(rc));
        if (why.empty())
            why = pcap_statustostr(rc);
        throw PcapError("interface " + name + ": " + what + ": " + why);
    };
    pcap_set_snaplen(p, kSnapLength);
    pcap_set_promisc(p, 1);
    // Frames must reach the responders at once, not when a buffer fills.
    if (int rc = pcap_set_immediate_mode(p, 1); rc != 0)
        fail("cannot set immediate mode", rc);
    m_impl->nano = pcap_set_tstamp_precision(p, PCAP_TSTAMP_PRECISION_NANO) == 0;
    int rc = pcap_activate(p);
    if (rc < 0)
        fail("cannot activate capture", rc);
    if (rc > 0 && Log()->IsEnabledFor(orx::framework::LOG_WARN)) {
        Log()->Warn("interface " + name + ": " + pcap_statustostr(rc) + " " + pcap_geterr(p),
                    __FILE__, __LINE__);
    }
    if (pcap_datalink(p) != DLT_EN10MB) {
        throw PcapError("interface " + name + " is not Ethernet (link type " +
                        std::to_string(pcap_datalink(p)) + ")");
    }
    // Inbound only: the port's own transmissions are never fed back to its responders.
    if (pcap_setdirection(p, PCAP_D_IN) != 0)
        fail("cannot capture inbound frames only", PCAP_ERROR);
    if (pcap_setnonblock(p, 1, error) != 0)
        throw PcapError("interface " + name + ": cannot set non-blocking mode: " + error);
    m_impl->nano = pcap_get_tstamp_precision(p) == PCAP_TSTAMP_PRECISION_NANO;
}

LiveInterface::~LiveInterface() = default;

int64_t LiveInterface::NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

size_t LiveInterface::Read(RxFrame* frames, size_t max) {
    m_buffer.clear();
    m_offsets.clear();
    struct Ctx {
        LiveInterface* self;
        RxFrame* frames;
        size_t n;
        bool nano;
    } ctx{this, frames, 0, m_impl->nano};
    // libpcap's buffer is reused on the next call: copy the frames, then point at the copies.
    int rc = pcap_dispatch(
        m_impl->pcap, static_cast<int>(max),
        [](u_char* user, const pcap_pkthdr* h, const u_char* bytes) {
            auto* c = reinterpret_cast<Ctx*>(user);
            c->self->m_offsets.push_back(static_cast<uint32_t>(c->self->m_buffer.size()));
            c->self->m_buffer.insert(c->self->m_buffer.end(), bytes, bytes + h->caplen);
            c->frames[c->n].length = h->caplen;
            c->frames[c->n].timeNs =
                int64_t(h->ts.tv_sec) * 1000000000 + int64_t(h->ts.tv_usec) * (c->nano ? 1 : 1000);
            ++c->n;
        },
        reinterpret_cast<u_char*>(&ctx));
    if (rc < 0) {
        // The interface went away or failed: say so and report no frames rather than stop.
        if (Log()->IsEnabledFor(orx::framework::LOG_ERROR)) {
            Log()->Error("interface " + m_name + ": capture failed: " + pcap_geterr(m_impl->pcap),
                         __FILE__, __LINE__);
        }
        return 0;
    }
    for (size_t i = 0; i < ctx.n; ++i)
        frames[i].data = m_buffer.data() + m_offsets[i];
    m_received.fetch_add(ctx.n, std::memory_order_relaxed);
    return ctx.n;
}

void LiveInterface::Transmit(const TxFrame* frames, size_t count) {
    std::lock_guard lock(m_impl->txMutex);
    size_t failed = 0;
    std::string why;
    for (size_t i = 0; i < count; ++i) {
        if (pcap_inject(m_impl->pcap, frames[i].data, frames[i].length) < 0) {
            ++failed;
            why = pcap_geterr(m_impl->pcap);
        }
    }
    m_sent.fetch_add(count - failed, std::memory_order_relaxed);
    if (failed) {
        m_sendErrors.fetch_add(failed, std::memory_order_relaxed);
        if (Log()->IsEnabledFor(orx::framework::LOG_ERROR)) {
            Log()->Error("interface " + m_name + ": " + std::to_string(failed) + " of " +
                             std::to_string(count) + " frames not sent: " + why,
                         __FILE__, __LINE__);
        }
    }
}

bool LiveInterface::WaitReadable(int timeoutMs) {
    int fd = pcap_get_selectable_fd(m_impl->pcap);
    if (fd < 0)
        return true;  // no selectable descriptor: the caller polls
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

struct LiveRunner::Port {
    uint16_t port;
    PortEngine* engine;
    LiveInterface* iface;
};

LiveRunner::LiveRunner(IlServer& il, const std::vector<std::pair<uint16_t, std::string>>& ports)
    : m_il(il) {
    for (const auto& [port, name] : ports) {
        PortEngine* engine = il.Engine(port);
        if (engine == nullptr) {
            throw std::invalid_argument("interface " + name + ": port " + std::to_string(port) +
                                        " is not served by this IL");
        }
        for (const auto& p : m_ports) {
            if (p->port == port)
                throw std::invalid_argument("port " + std::to_string(port) +
                                            " is given more than one interface");
        }
        m_ifaces.push_back(std::make_unique<LiveInterface>(name));
        m_ports.push_back(std::make_unique<Port>(Port{port, engine, m_ifaces.back().get()}));
    }
}

LiveRunner::~LiveRunner() {
    Stop();
}

void LiveRunner::Start() {
    if (!m_threads.empty())
        return;
    m_stop = false;
    for (auto& p : m_ports)
        m_threads.emplace_back([this, port = p.get()] { Run(*port); });
}

void LiveRunner::Stop() {
    m_stop = true;
    for (auto& t : m_threads)
        t.join();
    m_threads.clear();
}

void LiveRunner::Run(Port& port) {
    FramePump pump;
    pump.AddSource(*port.engine, *port.iface);
    for (auto& p : m_ports)
        pump.AddSink(p->port, *p->iface);
    while (!m_stop.load(std::memory_order_relaxed)) {
        // Short waits while responses wait for their delay; otherwise wake now and then to
        // notice Stop.
        port.iface->WaitReadable(pump.Waiting() ? 1 : 50);
        pump.Poll(LiveInterface::NowNs());
    }
    pump.Flush();
}

}  // namespace orx::il
