#include "RunCommand.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <thread>

#include <orx/core/Apply.h>
#include <orx/core/HostClasses.h>
#include <orx/core/Protocol.h>
#include <orx/core/Results.h>
#include <orx/framework/Exceptions.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Rpc.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/il/Diag.h>
#include <orx/il/IlServer.h>
#include <orx/il/LiveInterface.h>
#include <orx/il/PcapFiles.h>
#include <orx/msglib/Message.h>
#include "Console.h"
#include "ResultCommands.h"
#include "RunDisplay.h"

namespace frhost {

using namespace orx::framework;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitInput = 2;
constexpr int kExitAborted = 130;

std::atomic<int> g_signals{0};

void OnSignal(int) {
    g_signals.fetch_add(1);
}

// SIGINT and SIGTERM end the run instead of the process while it lives.
class SignalGuard {
  public:
    SignalGuard() {
        struct sigaction action {};
        action.sa_handler = OnSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_int);
        sigaction(SIGTERM, &action, &m_term);
    }
    ~SignalGuard() {
        sigaction(SIGINT, &m_int, nullptr);
        sigaction(SIGTERM, &m_term, nullptr);
    }

  private:
    struct sigaction m_int {};
    struct sigaction m_term {};
};

// A frild's own traffic: its captures replayed on request, on a thread of its own so that the
// run goes on showing counters. A daemon without captures answers on its live interfaces.
class RemoteReplay {
  public:
    explicit RemoteReplay(const ModuleIl& il) : m_il(il) {
        m_thread = std::thread([this] { Run(); });
    }
    ~RemoteReplay() {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool Done() const { return m_done.load(); }
    // The daemon has no captures: its traffic is live and ends with the run.
    bool Live() const { return m_live.load(); }
    const std::string& Error() const { return m_error; }

  private:
    void Run() {
        Messenger messenger(m_il.transport, Message::kNoDestination, m_il.endpoint);
        Message request, response;
        orx::il::diag::CreateReplayRequest(&request);
        std::vector<ErrorMsg> errors;
        if (!CRpcManager::Instance().SendAndWait(&messenger, request, response, errors)) {
            m_error = m_il.endpoint + ": " +
                      (errors.empty() ? "no answer to the replay request" : errors[0].faultString);
        } else if (response.get_msg_type() != TMT_RESPONSE) {
            std::string why = response.has_member(TMG_MEMBERS, "faultString")
                                  ? response.get_member_string(TMG_MEMBERS, "faultString")
                                  : "refused";
            if (why.find("without --pcap-in") != std::string::npos)
                m_live = true;
            else
                m_error = m_il.endpoint + ": " + why;
        }
        m_done = true;
    }

    const ModuleIl& m_il;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_live{false};
    std::string m_error;
    std::thread m_thread;
};

bool RunHostCommand(orx::framework::ClassId classId, std::string& error) {
    CScriptableAutoPtr<CScriptable> command(CScriptableCreator::Create(classId, nullptr));
    auto* c = dynamic_cast<CCommand*>(command.get());
    try {
        if (!c->Execute()) {
            error = c->GetStatus();
            return false;
        }
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    return true;
}

// Which ports feed on live interfaces, per in-process module.
std::map<const ModuleIl*, std::vector<orx::il::LivePort>> LivePorts(
    const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
    const RunOptions& options) {
    std::map<const ModuleIl*, std::vector<orx::il::LivePort>> out;
    for (const auto& [name, iface] : options.ifaces) {
        PortPlace place = LocatePort(scenario, ils, name);
        if (!place.il->il) {
            throw std::runtime_error("port " + name + " is served by " + place.il->endpoint +
                                     ": give frild the interface (frild --iface)");
        }
        orx::il::LivePort port{place.port, iface};
        if (auto it = options.captureBuffers.find(name); it != options.captureBuffers.end())
            port.bufferBytes = it->second;
        out[place.il].push_back(port);
    }
    return out;
}

// The scenario's name of every port, by the IL that serves it and its index there.
std::map<std::pair<const ModuleIl*, uint16_t>, std::string> PortNames(
    const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils) {
    std::map<std::pair<const ModuleIl*, uint16_t>, std::string> names;
    for (const auto& [name, object] : scenario.objects) {
        if (!dynamic_cast<orx::core::CPort*>(CHandleRegistry::Instance().Find(object.handle)))
            continue;
        try {
            PortPlace place = LocatePort(scenario, ils, name);
            names.emplace(std::make_pair(place.il, place.port), name);
        } catch (const std::exception&) {
            // A port on no module (or sharing its name) has no live interface to show.
        }
    }
    return names;
}

// How long the display waits for a frild's live ports: it must not stall on a daemon that went
// away.
constexpr uint32_t kLinksTimeoutMs = 1000;

// The live ports of every IL with their counters: an in-process IL's directly, a frild's
// through its diagnostic. A frild that cannot tell in time has none to show.
std::vector<LinkRow> ReadLinks(
    const std::vector<ModuleIl>& ils,
    const std::map<std::pair<const ModuleIl*, uint16_t>, std::string>& names) {
    std::vector<LinkRow> rows;
    for (const ModuleIl& il : ils) {
        std::vector<orx::il::LinkView> links;
        if (il.il) {
            links = il.il->Links();
        } else {
            Messenger messenger(il.transport, Message::kNoDestination, il.endpoint);
            Message request, response;
            orx::il::diag::CreateLinksRequest(&request);
            std::vector<ErrorMsg> errors;
            try {
                if (CRpcManager::Instance().SendAndWait(&messenger, request, response, errors,
                                                        kLinksTimeoutMs))
                    links = orx::il::diag::ParseLinksResponse(response);
            } catch (const std::exception&) {
                continue;
            }
        }
        for (auto& link : links) {
            auto name = names.find({&il, link.port});
            rows.push_back(LinkRow{
                name != names.end() ? name->second : il.name + "/" + std::to_string(link.port),
                std::move(link)});
        }
    }
    return rows;
}

}  // namespace

int RunCommand(const RunOptions& options) {
    orx::scenario::Scenario scenario;
    try {
        scenario = orx::scenario::ScenarioLoader::LoadFile(options.scenario);
    } catch (const orx::scenario::ScenarioError& e) {
        std::cerr << "frhost: " << e.what() << '\n';
        return kExitInput;
    }
    std::vector<ModuleIl> ils;
    std::unique_ptr<ReplayJob> replay;
    std::vector<std::unique_ptr<orx::il::LiveRunner>> live;
    try {
        ils = ConnectIls(scenario, options.clientKey);
        if (!options.files.inputs.empty() || !options.files.outputs.empty())
            replay = std::make_unique<ReplayJob>(scenario, ils, options.files, !options.quiet);
        for (auto& [il, ports] : LivePorts(scenario, ils, options))
            live.push_back(std::make_unique<orx::il::LiveRunner>(*il->il, ports));
    } catch (const std::exception& e) {
        std::cerr << "frhost: " << Console::OneLine(e.what()) << '\n';
        return kExitInput;
    }

    orx::core::ApplyResult applied = orx::core::ProjectApply::Apply();
    for (const auto& message : applied.messages)
        std::cout << Console::OneLine(message.message) << '\n';
    if (!applied.ok) {
        if (applied.messages.empty())
            Console::Failure(std::cout, applied.error);
        std::cout.flush();
        return kExitFailed;
    }

    const RunDisplay::Mode mode = options.quiet           ? RunDisplay::Mode::Quiet
                                  : isatty(STDOUT_FILENO) ? RunDisplay::Mode::Terminal
                                                          : RunDisplay::Mode::Lines;
    RunDisplay display(mode);
    SignalGuard signals;
    g_signals = 0;
    int status = 0;
    std::string failure;
    const auto begin = Clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(Clock::now() - begin).count(); };
    bool started = false;
    std::vector<std::unique_ptr<RemoteReplay>> remote;
    const auto portNames = PortNames(scenario, ils);
    try {
        orx::core::CResultModule::Instance().SetEndOfTestFile(options.resultsDb);
        SubscribeProject(options.intervalMs);
        std::string error;
        if (!RunHostCommand(orx::core::CProtocolStartCommand::CLASS_ID(), error))
            throw std::runtime_error("The responders did not start: " + error);
        started = true;

        for (auto& runner : live)
            runner->Start();
        if (replay)
            replay->Start();
        for (const ModuleIl& il : ils) {
            if (!il.il)
                remote.push_back(std::make_unique<RemoteReplay>(il));
        }

        const auto interval = std::chrono::milliseconds(options.intervalMs);
        auto next = Clock::now() + interval;
        for (;;) {
            if (g_signals.load() > 0)
                break;
            bool trafficDone = !replay || replay->Done();
            bool waitsForSignal = !live.empty();
            for (const auto& r : remote) {
                trafficDone = trafficDone && r->Done();
                waitsForSignal = waitsForSignal || r->Live();
                if (r->Done() && !r->Error().empty())
                    throw std::runtime_error("Traffic of " + r->Error());
            }
            const bool durationOver = options.durationS >= 0 && seconds() >= options.durationS;
            if (trafficDone && (options.durationS >= 0 ? durationOver : !waitsForSignal))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (Clock::now() >= next) {
                CRpcManager::Instance().ProcessNotifications();
                display.Show(seconds(), ReadResults(),
                             replay ? replay->GetProgress() : std::vector<ReplayJob::Progress>{},
                             ReadLinks(ils, portNames), "");
                next += interval;
                if (next < Clock::now())
                    next = Clock::now() + interval;
            }
        }
        if (g_signals.load() > 0) {
            // The first signal ends the traffic; a second one, from here on, ends at once.
            if (replay)
                replay->Stop();
        }
        for (auto& runner : live)
            runner->Stop();
        if (replay)
            replay->Wait();
    } catch (const std::exception& e) {
        failure = Console::OneLine(e.what());
        status = kExitFailed;
        if (replay)
            replay->Stop();
        for (auto& runner : live)
            runner->Stop();
    }
    display.Finish();
    const bool aborted = g_signals.load() > 1;

    // Whatever happened, the responders stop and the test ports stop notifying.
    if (started) {
        // A run that failed or was ended at once saves no results, in no file.
        if (aborted || status != 0)
            orx::core::CResultModule::Instance().SetEndOfTestFile("");
        std::string error;
        if (!RunHostCommand(orx::core::CProtocolStopCommand::CLASS_ID(), error)) {
            if (failure.empty())
                failure = "The responders did not stop: " + Console::OneLine(error);
            status = kExitFailed;
        }
    }
    std::vector<std::string> losses;
    if (!aborted && status == 0) {
        try {
            RefreshResults();
            ResultTable final = ReadResults();
            const std::vector<LinkRow> links = ReadLinks(ils, portNames);
            losses = LinkLosses(links);
            display.Record(seconds(), final);
            if (!options.quiet) {
                PrintResults(final, std::cout);
                if (!links.empty())
                    PrintLinks(links, std::cout);
            }
            if (!options.results.empty())
                WriteRunResults(options.results, final, display.Samples(), links);
            for (const LinkRow& l : links) {
                // The other ports went on; the run still must not pass for a good one.
                if (!l.link.error.empty() && failure.empty()) {
                    failure = "Port " + l.port + " ended early: its interface " + l.link.interface +
                              " failed";
                    status = kExitFailed;
                }
            }
        } catch (const std::exception& e) {
            failure = Console::OneLine(e.what());
            status = kExitFailed;
        }
    }
    try {
        EndSubscriptions();
    } catch (const std::exception& e) {
        if (failure.empty())
            failure = Console::OneLine(e.what());
    }
    remote.clear();
    if (!failure.empty())
        Console::Failure(std::cout, failure);
    // Counters that leave frames out must not read as the whole traffic: the last word.
    for (const std::string& line : losses)
        std::cout << Console::OneLine(line) << '\n';
    if (aborted) {
        std::cout << "Ended at once by a second signal: the responders are stopped, no results "
                     "were saved\n";
        status = kExitAborted;
    }
    std::cout.flush();
    return status;
}

}  // namespace frhost
