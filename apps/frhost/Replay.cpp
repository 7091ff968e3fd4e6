#include "Replay.h"

#include <stdexcept>

#include <orx/core/HostClasses.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/il/IlServer.h>

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

ReplayJob::ReplayJob(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
                     const ReplayFiles& files, bool countFrames) {
    for (const auto& [name, path] : files.outputs) {
        PortPlace place = LocalPort(scenario, ils, name);
        m_replay.AddOutput(*place.il->il, place.port, name, path);
    }
    for (const auto& [name, path] : files.inputs) {
        PortPlace place = LocalPort(scenario, ils, name);
        m_replay.AddInput(*place.il->il, place.port, name, path, countFrames);
    }
}

void ReplayJob::Wait() {
    std::string error = m_replay.Wait();
    if (!error.empty())
        throw std::runtime_error(error);
}

std::vector<ReplayJob::Progress> ReplayJob::GetProgress() const {
    std::vector<Progress> out;
    for (const auto& in : m_replay.Inputs())
        out.push_back(Progress{in.label, in.frames, in.total});
    return out;
}

void Replay(const orx::scenario::Scenario& scenario, const std::vector<ModuleIl>& ils,
            const ReplayFiles& files) {
    ReplayJob job(scenario, ils, files);
    job.Start();
    job.Wait();
}

}  // namespace frhost
