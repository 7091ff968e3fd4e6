#include "RunCommand.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <thread>

#include "Console.h"
#include "ResultCommands.h"
#include "RunDisplay.h"
#include "msglib/Message.h"
#include "orx/core/Apply.h"
#include "orx/core/HostClasses.h"
#include "orx/core/Protocol.h"
#include "orx/core/Results.h"
#include "orx/framework/Exceptions.h"
#include "orx/framework/HandleRegistry.h"
#include "orx/framework/Rpc.h"
#include "orx/framework/ScriptableCreator.h"
#include "orx/il/Diag.h"
#include "orx/il/IlServer.h"
#include "orx/il/LiveInterface.h"
#include "orx/il/PcapFiles.h"

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
std::map<const ModuleIl*, std::vector<std::pair<uint16_t, std::string>>> LivePorts(
    const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
    const std::map<std::string, std::string>& ifaces) {
    std::map<const ModuleIl*, std::vector<std::pair<uint16_t, std::string>>> out;
    for (const auto& [name, iface] : ifaces) {
        PortPlace place = LocatePort(scenario, ils, name);
        if (!place.il->il) {
            throw std::runtime_error("port " + name + " is served by " + place.il->endpoint +
                                     ": give frild the interface (frild --iface)");
        }
        out[place.il].emplace_back(place.port, iface);
    }
    return out;
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
        for (auto& [il, ports] : LivePorts(scenario, ils, options.ifaces))
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
                             "");
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
    if (!aborted && status == 0) {
        try {
            RefreshResults();
            ResultTable final = ReadResults();
            display.Record(seconds(), final);
            if (!options.quiet)
                PrintResults(final, std::cout);
            if (!options.results.empty())
                WriteRunResults(options.results, final, display.Samples());
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
    if (aborted) {
        std::cout << "Ended at once by a second signal: the responders are stopped, no results "
                     "were saved\n";
        status = kExitAborted;
    }
    std::cout.flush();
    return status;
}

}  // namespace frhost
