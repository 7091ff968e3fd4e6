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

#include <orx/framework/Logger.h>
#include <orx/il/CaptureReplay.h>
#include <orx/il/Diag.h>
#include <orx/il/IlServer.h>
#include <orx/il/LiveInterface.h>
#include <orx/il/PcapFiles.h>
#include <orx/msglib/Message.h>
#include <orx/transport/CurveKeys.h>
#include <orx/transport/ZmqIlServer.h>

namespace {

using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;
using orx::framework::LOG_ERROR;
using orx::framework::LOG_INFO;
using orx::framework::LOG_WARN;
using namespace orx::il;
using orx::transport::CurveKeyPair;
using orx::transport::ServerSecurity;
using orx::transport::ZmqIlServer;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 64;

std::atomic<bool> g_stop{false};

extern "C" void OnSignal(int) {
    g_stop.store(true);
}

// Log lines of the daemon (the "frild" logger).
void Log(int level, const std::string& text) {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("frild");
    logger->Log(level, text, __FILE__, __LINE__);
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

std::vector<uint16_t> PortList(unsigned n) {
    std::vector<uint16_t> ports;
    for (unsigned p = 0; p < n; ++p)
        ports.push_back(static_cast<uint16_t>(p));
    return ports;
}

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
ServerSecurity LoadSecurity(const std::string& secretFile, const std::string& allowDir) {
    ServerSecurity security;
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
        ServerSecurity security = LoadSecurity(curveSecret, curveAllow);
        IlServer il(PortList(ports));
        ZmqIlServer server(il);
        // A replay runs on a thread of its own; its answer goes out when it has finished, while
        // other requests keep being served.
        std::unique_ptr<CaptureReplay> replay;
        Message replayRequest;
        ZmqIlServer::Reply replayReply;
        server.Divert(diag::kReplay, [&](const Message& request, ZmqIlServer::Reply reply) {
            auto refuse = [&](const std::string& why) {
                Log(LOG_WARN, std::string(diag::kReplay) + ": " + why);
                reply(FailedResponse(&request, FAULT_REFUSED,
                                     std::string(diag::kReplay) + ": " + why));
            };
            if (replay)
                return refuse("a replay is under way");
            if (inputs.empty())
                return refuse("frild was started without --pcap-in");
            auto job = std::make_unique<CaptureReplay>();
            try {
                for (const auto& [port, path] : outputs)
                    job->AddOutput(il, port, std::to_string(port), path);
                for (const auto& [port, path] : inputs)
                    job->AddInput(il, port, std::to_string(port), path);
            } catch (const std::exception& e) {
                return refuse(e.what());
            }
            replay = std::move(job);
            replayRequest = request;
            replayReply = std::move(reply);
            replay->Start();
            Log(LOG_INFO, "replay started");
        });
        auto finishReplay = [&] {
            Message answer = ReplayAnswer(replayRequest, *replay);
            if (answer.get_msg_type() == TMT_FAILED_RESPONSE)
                Log(LOG_WARN, diag::FaultText(answer));
            else
                Log(LOG_INFO, "replay finished");
            replayReply(answer);
            replay.reset();
        };
        server.SetIdle([&]() -> int64_t {
            if (replay && replay->Done())
                finishReplay();
            return replay ? 5 : 100;
        });
        std::unique_ptr<LiveRunner> runner;
        if (!livePorts.empty())
            runner = std::make_unique<LiveRunner>(il, livePorts);
        std::string bound = server.Bind(endpoint, security);
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
        Log(LOG_INFO, "serving " + std::to_string(ports) + " ports on " + bound + how);
        // The line tests and scripts wait for: the endpoint is bound from here on, and the
        // word after "on" is the endpoint bound.
        std::string line = "frild: serving " + std::to_string(ports) + " ports on " + bound + how;
        std::cerr << line + "\n" << std::flush;  // one write: a reader never sees half of it
        server.Serve(g_stop);
        if (replay) {
            // A replay under way is cut short; its outputs are flushed and it is answered.
            replay->Stop();
            finishReplay();
        }
        if (runner)
            runner->Stop();
        Log(LOG_INFO, "stopped");
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
