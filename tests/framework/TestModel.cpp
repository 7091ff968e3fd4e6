#include "TestModel.h"

#include <orx/framework/MetaClass.h>
#include <orx/framework/ScriptableCreator.h>

namespace fwtest {

int CTestNode::s_made = 0;
int CTestNode::s_destroyed = 0;
bool CTestNode::s_failInit = false;
std::vector<Handle> CTestNode::s_markDeleteOrder;

namespace {

const char* const kModel = R"(<?xml version="1.0"?>
<dataModel id="0x55000000" name="fwtest">
  <class id="0x55001000" name="TestNode" base="Scriptable">
    <property id="0x55001001" name="Small" type="u8" default="7"/>
    <property id="0x55001002" name="Medium" type="u16" default="0"/>
    <property id="0x55001003" name="Signed" type="s32" default="-1"/>
    <property id="0x55001004" name="Text" type="string" default="hello"/>
    <property id="0x55001005" name="Ratio" type="double" default="0.5"/>
    <property id="0x55001006" name="Values" type="u32" collection="true" default="1, 2"/>
    <property id="0x55001007" name="Target" type="handle" default="0"/>
    <property id="0x55001008" name="Flag" type="bool"/>
  </class>
  <class id="0x55002000" name="TestAbstractNode" base="Scriptable" abstract="true"/>
  <class id="0x55003000" name="TestLateNode" base="Scriptable"/>
</dataModel>
)";

CScriptable* MakeNode() {
    ++CTestNode::s_made;
    return new CTestNode();
}

void DestroyNode(CScriptable* object) {
    ++CTestNode::s_destroyed;
    delete object;
}

}  // namespace

bool CTestNode::OnInit() {
    if (s_failInit)
        throw COrxRunTimeError("init refused");
    return true;
}

bool CTestNode::OnMarkDelete() {
    s_markDeleteOrder.push_back(GetObjectHandle());
    return true;
}

void CTestNode::OnProp(CScriptable* object, PropId id) {
    propCalls.push_back(
        PropCall{object->GetObjectHandle(), id, object->GetProperty(id).GetValueText()});
    if (onPropHook)
        onPropHook();
}

void CTestNode::OnRel(CScriptable& source, CScriptable& related, RelationType type, bool added) {
    relCalls.push_back(RelCall{source.GetObjectHandle(), related.GetObjectHandle(), type, added});
}

bool EnsureTestModel() {
    static const bool loaded = [] {
        // Registered before the model exists: the manager must bind it when the class appears.
        CMetaClass::InitMakeDestroyFuncs(TEST_NODE, &MakeNode, &DestroyNode);
        std::string error;
        return CMetaClassManager::Instance().LoadDataModel(kModel, "fwtest model", &error);
    }();
    return loaded;
}

CTestNode* NewNode(CScriptable* parent) {
    if (!parent)
        parent = &orx::core::CProject::Instance();
    return dynamic_cast<CTestNode*>(CScriptableCreator::Create(TEST_NODE, parent));
}

}  // namespace fwtest
