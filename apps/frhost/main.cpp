// frhost: loads the plug-ins that sit next to the program and runs a command on a scenario.
//
// Exit status: 0 success; 1 validation reported messages, or the filter or frame is invalid;
// 2 the scenario, a frame or capture file could not be loaded, or an output cannot be written;
// 3 a plug-in could not be loaded; 64 usage error; 70 internal error.

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <orx/core/Apply.h>
#include <orx/core/HostClasses.h>
#include <orx/core/Protocol.h>
#include <orx/core/Results.h>
#include <orx/framework/Logger.h>
#include <orx/framework/PluginLoader.h>
#include <orx/framework/Rpc.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/il/LiveInterface.h>
#include <orx/scenario/ScenarioBuilder.h>
#include <orx/transport/CurveKeys.h>
#include "Console.h"
#include "FrameCommands.h"
#include "IlWiring.h"
#include "OutputFiles.h"
#include "Replay.h"
#include "ResultCommands.h"
#include "RunCommand.h"

namespace {

using frhost::Console;
using orx::framework::BLLLoggerFactory;
using orx::framework::PluginLoader;

constexpr int kExitMessages = 1;
constexpr int kExitScenario = 2;
constexpr int kExitPlugins = 3;
constexpr int kExitUsage = 64;
constexpr int kExitInternal = 70;

// How often the test ports notify changed counters to a subscription.
constexpr uint32_t kResultIntervalMs = 100;

// "LOGGER=LEVEL[,LOGGER=LEVEL...]": checked while the command line is parsed, so that a bad
// setting is a usage error and nothing has run yet.
std::string CheckLogSetting(const std::string& setting) {
    std::vector<std::pair<std::string, int>> entries;
    std::string error;
    if (!orx::framework::ParseLogSetting(setting, entries, &error))
        return error;
    return entries.empty() ? "expected LOGGER=LEVEL" : std::string();
}

std::filesystem::path ProgramDirectory() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        throw std::runtime_error("cannot find the program's directory: " + ec.message());
    return exe.parent_path();
}

int Validate(const std::string& scenarioPath) {
    try {
        orx::scenario::ScenarioLoader::LoadFile(scenarioPath);
    } catch (const orx::scenario::ScenarioError& e) {
        std::cerr << "frhost: " << e.what() << '\n';
        return kExitScenario;
    }
    orx::core::ApplyResult result = orx::core::ProjectApply::Validate();
    for (const auto& message : result.messages)
        std::cout << Console::OneLine(message.message) << '\n';
    std::cout.flush();
    return result.messages.empty() ? 0 : kExitMessages;
}

// What to do with the results of an apply.
struct ResultOptions {
    bool table = false;    // print one row per configuration
    std::string json;      // write the rows as JSON
    std::string database;  // write the end-of-test database
    std::string view;      // print the providers' roll-up under port, probe or project
    bool Subscribe() const { return table || !json.empty() || !database.empty(); }
};

// Validates and applies a scenario to its ILs; prints the validation messages or the apply's
// error text when it fails.
int Apply(const std::string& scenarioPath, bool show, bool start, const frhost::ReplayFiles& replay,
          const ResultOptions& results, const orx::transport::CurveKeyPair& clientKey) {
    orx::scenario::Scenario scenario;
    try {
        scenario = orx::scenario::ScenarioLoader::LoadFile(scenarioPath);
    } catch (const orx::scenario::ScenarioError& e) {
        std::cerr << "frhost: " << e.what() << '\n';
        return kExitScenario;
    }
    std::vector<frhost::ModuleIl> ils;
    try {
        ils = frhost::ConnectIls(scenario, clientKey);
    } catch (const std::runtime_error& e) {
        std::cerr << "frhost: " << e.what() << '\n';
        return kExitScenario;
    }
    orx::core::ApplyResult result = orx::core::ProjectApply::Apply();
    for (const auto& message : result.messages)
        std::cout << Console::OneLine(message.message) << '\n';
    if (!result.ok) {
        if (result.messages.empty())
            frhost::Console::Failure(std::cout, result.error);
        std::cout.flush();
        return kExitMessages;
    }
    // Subscriptions end however the command ends, so that no test port keeps notifying.
    struct EndSubscriptions {
        ~EndSubscriptions() {
            try {
                frhost::EndSubscriptions();
            } catch (const std::exception& e) {
                std::cerr << "frhost: " << Console::OneLine(e.what()) << '\n';
            }
        }
    } endSubscriptions;
    try {
        if (results.Subscribe())
            frhost::SubscribeProject(kResultIntervalMs);
        if (start) {
            // The host's start command runs every protocol: the responders start.
            orx::framework::CScriptableAutoPtr<orx::core::CProtocolStartCommand> command =
                orx::framework::CScriptableCreator::CreateAPT<orx::core::CProtocolStartCommand>();
            command->Execute();
        }
        if (!replay.inputs.empty() || !replay.outputs.empty())
            frhost::Replay(scenario, ils, replay);
        if (results.Subscribe()) {
            // The notifications so far, then one last read: the counts are the ports' own.
            frhost::RefreshResults();
            frhost::ResultTable table = frhost::ReadResults();
            if (results.table)
                frhost::PrintResults(table, std::cout);
            if (!results.json.empty())
                frhost::WriteResultsJson(table, results.json);
        }
        if (!results.view.empty())
            frhost::PrintProviderViews(results.view, std::cout);
        if (!results.database.empty()) {
            orx::core::CResultModule::Instance().SetEndOfTestFile(results.database);
            if (start) {
                // Stopping every responder ends the test, which saves its results.
                orx::framework::CScriptableAutoPtr<orx::core::CProtocolStopCommand> stop =
                    orx::framework::CScriptableCreator::CreateAPT<
                        orx::core::CProtocolStopCommand>();
                stop->Execute();
            } else {
                orx::core::CResultModule::Instance().SaveEndOfTest(results.database);
            }
        }
    } catch (const std::exception& e) {
        frhost::Console::Failure(std::cout, e.what());
        std::cout.flush();
        return kExitMessages;
    }
    if (show)
        frhost::ShowIls(ils, std::cout);
    std::cout.flush();
    return 0;
}

// "NAME=FILE" options into a map; false with a usage text for a malformed one.
bool ParsePortFiles(const std::vector<std::string>& items, std::map<std::string, std::string>& out,
                    std::string& error) {
    for (const std::string& item : items) {
        size_t eq = item.find('=');
        if (eq == std::string::npos || eq == 0 || eq + 1 == item.size()) {
            error = "\"" + item + "\": expected PORT=FILE with PORT the name of a Port";
            return false;
        }
        if (!out.emplace(item.substr(0, eq), item.substr(eq + 1)).second) {
            error = "\"" + item + "\": port " + item.substr(0, eq) + " is given twice";
            return false;
        }
    }
    return true;
}

// --capture-buffer PORT=MIB items: each port must be given an --iface.
bool ParseCaptureBuffers(const std::vector<std::string>& items, frhost::RunOptions& options,
                         std::string& error) {
    std::map<std::string, std::string> sizes;
    if (!ParsePortFiles(items, sizes, error)) {
        error = "--capture-buffer " + error;
        return false;
    }
    for (const auto& [port, size] : sizes) {
        if (!options.ifaces.count(port)) {
            error = "--capture-buffer " + port + "=" + size + ": port " + port + " has no --iface";
            return false;
        }
        try {
            options.captureBuffers[port] = orx::il::LiveInterface::ParseBufferMiB(size);
        } catch (const std::invalid_argument& e) {
            error = "--capture-buffer " + port + "=" + size + ": " + e.what();
            return false;
        }
    }
    return true;
}

// The files a command writes, as (option as given, path); options not given are left out.
std::vector<std::pair<std::string, std::string>> OutputList(
    const std::string& portOption, const std::map<std::string, std::string>& portFiles,
    const std::vector<std::pair<std::string, std::string>>& others) {
    std::vector<std::pair<std::string, std::string>> list;
    for (const auto& [port, path] : portFiles)
        list.emplace_back(portOption + " " + port + "=" + path, path);
    for (const auto& [option, path] : others) {
        if (!path.empty())
            list.emplace_back(option + " " + path, path);
    }
    return list;
}

// Every output is checked before anything runs, so that a run is not lost to a typo at its end.
bool CheckOutputs(const std::vector<std::pair<std::string, std::string>>& outputs) {
    const std::string error = frhost::CheckOutputPaths(outputs);
    if (!error.empty())
        std::cerr << "frhost: " << error << '\n';
    return error.empty();
}

int Run(int argc, char** argv) {
    CLI::App app{
        "Frame-response host: loads the plug-ins next to this program and runs a command."};
    app.name("frhost");
    app.require_subcommand(1);

    std::vector<std::string> logSettings;
    app.add_option("--log", logSettings, "Set a named logger's level (repeatable)")
        ->type_name("LOGGER=LEVEL")
        ->allow_extra_args(false)
        ->check(CLI::Validator(CheckLogSetting, "", "log setting"));

    unsigned timeoutMs = 30000;
    app.add_option("--timeout", timeoutMs, "How long to wait for a test port's answer (ms)")
        ->check(CLI::Range(1u, 3600000u));
    std::string curveKeyFile;
    app.add_option("--curve-key", curveKeyFile,
                   "This host's CURVE secret key (NAME.key_secret from frild keygen), for frild "
                   "daemons that only let listed hosts in; default: a fresh key per connection")
        ->type_name("FILE");

    CLI::App* version = app.add_subcommand("version", "Print each loaded plug-in's version");
    CLI::App* validate =
        app.add_subcommand("validate", "Load a scenario and print every validation message");
    std::string scenario;
    validate->add_option("SCENARIO", scenario, "Scenario file (JSON)")->required();
    CLI::App* filter = app.add_subcommand(
        "filter", "Print the filter expression a configuration with this frame filter sends");
    std::string framePath;
    filter->add_option("FRAME", framePath, "Frame description (XML)")->required();
    CLI::App* frame =
        app.add_subcommand("frame", "Print the bytes and PDU offsets of a response frame");
    frame->add_option("FRAME", framePath, "Frame description (XML)")->required();
    std::string pcapPath;
    frame->add_option("--pcap", pcapPath, "Also write the frame as a one-frame capture file");
    CLI::App* apply =
        app.add_subcommand("apply", "Validate a scenario and apply it to its test ports");
    apply->add_option("SCENARIO", scenario, "Scenario file (JSON)")->required();
    bool show = false;
    apply->add_flag("--show", show, "Print what each port's test port then holds");
    bool start = false;
    apply->add_flag("--start", start, "Start every responder once applied");
    std::vector<std::string> pcapIn, pcapOut;
    apply
        ->add_option("--pcap-in", pcapIn,
                     "Replay a capture into a port of an in-process test port (repeatable)")
        ->type_name("PORT=FILE");
    apply
        ->add_option("--pcap-out", pcapOut,
                     "Write a port's transmissions to a capture (repeatable)")
        ->type_name("PORT=FILE");
    ResultOptions results;
    apply->add_flag("--results", results.table,
                    "Print each configuration's counters from its result object");
    apply->add_option("--results-json", results.json, "Write the same rows as a JSON array")
        ->type_name("FILE");
    apply
        ->add_option("--results-db", results.database,
                     "Write the end-of-test results database (SQLite)")
        ->type_name("FILE");
    apply->add_option("--view", results.view, "Print the result providers' roll-up")
        ->check(CLI::IsMember({"port", "probe", "project"}));

    CLI::App* run = app.add_subcommand(
        "run", "Apply a scenario, start its responders, feed them traffic and show their counters");
    frhost::RunOptions runOptions;
    run->add_option("SCENARIO", runOptions.scenario, "Scenario file (JSON)")->required();
    std::vector<std::string> runRx, runTx, runIface;
    run->add_option("--rx", runRx, "Replay a capture into a port, in the file's own time")
        ->type_name("PORT=FILE.pcap");
    run->add_option("--tx", runTx, "Write what a port transmits to a capture")
        ->type_name("PORT=FILE.pcap");
    run->add_option("--iface", runIface,
                    "Answer the frames a live interface receives on a port (inbound only)")
        ->type_name("PORT=IFNAME");
    std::vector<std::string> runBuffers;
    run->add_option("--capture-buffer", runBuffers,
                    "Capture buffer of an --iface port in MiB (default " +
                        std::to_string(orx::il::LiveInterface::kDefaultBufferBytes >> 20) +
                        "): room for a burst the responders have not answered yet")
        ->type_name("PORT=MIB");
    run->add_option("--duration", runOptions.durationS,
                    "Run at least this long (default: until the replays end; with live "
                    "interfaces, until SIGINT or SIGTERM)")
        ->type_name("SECONDS")
        ->check(CLI::Range(0.0, 31536000.0));
    run->add_option("--interval", runOptions.intervalMs,
                    "How often the counters are shown and sampled (ms)")
        ->check(CLI::Range(10u, 3600000u));
    run->add_option("--results", runOptions.results,
                    "Write the final counters (and, in JSON, their series) to FILE.json or "
                    "FILE.csv")
        ->type_name("FILE")
        ->check(CLI::Validator(
            [](const std::string& path) {
                auto ends = [&](const char* e) {
                    std::string end(e);
                    return path.size() > end.size() &&
                           path.compare(path.size() - end.size(), end.size(), end) == 0;
                };
                return ends(".json") || ends(".csv")
                           ? std::string()
                           : "expected a file name ending in .json or .csv";
            },
            "", "results file"));
    run->add_option("--results-db", runOptions.resultsDb,
                    "Write the end-of-test results database (SQLite) when the run ends")
        ->type_name("FILE");
    run->add_flag("--quiet", runOptions.quiet, "Show nothing while running");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "frhost: " << e.what() << "\nRun with --help for more information.\n";
        return kExitUsage;
    }

    // The program prints each failure once, in its own words; log lines appear only as --log
    // asks for them.
    auto* logging = BLLLoggerFactory::GetInstance();
    logging->SetDefaultLevel(orx::framework::LOG_OFF);
    for (const std::string& setting : logSettings) {
        std::string error;
        if (!logging->Configure(setting, &error)) {
            std::cerr << "frhost: --log " << error << '\n';
            return kExitUsage;
        }
    }
    frhost::Console::Init(!logSettings.empty() || std::getenv("ORX_LOG") != nullptr);

    orx::framework::CRpcManager::Instance().SetDefaultTimeout(std::chrono::milliseconds(timeoutMs));
    orx::transport::CurveKeyPair clientKey;
    if (!curveKeyFile.empty()) {
        try {
            clientKey = orx::transport::ReadSecretKeyFile(curveKeyFile);
        } catch (const std::exception& e) {
            std::cerr << "frhost: --curve-key " << e.what() << '\n';
            return kExitScenario;
        }
    }
    runOptions.clientKey = clientKey;

    std::filesystem::path directory = ProgramDirectory();
    std::string error;
    if (!PluginLoader::Instance().LoadDirectory(directory.string(), &error)) {
        std::cerr << "frhost: cannot load plug-ins: " << error << '\n';
        return kExitPlugins;
    }

    if (*version) {
        const auto& plugins = PluginLoader::Instance().GetPlugins();
        if (plugins.empty()) {
            std::cerr << "frhost: no plug-ins (*.plugin.so) in " << directory.string() << '\n';
        }
        for (const auto& plugin : plugins)
            std::cout << plugin.version << '\n';
        std::cout.flush();
        return 0;
    }
    if (*validate)
        return Validate(scenario);
    if (*run) {
        std::string error;
        if (!ParsePortFiles(runRx, runOptions.files.inputs, error) ||
            !ParsePortFiles(runTx, runOptions.files.outputs, error) ||
            !ParsePortFiles(runIface, runOptions.ifaces, error) ||
            !ParseCaptureBuffers(runBuffers, runOptions, error)) {
            std::cerr << "frhost: " << error << '\n';
            return kExitUsage;
        }
        if (!CheckOutputs(OutputList(
                "--tx", runOptions.files.outputs,
                {{"--results", runOptions.results}, {"--results-db", runOptions.resultsDb}}))) {
            return kExitScenario;
        }
        return frhost::RunCommand(runOptions);
    }
    if (*apply) {
        frhost::ReplayFiles replay;
        std::string error;
        if (!ParsePortFiles(pcapIn, replay.inputs, error) ||
            !ParsePortFiles(pcapOut, replay.outputs, error)) {
            std::cerr << "frhost: " << error << '\n';
            return kExitUsage;
        }
        if (!CheckOutputs(OutputList(
                "--pcap-out", replay.outputs,
                {{"--results-json", results.json}, {"--results-db", results.database}}))) {
            return kExitScenario;
        }
        return Apply(scenario, show, start, replay, results, clientKey);
    }
    if (*frame && !pcapPath.empty() && !CheckOutputs({{"--pcap " + pcapPath, pcapPath}}))
        return kExitScenario;
    try {
        if (*filter)
            return frhost::FilterCommand(framePath);
        if (*frame)
            return frhost::FrameCommand(framePath, pcapPath);
    } catch (const std::runtime_error& e) {
        std::cerr << "frhost: " << e.what() << '\n';
        return kExitScenario;
    }
    std::cerr << "frhost: no command given\n";
    return kExitUsage;
}

}  // namespace

// The test's objects go before the program's statics do: a test module's transport runs a
// thread of its own, which must be stopped while the loggers it uses still exist.
void TearDownHost() {
    try {
        orx::core::CProject::Instance().Reset();
    } catch (const std::exception& e) {
        std::cerr << "frhost: internal error while ending: " << e.what() << '\n';
    }
}

int main(int argc, char** argv) {
    int status = kExitInternal;
    try {
        status = Run(argc, argv);
    } catch (const std::exception& e) {
        std::cerr << "frhost: internal error: " << e.what() << '\n';
    } catch (...) {
        std::cerr << "frhost: internal error: unknown exception\n";
    }
    TearDownHost();
    return status;
}
