// frild: serves the ports of one test module over ZeroMQ for hosts on other machines.
//
//   frild --bind ENDPOINT --ports N [--pcap-in PORT=FILE]... [--pcap-out PORT=FILE]...
//         [--iface PORT=IFNAME]... [--capture-buffer PORT=MIB]... [--log LOGGER=LEVEL]...
//         [--curve-secret FILE [--curve-allow DIR] | --insecure]
//   frild keygen DIR [--name NAME]
//
// An endpoint other machines can reach needs CURVE: --curve-secret names the daemon's secret
// key (from `frild keygen`), --curve-allow a directory of the client public keys let in
// (checked through ZAP); --insecure serves such an endpoint without keys. The "serving" line
// names the endpoint actually bound, so "tcp://127.0.0.1:0" picks a free port.
//
// Requests arrive on a ROUTER socket as [tag][encoded request] and are answered as
// [tag][encoded response]; notifications go to every peer that has sent a request as
// [empty][encoded message]. Captures given with --pcap-in are replayed, in their own time, on
// the request "ildiag.Replay", each port's transmissions going to its --pcap-out file; ports
// given with --iface answer live frames from the moment the daemon starts. SIGINT and SIGTERM
// stop it cleanly (a replay under way is cut short and its outputs are flushed).

#include <arpa/inet.h>
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <zmq.hpp>

#include "Framing.h"
#include "msglib/Codec.h"
#include "msglib/Message.h"
#include "orx/framework/Logger.h"
#include "orx/il/Diag.h"
#include "orx/il/FramePump.h"
#include "orx/il/IlServer.h"
#include "orx/il/LiveInterface.h"
#include "orx/il/PcapFiles.h"
#include "orx/transport/CurveKeys.h"

namespace {

using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;
using orx::framework::LOG_ERROR;
using orx::framework::LOG_INFO;
using orx::framework::LOG_WARN;
using namespace orx::il;
using frild::FramedRequest;
using frild::ReadRequest;
using orx::transport::CurveKeyPair;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;

std::atomic<bool> g_stop{false};

extern "C" void OnSignal(int) {
    g_stop.store(true);
}

BLLLogger* Log() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("frild");
    return logger;
}

void Info(const std::string& text) {
    if (Log()->IsEnabledFor(LOG_INFO))
        Log()->Info(text, __FILE__, __LINE__);
}

void Warn(const std::string& text) {
    if (Log()->IsEnabledFor(LOG_WARN))
        Log()->Warn(text, __FILE__, __LINE__);
}

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "PORT=VALUE" of option `option`; the port must be below `ports`.
std::pair<uint16_t, std::string> PortValue(const std::string& option, const std::string& text,
                                           unsigned ports) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size())
        throw UsageError(option + " \"" + text + "\": expected PORT=VALUE");
    std::string number = text.substr(0, eq);
    unsigned long port = 0;
    size_t used = 0;
    try {
        port = std::stoul(number, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != number.size() || number.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError(option + " \"" + text + "\": port \"" + number + "\" is not a number");
    if (port >= ports) {
        throw UsageError(option + " \"" + text + "\": port " + number + " is not served (--ports " +
                         std::to_string(ports) + " serves 0 to " + std::to_string(ports - 1) + ")");
    }
    return {static_cast<uint16_t>(port), text.substr(eq + 1)};
}

std::map<uint16_t, std::string> PortMap(const std::string& option,
                                        const std::vector<std::string>& items, unsigned ports) {
    std::map<uint16_t, std::string> out;
    for (const std::string& item : items) {
        auto [port, value] = PortValue(option, item, ports);
        if (!out.emplace(port, value).second)
            throw UsageError(option + ": port " + std::to_string(port) + " is given twice");
    }
    return out;
}

// A source that reports its end once the daemon stops, so that a long replay can be cut short;
// counts the frames it hands out.
class ReplaySource final : public FrameSource {
  public:
    explicit ReplaySource(const std::string& path) : m_file(path) {}
    size_t Read(RxFrame* frames, size_t max) override {
        size_t n = m_file.Read(frames, max);
        m_read += n;
        return n;
    }
    bool AtEnd() const override { return m_file.AtEnd() || g_stop.load(); }
    uint64_t FramesRead() const { return m_read; }

  private:
    PcapFileSource m_file;
    uint64_t m_read = 0;
};

class ReplaySink final : public FrameSink {
  public:
    explicit ReplaySink(const std::string& path) : m_file(path) {}
    void Transmit(const TxFrame* frames, size_t count) override {
        m_file.Transmit(frames, count);
        m_written += count;
    }
    void Close() { m_file.Close(); }
    uint64_t FramesWritten() const { return m_written; }

  private:
    PcapFileSink m_file;
    uint64_t m_written = 0;
};

// Endpoints only this machine can reach: ipc, inproc, and tcp on a loopback address. Text
// that is no endpoint at all is left for the bind to refuse.
bool IsLocalEndpoint(const std::string& endpoint) {
    if (endpoint.rfind("ipc://", 0) == 0 || endpoint.rfind("inproc://", 0) == 0 ||
        endpoint.find("://") == std::string::npos) {
        return true;
    }
    if (endpoint.rfind("tcp://", 0) != 0)
        return false;
    std::string rest = endpoint.substr(6);
    size_t colon = rest.rfind(':');
    if (colon == std::string::npos)
        return false;
    std::string host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    if (host == "localhost" || host == "::1")
        return true;
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1 &&
           (ntohl(address.s_addr) >> 24) == 127;
}

// How the daemon's endpoint is secured: CURVE with the daemon's key pair, and the client keys
// let in when there is an allow-list (none: any client that knows the daemon's public key).
struct Security {
    CurveKeyPair server;
    std::map<std::string, std::string> allowed;  // Z85 public key -> the file it came from
    std::string allowDir;
    bool Curve() const { return !server.Empty(); }
};

class Daemon {
  public:
    Daemon(unsigned ports, std::map<uint16_t, std::string> inputs,
           std::map<uint16_t, std::string> outputs)
        : m_il(PortList(ports)), m_inputs(std::move(inputs)), m_outputs(std::move(outputs)) {}

    ~Daemon() {
        if (m_replay.joinable())
            m_replay.join();
    }

    IlServer& Il() { return m_il; }

    // Binds and returns the endpoint bound (with the port the system picked for port 0).
    std::string Bind(const std::string& endpoint, const Security& security) {
        m_router.set(zmq::sockopt::linger, 0);
        // Sends to a peer that has gone fail instead of vanishing, so the peer is forgotten.
        m_router.set(zmq::sockopt::router_mandatory, 1);
        // A host whose machine vanishes without closing the connection is forgotten too.
        m_router.set(zmq::sockopt::heartbeat_ivl, 2000);
        m_router.set(zmq::sockopt::heartbeat_timeout, 6000);
        if (security.Curve()) {
            m_router.set(zmq::sockopt::curve_server, true);
            m_router.set(zmq::sockopt::curve_secretkey, security.server.secretKey);
        }
        if (!security.allowed.empty()) {
            // libzmq asks the handler bound here about every CURVE client of this context.
            m_allowed = security.allowed;
            m_allowDir = security.allowDir;
            m_zap.set(zmq::sockopt::linger, 0);
            m_zap.bind("inproc://zeromq.zap.01");
            m_router.set(zmq::sockopt::zap_domain, "frild");
        }
        try {
            m_router.bind(endpoint);
        } catch (const zmq::error_t& e) {
            throw std::runtime_error("cannot bind " + endpoint + ": " + e.what());
        }
        m_il.SetNotificationSink([this](std::vector<uint8_t> bytes) { Notify(bytes); });
        return m_router.get(zmq::sockopt::last_endpoint);
    }

    // Serves requests until a signal asks it to stop.
    void Serve() {
        zmq::pollitem_t items[] = {{m_router.handle(), 0, ZMQ_POLLIN, 0},
                                   {m_zap.handle(), 0, ZMQ_POLLIN, 0}};
        const int count = m_allowed.empty() ? 1 : 2;
        while (!g_stop.load()) {
            int64_t due = m_il.PollNotifications();
            int64_t waitMs = 100;  // also how soon a signal or a finished replay is noticed
            if (due != IlServer::kNever)
                waitMs = std::clamp<int64_t>((due - m_il.Now() + 999) / 1000, 0, waitMs);
            if (m_replay.joinable())
                waitMs = std::min<int64_t>(waitMs, 5);
            try {
                zmq::poll(items, count, std::chrono::milliseconds(waitMs));
            } catch (const zmq::error_t& e) {
                if (e.num() != EINTR)
                    throw;
                continue;
            }
            if (count > 1 && (items[1].revents & ZMQ_POLLIN))
                Authenticate();
            if (items[0].revents & ZMQ_POLLIN)
                Receive();
            FinishReplay(false);
        }
        FinishReplay(true);
    }

  private:
    static std::vector<uint16_t> PortList(unsigned n) {
        std::vector<uint16_t> ports;
        for (unsigned p = 0; p < n; ++p)
            ports.push_back(static_cast<uint16_t>(p));
        return ports;
    }

    // Answers libzmq's ZAP requests (RFC 27): a CURVE client is let in when its public key is
    // one of the allowed ones.
    void Authenticate() {
        for (;;) {
            std::vector<zmq::message_t> parts;
            zmq::message_t part;
            if (!m_zap.recv(part, zmq::recv_flags::dontwait))
                return;
            parts.push_back(std::move(part));
            while (parts.back().more()) {
                zmq::message_t next;
                (void)m_zap.recv(next);
                parts.push_back(std::move(next));
            }
            // [version][request id][domain][address][routing id][mechanism][client key]
            std::string requestId = parts.size() > 1 ? parts[1].to_string() : std::string();
            std::string status = "400", text = "client key not allowed", user;
            if (parts.size() != 7 || parts[0].to_string() != "1.0" ||
                parts[5].to_string() != "CURVE" || parts[6].size() != 32) {
                status = "500";
                text = "unexpected authentication request";
                Warn("unexpected ZAP request (" + std::to_string(parts.size()) + " parts) refused");
            } else {
                char key[41] = {};
                zmq_z85_encode(key, static_cast<const uint8_t*>(parts[6].data()), 32);
                auto it = m_allowed.find(key);
                if (it != m_allowed.end()) {
                    status = "200";
                    text = "OK";
                    user = it->second;
                    Info("host at " + parts[3].to_string() + " let in with " + it->second);
                } else {
                    Warn("host at " + parts[3].to_string() + " refused: its CURVE key " + key +
                         " is not in " + m_allowDir);
                }
            }
            for (const std::string& frame : {std::string("1.0"), requestId, status, text, user})
                (void)m_zap.send(zmq::buffer(frame), zmq::send_flags::sndmore);
            (void)m_zap.send(zmq::message_t(), zmq::send_flags::none);
        }
    }

    void Receive() {
        for (;;) {
            std::vector<zmq::message_t> parts;
            zmq::message_t part;
            if (!m_router.recv(part, zmq::recv_flags::dontwait))
                return;
            parts.push_back(std::move(part));
            while (parts.back().more()) {
                zmq::message_t next;
                (void)m_router.recv(next);
                parts.push_back(std::move(next));
            }
            FramedRequest request;
            std::string why;
            if (!ReadRequest(parts, request, why)) {
                Warn(why);
                continue;
            }
            m_peers.insert(request.peer);
            if (request.message && request.message->get_request_name() == diag::kReplay) {
                StartReplay(request.peer, request.tag, *request.message);
                continue;
            }
            std::vector<uint8_t> response = request.message
                                                ? msglib::encode(m_il.Handle(*request.message))
                                                : m_il.HandleEncoded(request.data, request.size);
            Reply(request.peer, request.tag, response);
        }
    }

    // False when the peer has gone (it is then forgotten) or does not read (queue full).
    bool Send(const std::string& peer, const std::string& tag, const std::vector<uint8_t>& body) {
        try {
            if (!m_router.send(zmq::buffer(peer),
                               zmq::send_flags::sndmore | zmq::send_flags::dontwait)) {
                return false;
            }
            // Once the first part is queued the others go with it.
            (void)m_router.send(zmq::buffer(tag), zmq::send_flags::sndmore);
            (void)m_router.send(zmq::const_buffer(body.data(), body.size()));
            return true;
        } catch (const zmq::error_t& e) {
            if (e.num() != EHOSTUNREACH)
                throw;
        }
        m_peers.erase(peer);
        return false;
    }

    void Reply(const std::string& peer, const std::string& tag, const std::vector<uint8_t>& body) {
        if (!Send(peer, tag, body))
            Warn("response dropped: its peer has gone or does not read");
    }

    void Notify(const std::vector<uint8_t>& bytes) {
        std::vector<std::string> peers(m_peers.begin(), m_peers.end());
        for (const std::string& peer : peers)
            Send(peer, std::string(), bytes);
    }

    Message Fault(const Message& request, orx::il::FaultCode code, const std::string& text) {
        Message m;
        m.set_use_send_member_string(true);
        m.set_msg_type(TMT_FAILED_RESPONSE);
        m.set_request_name(request.get_request_name());
        m.set_seq_num(request.get_seq_num());
        m.set_destination(request.get_destination());
        m.add_member(TMG_MEMBERS, "faultCode", int32_t{code});
        m.add_member(TMG_MEMBERS, "faultString", text);
        m.create_send_member_string_meta();
        Warn("Fault " + std::to_string(code) + ": " + text);
        return m;
    }

    // Opens the captures and runs the replay on a frame thread; the answer goes out when the
    // replay has finished (FinishReplay), while other requests keep being served.
    void StartReplay(const std::string& peer, const std::string& tag, const Message& request) {
        auto refuse = [&](FaultCode code, const std::string& text) {
            Reply(peer, tag, msglib::encode(Fault(request, code, text)));
        };
        if (m_replay.joinable())
            return refuse(FAULT_REFUSED, std::string(diag::kReplay) + ": a replay is under way");
        if (m_inputs.empty())
            return refuse(FAULT_REFUSED,
                          std::string(diag::kReplay) + ": frild was started without --pcap-in");
        auto job = std::make_unique<ReplayJob>();
        try {
            for (const auto& [port, path] : m_inputs)
                job->sources.emplace(port, std::make_unique<ReplaySource>(path));
            for (const auto& [port, path] : m_outputs)
                job->sinks.emplace(port, std::make_unique<ReplaySink>(path));
        } catch (const std::exception& e) {
            return refuse(FAULT_REFUSED, std::string(diag::kReplay) + ": " + e.what());
        }
        job->peer = peer;
        job->tag = tag;
        job->request = request;
        m_job = std::move(job);
        m_replayDone = false;
        m_replay = std::thread([this, job = m_job.get()] {
            try {
                FramePump pump;
                for (auto& [port, source] : job->sources)
                    pump.AddSource(*m_il.Engine(port), *source);
                for (auto& [port, sink] : job->sinks)
                    pump.AddSink(port, *sink);
                pump.RunToEnd();
                for (auto& [port, sink] : job->sinks)
                    sink->Close();
            } catch (const std::exception& e) {
                job->error = e.what();
            }
            m_replayDone = true;
        });
        Info("replay started");
    }

    void FinishReplay(bool wait) {
        if (!m_replay.joinable() || (!wait && !m_replayDone.load()))
            return;
        m_replay.join();
        std::unique_ptr<ReplayJob> job = std::move(m_job);
        Message response;
        if (!job->error.empty()) {
            response =
                Fault(job->request, FAULT_INTERNAL, std::string(diag::kReplay) + ": " + job->error);
        } else {
            std::map<uint16_t, ReplayPortView> ports;
            for (auto& [port, source] : job->sources) {
                ports[port].port = port;
                ports[port].framesRead = source->FramesRead();
            }
            for (auto& [port, sink] : job->sinks) {
                ports[port].port = port;
                ports[port].framesWritten = sink->FramesWritten();
            }
            std::vector<ReplayPortView> list;
            for (auto& [port, view] : ports)
                list.push_back(view);
            diag::CreateReplayResponse(&response, list);
            response.set_seq_num(job->request.get_seq_num());
            response.set_destination(job->request.get_destination());
            Info("replay finished");
        }
        Reply(job->peer, job->tag, msglib::encode(response));
    }

    struct ReplayJob {
        std::map<uint16_t, std::unique_ptr<ReplaySource>> sources;
        std::map<uint16_t, std::unique_ptr<ReplaySink>> sinks;
        std::string peer, tag;
        Message request;
        std::string error;
    };

    IlServer m_il;
    std::map<uint16_t, std::string> m_inputs;
    std::map<uint16_t, std::string> m_outputs;
    zmq::context_t m_context{1};
    zmq::socket_t m_router{m_context, zmq::socket_type::router};
    zmq::socket_t m_zap{m_context, zmq::socket_type::rep};
    std::map<std::string, std::string> m_allowed;
    std::string m_allowDir;
    std::set<std::string> m_peers;
    std::unique_ptr<ReplayJob> m_job;
    std::atomic<bool> m_replayDone{false};
    std::thread m_replay;
};

// frild keygen DIR [--name NAME]
int Keygen(int argc, char** argv) {
    CLI::App app{
        "frild keygen: writes a CURVE key pair, DIR/NAME.key (public) and "
        "DIR/NAME.key_secret (secret, mode 0600); existing keys are never overwritten"};
    app.name("frild keygen");
    std::string dir, name = "frild";
    app.add_option("DIR", dir, "Directory of the key files (made when missing)")->required();
    app.add_option("--name", name, "Name of the key files (default frild)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : kExitUsage;
    }
    try {
        CurveKeyPair pair = orx::transport::WriteKeyPair(dir, name);
        std::string base = (std::filesystem::path(dir) / name).string();
        std::cout << "public key " << pair.publicKey << " written to " << base << ".key\n"
                  << "secret key written to " << base << ".key_secret (mode 0600)\n";
    } catch (const std::exception& e) {
        std::cerr << "frild keygen: " << e.what() << '\n';
        return kExitFailure;
    }
    return 0;
}

// The keys of --curve-secret and --curve-allow; raises naming the file that is wrong.
Security LoadSecurity(const std::string& secretFile, const std::string& allowDir) {
    Security security;
    if (secretFile.empty())
        return security;
    orx::transport::RequireCurve("--curve-secret");
    security.server = orx::transport::ReadSecretKeyFile(secretFile);
    struct stat st {};
    if (::stat(secretFile.c_str(), &st) == 0 && (st.st_mode & 077) != 0) {
        std::cerr << "frild: warning: " << secretFile
                  << " can be read by others than its owner (chmod 600 it)\n";
    }
    if (!allowDir.empty()) {
        security.allowDir = allowDir;
        security.allowed = orx::transport::ReadAllowedKeys(allowDir);
    }
    return security;
}

int Run(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "keygen")
        return Keygen(argc - 1, argv + 1);
    CLI::App app{"frild: serves the ports of one test module over ZeroMQ"};
    std::string endpoint;
    unsigned ports = 0;
    std::vector<std::string> pcapIn, pcapOut, ifaces, buffers, logSettings;
    app.add_option("--bind", endpoint, "ZeroMQ endpoint to serve on, e.g. tcp://127.0.0.1:5555")
        ->required();
    app.add_option("--ports", ports, "Number of ports served (0 to N-1)")
        ->required()
        ->check(CLI::Range(1u, 65535u));
    app.add_option("--pcap-in", pcapIn, "PORT=FILE: capture replayed on the port (repeatable)");
    app.add_option("--pcap-out", pcapOut,
                   "PORT=FILE: capture the port's transmissions go to (repeatable)");
    app.add_option("--iface", ifaces, "PORT=IFNAME: live interface of the port (repeatable)");
    app.add_option("--capture-buffer", buffers,
                   "PORT=MIB: capture buffer of an --iface port in MiB (default " +
                       std::to_string(LiveInterface::kDefaultBufferBytes >> 20) + "; repeatable)");
    app.add_option("--log", logSettings, "LOGGER=LEVEL: set a named logger's level (repeatable)");
    std::string curveSecret, curveAllow;
    bool insecure = false;
    app.add_option("--curve-secret", curveSecret,
                   "FILE: the daemon's CURVE secret key (NAME.key_secret from frild keygen)");
    app.add_option("--curve-allow", curveAllow,
                   "DIR: only hosts whose public key is a DIR/*.key file may connect");
    app.add_flag("--insecure", insecure,
                 "Serve an endpoint other machines can reach without CURVE keys");
    app.footer("frild keygen DIR [--name NAME] writes a CURVE key pair.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        int rc = app.exit(e);
        return rc == 0 ? 0 : kExitUsage;
    }

    auto* logging = BLLLoggerFactory::GetInstance();
    logging->SetDefaultLevel(LOG_WARN);
    for (const std::string& setting : logSettings) {
        std::string error;
        if (!logging->Configure(setting, &error)) {
            std::cerr << "frild: --log " << error << '\n';
            return kExitUsage;
        }
    }

    std::map<uint16_t, std::string> inputs, outputs, live;
    std::vector<LivePort> livePorts;
    try {
        inputs = PortMap("--pcap-in", pcapIn, ports);
        outputs = PortMap("--pcap-out", pcapOut, ports);
        live = PortMap("--iface", ifaces, ports);
        for (const auto& [port, name] : live)
            livePorts.push_back(LivePort{port, name});
        for (const auto& [port, size] : PortMap("--capture-buffer", buffers, ports)) {
            auto it = std::find_if(livePorts.begin(), livePorts.end(),
                                   [port = port](const LivePort& p) { return p.port == port; });
            if (it == livePorts.end()) {
                throw UsageError("--capture-buffer: port " + std::to_string(port) +
                                 " has no --iface");
            }
            try {
                it->bufferBytes = LiveInterface::ParseBufferMiB(size);
            } catch (const std::invalid_argument& e) {
                throw UsageError("--capture-buffer " + std::to_string(port) + "=" + size + ": " +
                                 e.what());
            }
        }
        if (!live.empty() && (!inputs.empty() || !outputs.empty()))
            throw UsageError("--iface cannot be combined with --pcap-in or --pcap-out");
        if (!outputs.empty() && inputs.empty())
            throw UsageError("--pcap-out needs at least one --pcap-in to replay");
        if (!curveAllow.empty() && curveSecret.empty())
            throw UsageError("--curve-allow needs --curve-secret");
        if (insecure && !curveSecret.empty())
            throw UsageError("--insecure and --curve-secret exclude each other");
        if (curveSecret.empty() && !insecure && !IsLocalEndpoint(endpoint)) {
            throw UsageError(
                endpoint +
                " can be reached from other machines, so it needs CURVE keys: make them with "
                "`frild keygen DIR`, start frild with --curve-secret DIR/frild.key_secret and "
                "give hosts the public key in DIR/frild.key (or pass --insecure to serve "
                "without keys)");
        }
    } catch (const UsageError& e) {
        std::cerr << "frild: " << e.what() << '\n';
        return kExitUsage;
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    try {
        // Check the captures now, so that a wrong path fails at start rather than at replay.
        for (const auto& [port, path] : inputs)
            PcapFileSource check(path);
        // An output is opened and dropped unclosed: writable, yet no file is left behind. A pipe
        // or device is left alone: opening it would already write a capture header into it.
        for (const auto& [port, path] : outputs) {
            std::error_code ec;
            if (!std::filesystem::exists(path, ec) || std::filesystem::is_regular_file(path, ec))
                PcapFileSink check(path);
        }
        Security security = LoadSecurity(curveSecret, curveAllow);
        Daemon daemon(ports, inputs, outputs);
        std::unique_ptr<LiveRunner> runner;
        if (!livePorts.empty())
            runner = std::make_unique<LiveRunner>(daemon.Il(), livePorts);
        std::string bound = daemon.Bind(endpoint, security);
        if (runner)
            runner->Start();
        std::string how;
        if (security.Curve()) {
            how = security.allowed.empty()
                      ? " (CURVE, any client key)"
                      : " (CURVE, " + std::to_string(security.allowed.size()) +
                            " allowed client key" + (security.allowed.size() == 1 ? ")" : "s)");
        } else if (insecure) {
            how = " (insecure: no CURVE)";
        }
        Info("serving " + std::to_string(ports) + " ports on " + bound + how);
        // The line tests and scripts wait for: the endpoint is bound from here on, and the
        // word after "on" is the endpoint bound.
        std::string line = "frild: serving " + std::to_string(ports) + " ports on " + bound + how;
        std::cerr << line + "\n" << std::flush;  // one write: a reader never sees half of it
        daemon.Serve();
        if (runner)
            runner->Stop();
        Info("stopped");
    } catch (const std::exception& e) {
        std::cerr << "frild: " << e.what() << '\n';
        return kExitFailure;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "frild: " << e.what() << '\n';
        return kExitFailure;
    } catch (...) {
        std::cerr << "frild: unexpected error\n";
        return kExitFailure;
    }
}
