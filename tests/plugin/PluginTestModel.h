#pragma once

// Objects of the host's model as the plug-in's tests build them.

#include <gtest/gtest.h>

#include <string>

#include <orx/core/HostClasses.h>
#include <orx/framework/ScriptableCreator.h>

namespace plugintest {

// An object of class T under `parent`, named `name` when one is given.
template <class T>
T* Make(orx::framework::CScriptable* parent, const std::string& name = "") {
    auto* object =
        dynamic_cast<T*>(orx::framework::CScriptableCreator::Create(T::CLASS_ID(), parent));
    EXPECT_NE(object, nullptr);
    if (object && !name.empty())
        object->SetName(name);
    return object;
}

// A port of the project that sits on the port group as its port `index`.
inline orx::core::CPort* MakePort(const std::string& name, orx::core::CPhysicalPortGroup* group,
                                  uint16_t index, bool online) {
    using namespace orx::core;
    auto* port = Make<CPort>(&CProject::Instance(), name);
    auto* physical = Make<CPhysicalPort>(group);
    physical->Set(PROP_PHYSICAL_PORT_INDEX, index);
    physical->AddObject(*port, orx::framework::RelationType(orx::framework::PHYSICAL_PORT_TO_PORT));
    port->Set(PROP_PORT_ONLINE, online);
    return port;
}

}  // namespace plugintest
