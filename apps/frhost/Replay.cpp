#include "Replay.h"

#include <memory>
#include <stdexcept>

#include "orx/core/HostClasses.h"
#include "orx/framework/HandleRegistry.h"
#include "orx/il/FramePump.h"
#include "orx/il/IlServer.h"
#include "orx/il/PcapFiles.h"

namespace frhost {

using namespace orx::framework;

namespace {

struct Place {
    const ModuleIl* il;
    uint16_t port;
};

// The in-process test port of a scenario Port, by the Port's name; a name that several objects
// hold is refused by FindObject, naming each of them.
Place Locate(const orx::core::Scenario& scenario, const std::vector<ModuleIl>& ils,
             const std::string& name) {
    auto* port = dynamic_cast<orx::core::CPort*>(
        CHandleRegistry::Instance().Find(scenario.FindObject(name)));
    if (!port)
        throw std::runtime_error("\"" + name + "\" is not a port of the scenario");
    orx::core::CPhysicalPortGroup* group = port->GetPortGroup();
    orx::core::CPhysicalTestModule* module = group ? group->GetTestModule() : nullptr;
    for (const ModuleIl& il : ils) {
        if (!module || il.module != module->GetObjectHandle())
            continue;
        if (!il.il) {
            throw std::runtime_error("port " + name + " is served by " + il.endpoint +
                                     ": replay its captures with frild there");
        }
        return Place{&il, static_cast<uint16_t>(port->GetPortIndex())};
    }
    throw std::runtime_error("port " + name + " sits on no test module");
}

}  // namespace

void Replay(const orx::core::Scenario& scenario, const std::vector<ModuleIl>& ils,
            const ReplayFiles& files) {
    // One pump per test port module; the sources and sinks live until every pump has run.
    std::map<const ModuleIl*, std::unique_ptr<orx::il::FramePump>> pumps;
    std::vector<std::unique_ptr<orx::il::PcapFileSource>> sources;
    std::vector<std::unique_ptr<orx::il::PcapFileSink>> sinks;
    auto pumpOf = [&](const ModuleIl* il) -> orx::il::FramePump& {
        auto& pump = pumps[il];
        if (!pump)
            pump = std::make_unique<orx::il::FramePump>();
        return *pump;
    };
    for (const auto& [name, path] : files.outputs) {
        Place place = Locate(scenario, ils, name);
        sinks.push_back(std::make_unique<orx::il::PcapFileSink>(path));
        pumpOf(place.il).AddSink(place.port, *sinks.back());
    }
    for (const auto& [name, path] : files.inputs) {
        Place place = Locate(scenario, ils, name);
        orx::il::PortEngine* engine = place.il->il->Engine(place.port);
        if (!engine)
            throw std::runtime_error("port " + name + " is not served by its test port");
        sources.push_back(std::make_unique<orx::il::PcapFileSource>(path));
        pumpOf(place.il).AddSource(*engine, *sources.back());
    }
    for (auto& [il, pump] : pumps)
        pump->RunToEnd();
    for (auto& sink : sinks)
        sink->Close();
}

}  // namespace frhost
