#pragma once

// A tiny data model of the tests' own (ids 0x55000000) and the object class behind it, which
// records the change notifications it receives.

#include <functional>
#include <string>
#include <vector>

#include <orx/core/HostClasses.h>
#include <orx/framework/Scriptable.h>

namespace fwtest {

using namespace orx::framework;

constexpr ClassId TEST_NODE = 0x55001000;
constexpr ClassId TEST_ABSTRACT = 0x55002000;
constexpr ClassId TEST_LATE = 0x55003000;

constexpr PropId P_SMALL = 0x55001001;   // u8, default 7
constexpr PropId P_MEDIUM = 0x55001002;  // u16, default 0
constexpr PropId P_SIGNED = 0x55001003;  // s32, default -1
constexpr PropId P_TEXT = 0x55001004;    // string, default "hello"
constexpr PropId P_RATIO = 0x55001005;   // double, default 0.5
constexpr PropId P_VALUES = 0x55001006;  // u32 collection, default "1, 2"
constexpr PropId P_TARGET = 0x55001007;  // handle
constexpr PropId P_FLAG = 0x55001008;    // bool, no default given

struct PropCall {
    Handle object;
    PropId id;
    std::string value;
};

struct RelCall {
    Handle source;
    Handle related;
    RelationType type;
    bool added;
};

class CTestNode : public CScriptable {
  public:
    static constexpr ClassId CLASS_ID() { return TEST_NODE; }

    bool OnInit() override;
    bool OnMarkDelete() override;

    void OnProp(CScriptable* object, PropId id);
    void OnRel(CScriptable& source, CScriptable& related, RelationType type, bool added);

    PropertyChangeDelegate PropDelegate() { return MakeDelegate(this, &CTestNode::OnProp); }
    RelationChangeDelegate RelDelegate() { return MakeDelegate(this, &CTestNode::OnRel); }

    std::vector<PropCall> propCalls;
    std::vector<RelCall> relCalls;
    std::function<void()> onPropHook;  // runs inside OnProp

    static int s_made;
    static int s_destroyed;
    static bool s_failInit;
    static std::vector<Handle> s_markDeleteOrder;
};

// Registers the make/destroy functions of TestNode, then loads the model (once per process).
bool EnsureTestModel();

// Makes a TestNode under the parent (the project when none is given).
CTestNode* NewNode(CScriptable* parent = nullptr);

}  // namespace fwtest
