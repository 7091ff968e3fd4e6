#include "BenchProject.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include <orx/core/Apply.h>
#include <orx/core/Capabilities.h>
#include <orx/core/HostClasses.h>
#include <orx/framework/PluginLoader.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/il/IlServer.h>
#include <orx/transport/InProcIlTransport.h>

using namespace orx::framework;
using namespace orx::core;

namespace bench {

namespace {

CScriptable* Make(const std::string& className, CScriptable* parent) {
    return CScriptableCreator::Create(className, parent);
}

}  // namespace

void SetByName(CScriptable& object, const std::string& name, const std::string& text) {
    object.SetFromString(object.GetMetaClass().FindProperty(name)->GetId(), text);
}

std::string FrameFilter(int i) {
    return "<frame><pdu name=\"eth1\" type=\"ethernet:EthernetII\"/><pdu name=\"ip1\" "
           "type=\"ipv4:IPv4\"><sourceAddr>10.0." +
           std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) +
           "</sourceAddr></pdu><pdu name=\"udp1\" type=\"udp:Udp\"><destPort>" +
           std::to_string(1000 + i % 5000) + "</destPort></pdu></frame>";
}

Project Build(int modules, int portsPerModule, int configs, bool frameFilters) {
    Project s;
    for (int m = 0; m < modules; ++m) {
        auto* module =
            dynamic_cast<CPhysicalTestModule*>(Make("PhysicalTestModule", &COrxSystem::Instance()));
        module->Set(PROP_TEST_MODULE_MODEL, std::string("SW"));
        std::string key;
        RcmKeyMgr::GetLookupKey(module->GetObjectHandle(), "TestModule", key);
        RcmDBMgr::Instance().SetDBValue(key, "TestModule/supportsFrameResponder", Capability(true));
        CScriptable* group = Make("PhysicalPortGroup", module);
        group->Set(PROP_PORT_GROUP_LOCATION, "//10.0.0." + std::to_string(m + 1) + "/1");
        std::vector<uint16_t> indices;
        for (int p = 0; p < portsPerModule; ++p) {
            CScriptable* port = Make("Port", &CProject::Instance());
            port->SetName("port" + std::to_string(s.ports.size() + 1));
            CScriptable* physical = Make("PhysicalPort", group);
            physical->Set(PROP_PHYSICAL_PORT_INDEX, static_cast<uint16_t>(p));
            physical->AddObject(*port, RelationType(PHYSICAL_PORT_TO_PORT));
            port->Set(PROP_PORT_ONLINE, true);
            s.ports.push_back(port);
            indices.push_back(static_cast<uint16_t>(p));
        }
        auto il = std::make_shared<orx::il::IlServer>(indices);
        auto transport = std::make_shared<orx::transport::InProcIlTransport>(il);
        module->SetIlTransport(transport);
        s.ils.push_back(il);
        s.transports.push_back(transport);
    }
    for (int i = 0; i < configs; ++i) {
        CScriptable* port = s.ports[static_cast<size_t>(i) % s.ports.size()];
        CScriptable* probe = Make("Probe", port);
        CScriptable* config = Make("ProbeFrameResponseConfig", probe);
        if (frameFilters) {
            SetByName(*config, "UseFrameConfigFilter", "1");
            SetByName(*config, "FrameConfig", FrameFilter(i));
        } else {
            SetByName(*config, "Filter", "udp dst port " + std::to_string(1000 + i % 5000));
        }
        CScriptable* profile = Make("FrameResponseProfile", config);
        SetByName(*profile, "TxPort", std::to_string(port->GetObjectHandle()));
        s.configs.push_back(config);
    }
    return s;
}

void ApplyOrDie() {
    ApplyResult result = ProjectApply::Apply();
    if (!result.ok) {
        throw std::runtime_error(
            "apply failed: " + result.error +
            (result.messages.empty() ? "" : " / " + result.messages[0].message));
    }
}

bool LoadPlugins(const char* program) {
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    std::string error;
    if (!PluginLoader::Instance().LoadDirectory(self.parent_path().string(), &error) ||
        PluginLoader::Instance().GetPlugins().empty()) {
        std::fprintf(stderr, "%s: cannot load the plug-in next to the program: %s\n", program,
                     error.c_str());
        return false;
    }
    return true;
}

}  // namespace bench
