#include "IlWiring.h"

#include <algorithm>
#include <stdexcept>

#include "msglib/Message.h"
#include "orx/core/HostClasses.h"
#include "orx/framework/HandleRegistry.h"
#include "orx/il/Diag.h"
#include "orx/il/IlServer.h"
#include "orx/transport/IlTransportFactory.h"

namespace frhost {

using namespace orx::framework;

namespace {

std::vector<uint16_t> PortsOf(const orx::scenario::ScenarioModule& m) {
    std::vector<uint16_t> ports;
    CScriptable* group = CHandleRegistry::Instance().Find(m.portGroup);
    if (!group)
        return ports;
    ScriptableVec physical;
    group->GetObjects(physical, orx::core::CPhysicalPort::CLASS_ID());
    for (CScriptable* p : physical) {
        ports.push_back(static_cast<orx::core::CPhysicalPort*>(p)->GetIndex());
    }
    std::sort(ports.begin(), ports.end());
    return ports;
}

}  // namespace

std::vector<ModuleIl> ConnectIls(const orx::scenario::Scenario& scenario,
                                 const orx::transport::CurveKeyPair& clientKey) {
    std::vector<ModuleIl> ils;
    for (const auto& m : scenario.modules) {
        auto* module = dynamic_cast<orx::core::CPhysicalTestModule*>(
            CHandleRegistry::Instance().Find(m.handle));
        if (!module)
            throw std::runtime_error("module " + m.name + " is gone");
        ModuleIl il{m.name, m.handle, m.il.address, PortsOf(m), nullptr, nullptr};
        try {
            auto connection = orx::transport::MakeIlTransport(m.il, il.ports, clientKey);
            il.il = std::move(connection.il);
            il.transport = std::move(connection.transport);
        } catch (const std::exception& e) {
            throw std::runtime_error("module " + m.name + ": " + e.what());
        }
        module->SetIlTransport(il.transport);
        ils.push_back(std::move(il));
    }
    return ils;
}

}  // namespace frhost

namespace frhost {

namespace {

// Asks a remote IL what it holds, through the host's RPC manager.
std::vector<orx::il::ResponderView> AskRemote(const ModuleIl& m) {
    Messenger messenger(m.transport, Message::kNoDestination, m.endpoint);
    Message request;
    Message response;
    orx::il::diag::CreateShowRequest(&request);
    std::vector<ErrorMsg> errors;
    if (!CRpcManager::Instance().SendAndWait(&messenger, request, response, errors)) {
        throw std::runtime_error(m.endpoint + ": " +
                                 (errors.empty() ? "no answer" : errors.front().faultString));
    }
    return orx::il::diag::ParseShowResponse(response);
}

}  // namespace

void ShowIls(const std::vector<ModuleIl>& ils, std::ostream& out) {
    for (const ModuleIl& m : ils) {
        out << "module " << m.name << " (" << m.endpoint << ")\n";
        std::vector<orx::il::ResponderView> views;
        try {
            views = m.il ? m.il->Describe() : AskRemote(m);
        } catch (const std::exception& e) {
            out << "  cannot show: " << e.what() << '\n';
            continue;
        }
        for (const auto& r : views) {
            out << "  port " << r.port << " responder " << r.handle << " filter \"" << r.filter
                << "\" " << (r.running ? "running" : "stopped") << " matched " << r.matched
                << " transmitted " << r.transmitted << '\n';
            for (const auto& p : r.profiles) {
                out << "    response on port " << p.port << " after " << p.delayUs << " us: ";
                if (p.payload.empty()) {
                    out << "received frame with " << p.modifierCount << " modifier(s)\n";
                } else {
                    out << p.payload.size() << " bytes\n";
                }
            }
        }
    }
}

}  // namespace frhost
