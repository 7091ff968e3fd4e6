#include "IlWiring.h"

#include <algorithm>
#include <stdexcept>

#include <orx/core/HostClasses.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/il/Diag.h>
#include <orx/il/IlServer.h>
#include <orx/msglib/Message.h>
#include <orx/transport/IlTransportFactory.h>

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
Message AskRemote(const ModuleIl& m) {
    Messenger messenger(m.transport, Message::kNoDestination, m.endpoint);
    Message request;
    Message response;
    orx::il::diag::CreateShowRequest(&request);
    std::vector<ErrorMsg> errors;
    if (!CRpcManager::Instance().SendAndWait(&messenger, request, response, errors)) {
        throw std::runtime_error(m.endpoint + ": " +
                                 (errors.empty() ? "no answer" : errors.front().faultString));
    }
    return response;
}

// Which responders a port finds by a key and which run on every frame: what makes it slow.
void PrintDispatch(const orx::il::PortDispatchView& p, std::ostream& out) {
    if (p.running == 0)
        return;
    out << "  port " << p.port << " dispatch: " << p.indexed << " of " << p.running
        << " running responder(s) indexed, " << p.alwaysRun.size() << " run on every frame\n";
    for (const auto& k : p.keys) {
        out << "    key " << k.key << ": " << k.responders << " responder(s), " << k.values
            << " value(s)\n";
    }
    if (!p.alwaysRun.empty()) {
        out << "    run on every frame:";
        for (uint32_t h : p.alwaysRun)
            out << ' ' << h;
        out << '\n';
    }
}

}  // namespace

void ShowIls(const std::vector<ModuleIl>& ils, std::ostream& out) {
    for (const ModuleIl& m : ils) {
        out << "module " << m.name << " (" << m.endpoint << ")\n";
        std::vector<orx::il::ResponderView> views;
        std::vector<orx::il::PortDispatchView> dispatch;
        try {
            if (m.il) {
                views = m.il->Describe();
                dispatch = m.il->DescribeDispatch();
            } else {
                Message response = AskRemote(m);
                views = orx::il::diag::ParseShowResponse(response);
                dispatch = orx::il::diag::ParseShowDispatch(response);
            }
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
        for (const auto& p : dispatch)
            PrintDispatch(p, out);
    }
}

}  // namespace frhost
