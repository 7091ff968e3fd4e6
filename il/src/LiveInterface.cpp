#include <orx/il/LiveInterface.h>

#include <linux/if_packet.h>
#include <pcap/pcap.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <orx/framework/Logger.h>
#include <orx/il/FramePump.h>
#include <orx/il/IlServer.h>

namespace orx::il {

using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;

namespace {

BLLLogger* Log() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("il.live");
    return logger;
}

void LogError(const std::string& text) {
    if (Log()->IsEnabledFor(orx::framework::LOG_ERROR))
        Log()->Error(text, __FILE__, __LINE__);
}

constexpr int kSnapLength = 262144;
// How long the kernel holds a partly filled block of the ring before handing it over: the
// latency a frame may see on a quiet link.
constexpr int kBlockTimeoutMs = 1;
// Room reserved for one batch of copied frames; it grows for larger frames, then stays.
constexpr size_t kCopyReserve = FramePump::kBatch * 2048;
// Send-queue room asked of the kernel, so that a burst of responses does not wait for it.
constexpr int kSendBufferBytes = 4 << 20;
// A full send queue is given this many short waits before a frame counts as not sent.
constexpr int kSendRetries = 3;
constexpr int kSendWaitMs = 1;

std::string ErrnoText(int error) {
    return std::string(std::strerror(error)) + " (errno " + std::to_string(error) + ")";
}

}  // namespace

struct LiveInterface::Impl {
    pcap_t* pcap = nullptr;
    bool nano = false;
    int sendFd = -1;  // the capture's socket: pcap_close closes it
    std::mutex txMutex;
    std::vector<mmsghdr> messages;  // guarded by txMutex; grown to the largest batch
    std::vector<iovec> vectors;
    int lastSendError = 0;  // guarded by txMutex: a failure is logged when its reason changes
    ~Impl() {
        if (pcap)
            pcap_close(pcap);
    }
};

LiveInterface::LiveInterface(const std::string& name, size_t bufferBytes)
    : m_impl(std::make_unique<Impl>()), m_name(name) {
    if (bufferBytes < kMinBufferBytes || bufferBytes > kMaxBufferBytes) {
        throw PcapError("interface " + name + ": capture buffer of " + std::to_string(bufferBytes) +
                        " bytes is outside " + std::to_string(kMinBufferBytes >> 20) + " MiB to " +
                        std::to_string(kMaxBufferBytes >> 20) + " MiB");
    }
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
    // Immediate mode would make libpcap fall back to a ring of one slot per frame; blocks
    // handed over after a short timeout carry bursts at a fraction of the wake-ups.
    if (int rc = pcap_set_immediate_mode(p, 0); rc != 0)
        fail("cannot leave immediate mode", rc);
    if (int rc = pcap_set_timeout(p, kBlockTimeoutMs); rc != 0)
        fail("cannot set the capture timeout", rc);
    if (int rc = pcap_set_buffer_size(p, static_cast<int>(bufferBytes)); rc != 0)
        fail("cannot set the capture buffer size", rc);
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

    // Transmissions leave through the capture's own socket, bound to the interface: the kernel
    // then keeps them out of its ring (a socket never sees what it sent), and sendmmsg hands it
    // a whole batch in one call.
    m_impl->sendFd = pcap_fileno(p);
    // What else leaves the interface (the host's own traffic) stays out of the ring too; older
    // kernels lack the option, and libpcap then drops those frames itself.
    int one = 1;
    ::setsockopt(m_impl->sendFd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &one, sizeof one);
    // Past the system's wmem_max when allowed (the capture already needs CAP_NET_RAW).
    int sendBuffer = kSendBufferBytes;
    if (::setsockopt(m_impl->sendFd, SOL_SOCKET, SO_SNDBUFFORCE, &sendBuffer, sizeof sendBuffer) !=
        0) {
        ::setsockopt(m_impl->sendFd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    }
    m_buffer.reserve(kCopyReserve);
    m_offsets.resize(FramePump::kBatch);
}

LiveInterface::~LiveInterface() = default;

size_t LiveInterface::ParseBufferMiB(const std::string& text) {
    const size_t low = kMinBufferBytes >> 20, high = kMaxBufferBytes >> 20;
    const bool digits = !text.empty() && text.size() <= 5 &&
                        text.find_first_not_of("0123456789") == std::string::npos;
    const size_t mib = digits ? std::stoul(text) : 0;
    if (!digits || mib < low || mib > high) {
        throw std::invalid_argument("capture buffer \"" + text +
                                    "\" is not a whole number of MiB from " + std::to_string(low) +
                                    " to " + std::to_string(high));
    }
    return mib << 20;
}

int64_t LiveInterface::NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string LiveInterface::Error() const {
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

void LiveInterface::Fail(const std::string& why) {
    {
        std::lock_guard lock(m_errorMutex);
        if (!m_error.empty())
            return;
        m_error = why;
    }
    m_failed.store(true, std::memory_order_release);
    LogError("interface " + m_name + ": " + why);
}

size_t LiveInterface::Read(RxFrame* frames, size_t max) {
    if (Failed())
        return 0;
    if (m_offsets.size() < max)
        m_offsets.resize(max);
    m_buffer.clear();
    struct Ctx {
        LiveInterface* self;
        RxFrame* frames;
        size_t n;
        bool nano;
    } ctx{this, frames, 0, m_impl->nano};
    // libpcap hands a block of the ring back to the kernel once it has passed it, possibly
    // within this call: copy the frames, then point at the copies.
    int rc = pcap_dispatch(
        m_impl->pcap, static_cast<int>(max),
        [](u_char* user, const pcap_pkthdr* h, const u_char* bytes) {
            auto* c = reinterpret_cast<Ctx*>(user);
            std::vector<uint8_t>& buffer = c->self->m_buffer;
            c->self->m_offsets[c->n] = static_cast<uint32_t>(buffer.size());
            // Appended, not resized and copied over: the bytes are written once.
            buffer.insert(buffer.end(), bytes, bytes + h->caplen);
            c->frames[c->n].length = h->caplen;
            c->frames[c->n].timeNs =
                int64_t(h->ts.tv_sec) * 1000000000 + int64_t(h->ts.tv_usec) * (c->nano ? 1 : 1000);
            ++c->n;
        },
        reinterpret_cast<u_char*>(&ctx));
    if (rc < 0) {
        // The interface went away or down: the port ends with the reason.
        Fail(std::string("capture failed: ") + pcap_geterr(m_impl->pcap));
        return 0;
    }
    for (size_t i = 0; i < ctx.n; ++i)
        frames[i].data = m_buffer.data() + m_offsets[i];
    m_received.fetch_add(ctx.n, std::memory_order_relaxed);
    return ctx.n;
}

void LiveInterface::RefreshCaptureStats() {
    pcap_stat stats{};
    if (pcap_stats(m_impl->pcap, &stats) != 0)
        return;  // a failed interface keeps the counters it had
    m_captureDropped.store(stats.ps_drop, std::memory_order_relaxed);
    m_interfaceDropped.store(stats.ps_ifdrop, std::memory_order_relaxed);
}

void LiveInterface::Transmit(const TxFrame* frames, size_t count) {
    std::lock_guard lock(m_impl->txMutex);
    Impl& impl = *m_impl;
    if (impl.messages.size() < count) {
        impl.messages.resize(count);
        impl.vectors.resize(count);
    }
    for (size_t i = 0; i < count; ++i) {
        impl.vectors[i] = iovec{const_cast<uint8_t*>(frames[i].data), frames[i].length};
        impl.messages[i] = mmsghdr{};
        impl.messages[i].msg_hdr.msg_iov = &impl.vectors[i];
        impl.messages[i].msg_hdr.msg_iovlen = 1;
    }
    size_t failed = 0;
    int why = 0;
    int retries = 0;
    size_t i = 0;
    while (i < count) {
        const auto chunk = static_cast<unsigned>(std::min<size_t>(count - i, 1024));
        int sent = ::sendmmsg(impl.sendFd, impl.messages.data() + i, chunk, 0);
        if (sent > 0) {
            i += static_cast<size_t>(sent);
            retries = 0;
            continue;
        }
        const int error = sent < 0 ? errno : EIO;
        if (error == EINTR)
            continue;
        if ((error == ENOBUFS || error == EAGAIN) && retries++ < kSendRetries) {
            pollfd p{impl.sendFd, POLLOUT, 0};
            ::poll(&p, 1, kSendWaitMs);
            continue;
        }
        // The first frame left is refused (the interface is down or gone, the frame too long
        // for it, the queue still full): counted, and the rest go on.
        ++failed;
        why = error;
        ++i;
        retries = 0;
    }
    m_sent.fetch_add(count - failed, std::memory_order_relaxed);
    if (failed) {
        m_sendErrors.fetch_add(failed, std::memory_order_relaxed);
        if (why != impl.lastSendError) {
            LogError("interface " + m_name + ": " + std::to_string(failed) + " of " +
                     std::to_string(count) + " frames not sent: " + ErrnoText(why));
        }
    }
    impl.lastSendError = failed ? why : 0;
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

LiveRunner::LiveRunner(IlServer& il, const std::vector<LivePort>& ports) : m_il(il) {
    for (const LivePort& p : ports) {
        PortEngine* engine = il.Engine(p.port);
        if (engine == nullptr) {
            throw std::invalid_argument("interface " + p.interface + ": port " +
                                        std::to_string(p.port) + " is not served by this IL");
        }
        for (const auto& known : m_ports) {
            if (known->port == p.port)
                throw std::invalid_argument("port " + std::to_string(p.port) +
                                            " is given more than one interface");
        }
        m_ifaces.push_back(std::make_unique<LiveInterface>(p.interface, p.bufferBytes));
        m_ports.push_back(std::make_unique<Port>(Port{p.port, engine, m_ifaces.back().get()}));
    }
    m_il.SetLinkSource([this] { return Links(); });
}

LiveRunner::~LiveRunner() {
    m_il.SetLinkSource({});
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

std::vector<LinkView> LiveRunner::Links() const {
    std::vector<LinkView> out;
    for (const auto& p : m_ports) {
        const LiveInterface& i = *p->iface;
        out.push_back(LinkView{p->port, i.Name(), i.Received(), i.CaptureDropped(),
                               i.InterfaceDropped(), i.Sent(), i.SendErrors(), i.Error()});
    }
    return out;
}

void LiveRunner::Run(Port& port) {
    using namespace std::chrono;
    // Drop counters are read now and then, off the frame path, and once more at the end.
    constexpr auto kStatsEvery = milliseconds(50);
    FramePump pump;
    pump.AddSource(*port.engine, *port.iface);
    for (auto& p : m_ports)
        pump.AddSink(p->port, *p->iface);
    auto nextStats = steady_clock::now();
    while (!m_stop.load(std::memory_order_relaxed) && !port.iface->Failed()) {
        // Short waits while responses wait for their delay; otherwise wake now and then to
        // notice Stop.
        port.iface->WaitReadable(pump.Waiting() ? 1 : 50);
        pump.Poll(LiveInterface::NowNs());
        if (const auto now = steady_clock::now(); now >= nextStats) {
            port.iface->RefreshCaptureStats();
            nextStats = now + kStatsEvery;
        }
    }
    // Frames the kernel took in before the stop are answered rather than left uncounted in
    // the ring; a link that keeps sending is cut off after a short while.
    const auto drainEnd = steady_clock::now() + milliseconds(200);
    while (!port.iface->Failed() && steady_clock::now() < drainEnd) {
        const bool readable = port.iface->WaitReadable(2 * kBlockTimeoutMs);
        if (pump.Poll(LiveInterface::NowNs()) == 0 && !readable)
            break;
    }
    pump.Flush();
    port.iface->RefreshCaptureStats();
}

}  // namespace orx::il
