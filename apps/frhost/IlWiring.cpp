#include "IlWiring.h"

#include <algorithm>
#include <stdexcept>

#include "orx/core/HostClasses.h"
#include "orx/framework/HandleRegistry.h"
#include "orx/il/IlServer.h"
#include "orx/transport/InProcIlTransport.h"

namespace frhost {

using namespace orx::framework;

namespace {

std::vector<uint16_t> PortsOf(const orx::core::ScenarioModule& m) {
    std::vector<uint16_t> ports;
    CScriptable* group = CHandleRegistry::Instance().Find(m.portGroup);
    if (!group) return ports;
    ScriptableVec physical;
    group->GetObjects(physical, orx::core::CPhysicalPort::CLASS_ID());
    for (CScriptable* p : physical) {
        ports.push_back(static_cast<orx::core::CPhysicalPort*>(p)->GetIndex());
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

}  // namespace

std::vector<ModuleIl> ConnectIls(const orx::core::Scenario& scenario) {
    std::vector<ModuleIl> ils;
    for (const auto& m : scenario.modules) {
        auto* module = dynamic_cast<orx::core::CPhysicalTestModule*>(
            CHandleRegistry::Instance().Find(m.handle));
        if (!module) throw std::runtime_error("module " + m.name + " is gone");
        ModuleIl il{m.name, m.handle, m.il.empty() ? "inproc" : m.il, PortsOf(m), nullptr, nullptr};
        if (il.endpoint == "inproc") {
            il.il = std::make_shared<orx::il::IlServer>(il.ports);
            il.transport = std::make_shared<orx::transport::InProcIlTransport>(il.il);
        } else {
            throw std::runtime_error("module " + m.name + ": remote ILs (" + il.endpoint +
                                     ") cannot be reached by this build of frhost");
        }
        module->SetIlTransport(il.transport);
        ils.push_back(std::move(il));
    }
    return ils;
}

}  // namespace frhost

namespace frhost {

void ShowIls(const std::vector<ModuleIl>& ils, std::ostream& out) {
    for (const ModuleIl& m : ils) {
        out << "module " << m.name << " (" << m.endpoint << ")\n";
        if (!m.il) continue;
        for (const auto& c : m.il->Counters()) {
            out << "  port " << c.port << " responder " << c.handle << (c.running ? " running" : " stopped")
                << " matched " << c.matched << " transmitted " << c.transmitted << '\n';
        }
    }
}

}  // namespace frhost
