#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <orx/core/Apply.h>
#include <orx/core/HostClasses.h>
#include <orx/core/Validation.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/ScriptableCreator.h>
#include "TestModel.h"

using namespace orx::framework;
using namespace orx::core;
using namespace fwtest;

namespace {

// The registries have no unregistration, so the tests register one validator and one apply
// handler for the whole process and steer them per test.
struct Hooks {
    std::function<void(ValidationContext&)> validate;
    std::function<void(ApplyContext&)> apply;
    int applyCalls = 0;

    static Hooks& Get() {
        static Hooks hooks;
        static const bool registered = [] {
            ValidatorRegistry::Instance().RegisterValidator(
                Validator("TestValidator", "test", CProject::CLASS_ID(), &Hooks::Validate, false));
            ApplyToILHandlerRegistry::Instance().RegisterOnApplyObjectHandler(ApplyObjectHandler(
                "TestApply", "test", CProject::CLASS_ID(), &Hooks::Apply, false));
            return true;
        }();
        (void)registered;
        return hooks;
    }
    static void Validate(ValidationContext& context) {
        if (Get().validate)
            Get().validate(context);
    }
    static void Apply(ApplyContext& context) {
        ++Get().applyCalls;
        if (Get().apply)
            Get().apply(context);
    }
};

class ObjectModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(EnsureTestModel());
        Hooks::Get();
        project = &CProject::Instance();
        CTestNode::s_failInit = false;
        CTestNode::s_markDeleteOrder.clear();
    }
    void TearDown() override {
        Hooks::Get().validate = nullptr;
        Hooks::Get().apply = nullptr;
        Hooks::Get().applyCalls = 0;
        CTestNode::s_failInit = false;
        CProject::Instance().Reset();
    }

    template <class T>
    T* Make(CScriptable* parent) {
        return dynamic_cast<T*>(CScriptableCreator::Create(T::CLASS_ID(), parent));
    }

    static int State(const CScriptable* object) {
        return static_cast<int>(object->GetObjectState());
    }

    static std::string ErrorOf(const std::function<void()>& f) {
        try {
            f();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "<no exception>";
    }

    CProject* project = nullptr;
};

// --- data model and creation -----------------------------------------------------------------

TEST_F(ObjectModelTest, MakeFunctionRegisteredBeforeTheModelIsBoundWhenTheClassAppears) {
    const CMetaClass* mc = CMetaClassManager::Instance().GetClass("TestNode");
    ASSERT_NE(mc, nullptr);
    EXPECT_EQ(mc->GetClassId(), TEST_NODE);
    EXPECT_TRUE(mc->HasMakeFunc());
    EXPECT_TRUE(CMetaClassManager::Instance().IsActivated(0x55000000));

    int made = CTestNode::s_made;
    int destroyed = CTestNode::s_destroyed;
    CScriptable* object = CScriptableCreator::Create("TestNode", project);
    ASSERT_NE(dynamic_cast<CTestNode*>(object), nullptr);
    EXPECT_EQ(CTestNode::s_made, made + 1);
    // Defaults come from the model; inherited host properties are there too.
    EXPECT_EQ(object->GetT<uint8_t>(P_SMALL), 7);
    EXPECT_EQ(object->GetT<int32_t>(P_SIGNED), -1);
    EXPECT_EQ(object->GetT<std::string>(P_TEXT), "hello");
    EXPECT_DOUBLE_EQ(object->GetT<double>(P_RATIO), 0.5);
    EXPECT_FALSE(object->GetT<bool>(P_FLAG));
    EXPECT_TRUE(object->GetActive());
    EXPECT_EQ(object->GetName(), "TestNode " + std::to_string(object->GetObjectHandle()));
    std::vector<uint32_t> values;
    object->GetCollection(P_VALUES, values);
    EXPECT_EQ(values, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(object->GetParent(), project);

    CScriptableCreator::Destroy(object);
    EXPECT_EQ(CTestNode::s_destroyed, destroyed + 1);
}

TEST_F(ObjectModelTest, MakeFunctionRegisteredAfterTheModelIsBoundAtOnce) {
    CMetaClassManager::Instance().RegisterMakeDestroy(TEST_LATE, nullptr, nullptr);
    EXPECT_EQ(ErrorOf([&] { CScriptableCreator::Create(TEST_LATE, project); }),
              "No make function registered for class TestLateNode (0x55003000)");

    static int lateMade = 0;
    CMetaClass::InitMakeDestroyFuncs(
        TEST_LATE,
        []() -> CScriptable* {
            ++lateMade;
            return new CScriptable();
        },
        [](CScriptable* o) { delete o; });
    int before = lateMade;
    CScriptable* object = CScriptableCreator::Create(TEST_LATE, project);
    EXPECT_EQ(lateMade, before + 1);
    EXPECT_TRUE(object->IsTypeOf("TestLateNode"));
    EXPECT_TRUE(object->IsTypeOf("Scriptable"));
}

TEST_F(ObjectModelTest, FaultyOrRepeatedDataModelIsRefusedAndChangesNothing) {
    auto& manager = CMetaClassManager::Instance();
    std::string error;
    // The second class is faulty: the first one must not appear either.
    EXPECT_FALSE(manager.LoadDataModel(R"(<dataModel id="0x56000000">
        <class id="0x56001000" name="TestGood" base="Scriptable"/>
        <class id="0x56002000" name="TestBad" base="Scriptable">
          <property id="0x56002001" name="X" type="u8" default="300"/>
        </class></dataModel>)",
                                       "bad model", &error));
    EXPECT_NE(error.find("TestBad.X"), std::string::npos) << error;
    EXPECT_NE(error.find("300"), std::string::npos) << error;
    EXPECT_EQ(manager.GetClass("TestGood"), nullptr);
    EXPECT_FALSE(manager.IsActivated(0x56000000));

    EXPECT_FALSE(manager.LoadDataModel(R"(<dataModel id="0x56000000">
        <class id="0x56001000" name="TestBadType" base="Scriptable">
          <property id="0x56001001" name="Y" type="u7"/></class></dataModel>)",
                                       "bad type", &error));
    EXPECT_NE(error.find("unknown type \"u7\""), std::string::npos) << error;

    EXPECT_FALSE(manager.LoadDataModel(R"(<dataModel id="0x56000000">
        <class id="0x56001000" name="TestClash" base="TestNode">
          <property id="0x56001001" name="Small" type="u8"/></class></dataModel>)",
                                       "clash", &error));
    EXPECT_NE(error.find("clashes with base class TestNode"), std::string::npos) << error;

    EXPECT_FALSE(manager.LoadDataModel("<dataModel id=\"0x55000000\"/>", "again", &error));
    EXPECT_NE(error.find("already active"), std::string::npos) << error;

    EXPECT_FALSE(manager.LoadDataModel("<dataModel id=\"0x56000000\">", "broken", &error));
    EXPECT_NE(error.find("broken: XML error"), std::string::npos) << error;
}

TEST_F(ObjectModelTest, CreatorRefusesUnknownAndAbstractClasses) {
    EXPECT_EQ(ErrorOf([] { CScriptableCreator::Create(0x55FFF000, nullptr); }),
              "Unknown class id 0x55fff000");
    EXPECT_EQ(ErrorOf([] { CScriptableCreator::Create("NoSuchClass", nullptr); }),
              "Unknown class NoSuchClass");
    EXPECT_EQ(ErrorOf([&] { CScriptableCreator::Create(TEST_ABSTRACT, project); }),
              "Trying to create an abstract class : TestAbstractNode");
    EXPECT_EQ(ErrorOf([&] { CScriptableCreator::Create("PduContainer", project); }),
              "Trying to create an abstract class : PduContainer");
    EXPECT_THROW(CScriptableCreator::Create(TEST_ABSTRACT, project), COrxLogicError);
    ScriptableVec children;
    project->GetObjects(children);
    EXPECT_TRUE(children.empty());
}

TEST_F(ObjectModelTest, FailingOnInitLeavesNoObjectBehind) {
    size_t count = CHandleRegistry::Instance().Count();
    int destroyed = CTestNode::s_destroyed;
    CTestNode::s_failInit = true;
    EXPECT_EQ(ErrorOf([&] { NewNode(project); }), "init refused");
    EXPECT_EQ(CTestNode::s_destroyed, destroyed + 1);
    EXPECT_EQ(CHandleRegistry::Instance().Count(), count);
    ScriptableVec children;
    project->GetAllRelated(children, RelationType(PARENT_CHILD));
    EXPECT_TRUE(children.empty());
}

TEST_F(ObjectModelTest, HandlesAreNeverReused) {
    CTestNode* first = NewNode();
    Handle h1 = first->GetObjectHandle();
    EXPECT_GT(h1, ORX_PROJECT_HANDLE);
    EXPECT_EQ(CHandleRegistry::Instance().Find(h1), first);
    CScriptableCreator::Destroy(first);
    EXPECT_EQ(CHandleRegistry::Instance().Find(h1), nullptr);

    CTestNode* second = NewNode();
    EXPECT_GT(second->GetObjectHandle(), h1);
    EXPECT_EQ(CHandleRegistry::Instance().Find(h1), nullptr);
    {
        auto owned = CScriptableCreator::CreateAPT<CProbe>();
        Handle h = owned->GetObjectHandle();
        EXPECT_GT(h, second->GetObjectHandle());
        EXPECT_EQ(CHandleRegistry::Instance().Find(h), owned.get());
        owned.reset();
        EXPECT_EQ(CHandleRegistry::Instance().Find(h), nullptr);
    }
    EXPECT_EQ(CHandleRegistry::Instance().Find(ORX_PROJECT_HANDLE), project);
    EXPECT_EQ(CHandleRegistry::Instance().Find(0), nullptr);
    EXPECT_EQ(CHandleRegistry::Instance().Find(0xFFFFFFF0u), nullptr);
}

// --- properties ------------------------------------------------------------------------------

TEST_F(ObjectModelTest, TypedPropertyErrorsNameThePropertyAndLeaveTheValue) {
    CTestNode* node = NewNode();
    EXPECT_EQ(ErrorOf([&] { node->Set(P_SMALL, 256); }),
              "Property Small of TestNode: 256 does not fit a u8 (at most 255)");
    EXPECT_EQ(ErrorOf([&] { node->Set(P_MEDIUM, 65536u); }),
              "Property Medium of TestNode: 65536 does not fit a u16 (at most 65535)");
    EXPECT_EQ(ErrorOf([&] { node->Set(P_MEDIUM, -1); }),
              "Property Medium of TestNode: -1 is negative; expected a u16");
    EXPECT_EQ(ErrorOf([&] { node->Set(P_SMALL, std::string("7")); }),
              "Property Small of TestNode: expected a u8 value, not a string");
    EXPECT_EQ(ErrorOf([&] { node->Set(P_TEXT, 5); }),
              "Property Text of TestNode: expected a string");
    EXPECT_EQ(ErrorOf([&] { node->Set(P_FLAG, 2); }), "Property Flag of TestNode: expected a bool");
    EXPECT_EQ(ErrorOf([&] { (void)node->GetT<std::string>(P_SMALL); }),
              "Property Small is a u8 and cannot be read as string");
    EXPECT_EQ(ErrorOf([&] { (void)node->GetT<int>(P_TEXT); }),
              "Property Text is a string and cannot be read as integer");
    EXPECT_EQ(ErrorOf([&] { (void)node->GetT<int>(0x55009999); }),
              "Class TestNode has no property with id 0x55009999");
    EXPECT_EQ(ErrorOf([&] { node->Set(0x55009999, 1); }),
              "Class TestNode has no property with id 0x55009999");
    EXPECT_THROW(node->Set(P_SMALL, 256), COrxRunTimeError);
    EXPECT_THROW((void)node->GetT<std::string>(P_SMALL), COrxLogicError);
    EXPECT_FALSE(node->HasProperty(0x55009999));

    // Nothing changed and nobody was told.
    CTestNode* listener = NewNode();
    node->RegisterPropertyChangeDelegate(P_SMALL, listener->PropDelegate());
    EXPECT_THROW(node->Set(P_SMALL, 1000), COrxRunTimeError);
    EXPECT_EQ(node->GetT<int>(P_SMALL), 7);
    EXPECT_EQ(listener->propCalls.size(), 1u);  // the registration call only

    // In range at the limits.
    node->Set(P_SMALL, 255);
    node->Set(P_MEDIUM, 65535);
    node->Set(P_SIGNED, INT32_MIN);
    EXPECT_EQ(node->GetT<uint8_t>(P_SMALL), 255);
    EXPECT_EQ(node->GetT<uint16_t>(P_MEDIUM), 65535);
    EXPECT_EQ(node->GetT<int32_t>(P_SIGNED), INT32_MIN);
}

TEST_F(ObjectModelTest, ReadingIntoANarrowerTypeNeverTruncates) {
    CTestNode* node = NewNode();
    node->Set(P_MEDIUM, 300);
    EXPECT_EQ(node->GetT<uint16_t>(P_MEDIUM), 300);
    EXPECT_EQ(node->GetT<int>(P_MEDIUM), 300);
    EXPECT_THROW((void)node->GetT<uint8_t>(P_MEDIUM), COrxLogicError);
    std::string error = ErrorOf([&] { (void)node->GetT<uint8_t>(P_MEDIUM); });
    EXPECT_NE(error.find("Medium"), std::string::npos) << error;
    EXPECT_NE(error.find("300"), std::string::npos) << error;
    // A negative value is not an unsigned number.
    EXPECT_EQ(node->GetT<int64_t>(P_SIGNED), -1);
    EXPECT_THROW((void)node->GetT<uint32_t>(P_SIGNED), COrxLogicError);
    // Flags held in integers read as bool.
    node->Set(P_SMALL, 3);
    EXPECT_TRUE(node->GetT<bool>(P_SMALL));
}

TEST_F(ObjectModelTest, SetFromStringParsesByTheDeclaredType) {
    CTestNode* node = NewNode();
    node->SetFromString(P_SMALL, "0x10");
    EXPECT_EQ(node->GetT<int>(P_SMALL), 16);
    node->SetFromString(P_SIGNED, "-42");
    EXPECT_EQ(node->GetT<int>(P_SIGNED), -42);
    node->SetFromString(P_FLAG, "true");
    EXPECT_TRUE(node->GetT<bool>(P_FLAG));
    node->SetFromString(P_RATIO, "2.25");
    EXPECT_DOUBLE_EQ(node->GetT<double>(P_RATIO), 2.25);
    node->SetFromString(P_TEXT, "a,b");  // scalar strings keep their commas
    EXPECT_EQ(node->GetT<std::string>(P_TEXT), "a,b");
    node->SetFromString(P_VALUES, "4,5,6");
    EXPECT_EQ(node->GetProperty(P_VALUES).GetValueText(), "4,5,6");
    node->SetFromString(P_VALUES, "");
    EXPECT_TRUE(node->GetProperty(P_VALUES).GetValues().empty());

    EXPECT_EQ(ErrorOf([&] { node->SetFromString(P_SMALL, "256"); }),
              "Property Small: 256 does not fit a u8 (at most 255)");
    EXPECT_EQ(ErrorOf([&] { node->SetFromString(P_SMALL, "abc"); }),
              "Property Small: \"abc\" is not an unsigned integer");
    EXPECT_EQ(ErrorOf([&] { node->SetFromString(P_SMALL, "-1"); }),
              "Property Small: \"-1\" is not an unsigned integer");
    EXPECT_EQ(ErrorOf([&] { node->SetFromString(P_SIGNED, "3000000000"); }),
              "Property Signed: 3000000000 does not fit a s32");
    EXPECT_EQ(ErrorOf([&] { node->SetFromString(P_FLAG, "yes"); }),
              "Property Flag: \"yes\" is not a bool (true or false)");
    EXPECT_EQ(ErrorOf([&] { node->SetFromString(P_RATIO, "1.5x"); }),
              "Property Ratio: \"1.5x\" is not a number");
    EXPECT_EQ(ErrorOf([&] { node->SetFromString(P_VALUES, "1,,2"); }),
              "Property Values: \"\" is not an unsigned integer");
    EXPECT_THROW(node->SetFromString(P_VALUES, "1,4294967296"), COrxRunTimeError);
    EXPECT_TRUE(node->GetProperty(P_VALUES).GetValues().empty());
}

TEST_F(ObjectModelTest, CollectionPropertiesKeepTheirValuesInOrder) {
    CTestNode* node = NewNode();
    CTestNode* listener = NewNode();
    node->RegisterPropertyChangeDelegate(P_VALUES, listener->PropDelegate());
    node->SetCollection<uint32_t>(P_VALUES, {9, 8, 7});
    node->SetCollection<uint32_t>(P_VALUES, {9, 8, 7});  // same values: no notification
    std::vector<uint64_t> values;
    node->GetCollection(P_VALUES, values);
    EXPECT_EQ(values, (std::vector<uint64_t>{9, 8, 7}));
    ASSERT_EQ(listener->propCalls.size(), 2u);
    EXPECT_EQ(listener->propCalls[0].value, "1,2");
    EXPECT_EQ(listener->propCalls[1].value, "9,8,7");

    EXPECT_THROW(node->SetCollection<int64_t>(P_VALUES, {1, -1}), COrxRunTimeError);
    node->GetCollection(P_VALUES, values);
    EXPECT_EQ(values, (std::vector<uint64_t>{9, 8, 7}));

    // A scalar holds exactly one value.
    EXPECT_EQ(ErrorOf([&] { node->SetValues(P_SMALL, {}); }),
              "Property Small holds exactly one value");
    EXPECT_THROW(node->SetCollection<uint32_t>(P_SMALL, {1, 2}), COrxRunTimeError);
    // Handle collections of the host's commands.
    CScriptable* command = CScriptableCreator::Create("ProtocolStartCommand", project);
    command->SetCollection<uint32_t>(0x01402001, {3, 4});
    std::vector<uint32_t> handles;
    command->GetCollection(0x01402001, handles);
    EXPECT_EQ(handles, (std::vector<uint32_t>{3, 4}));
}

// --- property-change delegates -----------------------------------------------------------

TEST_F(ObjectModelTest, PropertyDelegateSeesCurrentValueAtOnceThenEveryChangeOnly) {
    CTestNode* node = NewNode();
    CTestNode* listener = NewNode();
    node->Set(P_MEDIUM, 5);
    node->RegisterPropertyChangeDelegate(P_MEDIUM, listener->PropDelegate());
    ASSERT_EQ(listener->propCalls.size(), 1u);
    EXPECT_EQ(listener->propCalls[0].object, node->GetObjectHandle());
    EXPECT_EQ(listener->propCalls[0].id, P_MEDIUM);
    EXPECT_EQ(listener->propCalls[0].value, "5");

    node->Set(P_MEDIUM, 5);              // same value
    node->SetFromString(P_MEDIUM, "5");  // same value through text
    node->Set(P_SMALL, 1);               // another property
    EXPECT_EQ(listener->propCalls.size(), 1u);

    node->Set(P_MEDIUM, 6);
    node->Set(P_MEDIUM, 7);
    ASSERT_EQ(listener->propCalls.size(), 3u);
    EXPECT_EQ(listener->propCalls[1].value, "6");
    EXPECT_EQ(listener->propCalls[2].value, "7");

    // Registering again adds nothing but reports the value once more.
    node->RegisterPropertyChangeDelegate(P_MEDIUM, listener->PropDelegate());
    EXPECT_EQ(listener->propCalls.size(), 4u);
    node->Set(P_MEDIUM, 8);
    EXPECT_EQ(listener->propCalls.size(), 5u);

    // A freshly made equal delegate unregisters it.
    node->UnregisterPropertyChangeDelegate(P_MEDIUM, MakeDelegate(listener, &CTestNode::OnProp));
    node->Set(P_MEDIUM, 9);
    EXPECT_EQ(listener->propCalls.size(), 5u);

    // Unknown property ids are refused at registration.
    EXPECT_THROW(node->RegisterPropertyChangeDelegate(0x55009999, listener->PropDelegate()),
                 COrxLogicError);
}

TEST_F(ObjectModelTest, PropertyDelegatesOfSeveralListenersAndFreeFunctions) {
    static int freeCalls = 0;
    freeCalls = 0;
    PropertyChangeDelegate freeFn([](CScriptable*, PropId) { ++freeCalls; });
    CPort* port = Make<CPort>(project);
    CTestNode* a = NewNode();
    CTestNode* b = NewNode();
    port->RegisterPropertyChangeDelegate(PROP_PORT_ONLINE, a->PropDelegate());
    port->RegisterPropertyChangeDelegate(PROP_PORT_ONLINE, b->PropDelegate());
    port->RegisterPropertyChangeDelegate(PROP_PORT_ONLINE, freeFn);
    EXPECT_EQ(a->propCalls.back().value, "false");
    port->Set(PROP_PORT_ONLINE, true);
    EXPECT_EQ(a->propCalls.size(), 2u);
    EXPECT_EQ(b->propCalls.size(), 2u);
    EXPECT_EQ(freeCalls, 2);
    EXPECT_EQ(b->propCalls.back().value, "true");
    port->UnregisterPropertyChangeDelegate(PROP_PORT_ONLINE, a->PropDelegate());
    port->UnregisterPropertyChangeDelegate(PROP_PORT_ONLINE, PropertyChangeDelegate(freeFn));
    port->Set(PROP_PORT_ONLINE, false);
    EXPECT_EQ(a->propCalls.size(), 2u);
    EXPECT_EQ(b->propCalls.size(), 3u);
    EXPECT_EQ(freeCalls, 2);
}

TEST_F(ObjectModelTest, DestroyedListenerLeavesNoDanglingDelegate) {
    CTestNode* node = NewNode();
    CTestNode* listener = NewNode();
    node->RegisterPropertyChangeDelegate(P_SMALL, listener->PropDelegate());
    node->RegisterPropertyChangeDelegate(P_MEDIUM, listener->PropDelegate());
    node->RegisterRelationChangeDelegate(listener->RelDelegate());
    CScriptableCreator::Destroy(listener);  // never unregistered
    node->Set(P_SMALL, 1);
    node->Set(P_MEDIUM, 2);
    CTestNode* child = NewNode(node);  // a relation change of node
    child->SetParent(project);
    SUCCEED();
}

TEST_F(ObjectModelTest, DestroyedHolderLeavesNoTrackingBehind) {
    // The object holding the delegates goes first; destroying the listener later must not touch
    // it.
    CTestNode* node = NewNode();
    CTestNode* listener = NewNode();
    node->RegisterPropertyChangeDelegate(P_SMALL, listener->PropDelegate());
    node->RegisterRelationChangeDelegate(listener->RelDelegate());
    CScriptableCreator::Destroy(node);
    CScriptableCreator::Destroy(listener);
    // And a holder that listens to itself.
    CTestNode* self = NewNode();
    self->RegisterPropertyChangeDelegate(P_SMALL, self->PropDelegate());
    self->Set(P_SMALL, 3);
    EXPECT_EQ(self->propCalls.size(), 2u);
    CScriptableCreator::Destroy(self);
    SUCCEED();
}

TEST_F(ObjectModelTest, ListenerDestroyedDuringANotificationIsNotCalled) {
    CTestNode* node = NewNode();
    CTestNode* x = NewNode();
    CTestNode* y = NewNode();
    // Delegates run in the order of the objects they are bound to: the first one destroys the
    // second before its turn.
    CTestNode* first = std::less<CTestNode*>()(x, y) ? x : y;
    CTestNode* second = first == x ? y : x;
    node->RegisterPropertyChangeDelegate(P_SMALL, first->PropDelegate());
    node->RegisterPropertyChangeDelegate(P_SMALL, second->PropDelegate());
    int secondCalls = 0;
    second->onPropHook = [&] { ++secondCalls; };
    first->onPropHook = [&] {
        if (first->propCalls.size() == 2)
            CScriptableCreator::Destroy(second);
    };
    secondCalls = 0;
    node->Set(P_SMALL, 1);
    EXPECT_EQ(first->propCalls.size(), 2u);
    EXPECT_EQ(secondCalls, 0);
    node->Set(P_SMALL, 2);
    EXPECT_EQ(first->propCalls.size(), 3u);
}

// --- relations -----------------------------------------------------------------------------

TEST_F(ObjectModelTest, RelationDelegatesSeeBothEndsAndRemovalBeforeAddition) {
    CPort* port1 = Make<CPort>(project);
    CPort* port2 = Make<CPort>(project);
    CEmulatedDevice* device = Make<CEmulatedDevice>(project);
    CTestNode* listener = NewNode();
    device->RegisterRelationChangeDelegate(listener->RelDelegate());
    port1->RegisterRelationChangeDelegate(listener->RelDelegate());
    port2->RegisterRelationChangeDelegate(listener->RelDelegate());
    const RelationType fwd(DEVICE_TO_PORT, DIR_FORWARD);
    const RelationType bwd(DEVICE_TO_PORT, DIR_BACKWARD);

    device->AddObject(*port1, fwd);
    ASSERT_EQ(listener->relCalls.size(), 2u);
    EXPECT_EQ(listener->relCalls[0].source, device->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[0].related, port1->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[0].type, fwd);
    EXPECT_TRUE(listener->relCalls[0].added);
    EXPECT_EQ(listener->relCalls[1].source, port1->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[1].type, bwd);

    device->AddObject(*port1, fwd);  // already related: nothing happens
    EXPECT_EQ(listener->relCalls.size(), 2u);

    listener->relCalls.clear();
    device->SetObject(port2, fwd);
    ASSERT_EQ(listener->relCalls.size(), 4u);
    EXPECT_EQ(listener->relCalls[0].related, port1->GetObjectHandle());
    EXPECT_FALSE(listener->relCalls[0].added);
    EXPECT_FALSE(listener->relCalls[1].added);
    EXPECT_EQ(listener->relCalls[1].source, port1->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[2].related, port2->GetObjectHandle());
    EXPECT_TRUE(listener->relCalls[2].added);
    EXPECT_EQ(listener->relCalls[3].source, port2->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[3].type, bwd);
    EXPECT_EQ(device->GetObject(CPort::CLASS_ID(), fwd), port2);
    EXPECT_FALSE(device->HasRelation(*port1, fwd));

    // Seen from the port: SetObject replaces the port's devices, removal first.
    CEmulatedDevice* device2 = Make<CEmulatedDevice>(project);
    listener->relCalls.clear();
    port2->SetObject(device2, bwd);
    EXPECT_EQ(port2->GetObject(CEmulatedDevice::CLASS_ID(), bwd), device2);
    EXPECT_EQ(device->GetObject(CPort::CLASS_ID(), fwd), nullptr);
    EXPECT_EQ(device2->GetObject(CPort::CLASS_ID(), fwd), port2);
    ASSERT_EQ(listener->relCalls.size(), 3u);  // device2 has no delegate
    EXPECT_EQ(listener->relCalls[0].source, device->GetObjectHandle());
    EXPECT_FALSE(listener->relCalls[0].added);
    EXPECT_EQ(listener->relCalls[1].source, port2->GetObjectHandle());
    EXPECT_FALSE(listener->relCalls[1].added);
    EXPECT_EQ(listener->relCalls[2].source, port2->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[2].related, device2->GetObjectHandle());
    EXPECT_TRUE(listener->relCalls[2].added);

    device->AddObject(*port1, fwd);
    listener->relCalls.clear();
    device->SetObject(nullptr, fwd);
    EXPECT_EQ(device->GetObject(CPort::CLASS_ID(), fwd), nullptr);
    EXPECT_EQ(listener->relCalls.size(), 2u);

    device->UnregisterRelationChangeDelegate(MakeDelegate(listener, &CTestNode::OnRel));
    listener->relCalls.clear();
    device->AddObject(*port2, fwd);
    ASSERT_EQ(listener->relCalls.size(), 1u);  // port2's delegate only
    EXPECT_EQ(listener->relCalls[0].source, port2->GetObjectHandle());
}

TEST_F(ObjectModelTest, MovingToAnotherParentReportsRemovalFirst) {
    CPort* port1 = Make<CPort>(project);
    CPort* port2 = Make<CPort>(project);
    CProbe* probe = Make<CProbe>(port1);
    CTestNode* listener = NewNode();
    probe->RegisterRelationChangeDelegate(listener->RelDelegate());
    port1->RegisterRelationChangeDelegate(listener->RelDelegate());
    probe->SetParent(port2);
    ASSERT_EQ(listener->relCalls.size(), 3u);
    EXPECT_EQ(listener->relCalls[0].source, port1->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[0].type, RelationType(PARENT_CHILD, DIR_FORWARD));
    EXPECT_FALSE(listener->relCalls[0].added);
    EXPECT_EQ(listener->relCalls[1].source, probe->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[1].related, port1->GetObjectHandle());
    EXPECT_EQ(listener->relCalls[1].type, RelationType(PARENT_CHILD, DIR_BACKWARD));
    EXPECT_FALSE(listener->relCalls[1].added);
    EXPECT_EQ(listener->relCalls[2].related, port2->GetObjectHandle());
    EXPECT_TRUE(listener->relCalls[2].added);
    EXPECT_EQ(probe->GetParent(), port2);
    EXPECT_EQ(port1->GetObject(CProbe::CLASS_ID()), nullptr);

    // The same through AddObject over the parent-child relation.
    listener->relCalls.clear();
    port1->AddObject(*probe, RelationType(PARENT_CHILD));
    EXPECT_EQ(probe->GetParent(), port1);
    ASSERT_EQ(listener->relCalls.size(), 3u);
    EXPECT_FALSE(listener->relCalls[0].added);
    EXPECT_TRUE(listener->relCalls[1].added);
    EXPECT_TRUE(listener->relCalls[2].added);

    EXPECT_THROW(port1->SetParent(probe), COrxLogicError);
    EXPECT_THROW(probe->SetParent(probe), COrxLogicError);
    EXPECT_EQ(probe->GetParent(), port1);
}

TEST_F(ObjectModelTest, RelationsAreWalkableBothWaysByClassIdAndName) {
    CPort* port = Make<CPort>(project);
    CProbe* probe = Make<CProbe>(port);
    CTestNode* node1 = NewNode(port);
    CTestNode* node2 = NewNode(port);
    CEmulatedDevice* device = Make<CEmulatedDevice>(project);
    device->AddObject(*port, RelationType(DEVICE_TO_PORT));

    EXPECT_EQ(port->GetObject(CProbe::CLASS_ID()), probe);
    EXPECT_EQ(port->GetObject("Probe"), probe);
    EXPECT_EQ(port->GetObject("Scriptable"), probe);  // base class name
    EXPECT_EQ(port->GetObject(TEST_NODE), node1);
    EXPECT_EQ(port->GetObject(CEmulatedDevice::CLASS_ID()), nullptr);
    EXPECT_EQ(probe->GetObject(CPort::CLASS_ID(), RelationType(PARENT_CHILD, DIR_BACKWARD)), port);
    EXPECT_EQ(device->GetObject("Port", RelationType(DEVICE_TO_PORT)), port);
    EXPECT_EQ(port->GetObject("EmulatedDevice", RelationType(DEVICE_TO_PORT, DIR_BACKWARD)),
              device);
    EXPECT_EQ(
        port->GetObject(CEmulatedDevice::CLASS_ID(), RelationType(DEVICE_TO_PORT, DIR_BACKWARD)),
        device);

    ScriptableVec all;
    port->GetObjects(all);
    EXPECT_EQ(all, (ScriptableVec{probe, node1, node2}));
    std::vector<CTestNode*> nodes;
    port->GetObjects(nodes, TEST_NODE);
    EXPECT_EQ(nodes, (std::vector<CTestNode*>{node1, node2}));
    std::vector<CProbe*> probes;
    EXPECT_EQ(ErrorOf([&] { port->GetObjects(probes, ANY_CLASS_ID); }),
              "wrong type returned from GetObjects");

    // Deleted objects are skipped by the look-ups, not by the internal walk.
    node1->MarkDelete();
    EXPECT_EQ(port->GetObject(TEST_NODE), node2);
    all.clear();
    port->GetObjects(all, TEST_NODE);
    EXPECT_EQ(all, (ScriptableVec{node2}));
    all.clear();
    port->GetAllRelated(all, RelationType(PARENT_CHILD));
    EXPECT_EQ(all.size(), 3u);
    port->MarkDelete();
    EXPECT_EQ(device->GetObject(CPort::CLASS_ID(), RelationType(DEVICE_TO_PORT)), nullptr);
    EXPECT_EQ(probe->GetObject(CPort::CLASS_ID(), RelationType(PARENT_CHILD, DIR_BACKWARD)),
              nullptr);
    EXPECT_EQ(probe->GetParent(), port);
}

TEST_F(ObjectModelTest, DestroyingAnObjectDetachesItFromEveryRelation) {
    CPort* port = Make<CPort>(project);
    CEmulatedDevice* device = Make<CEmulatedDevice>(project);
    device->AddObject(*port, RelationType(DEVICE_TO_PORT));
    CProbe* probe = Make<CProbe>(port);
    Handle probeHandle = probe->GetObjectHandle();
    CScriptableCreator::Destroy(port);
    EXPECT_EQ(CHandleRegistry::Instance().Find(probeHandle), nullptr);
    EXPECT_EQ(device->GetObject(ANY_CLASS_ID, RelationType(DEVICE_TO_PORT)), nullptr);
    ScriptableVec children;
    project->GetAllRelated(children, RelationType(PARENT_CHILD));
    EXPECT_EQ(children, (ScriptableVec{device}));
}

// --- deletion, apply and states --------------------------------------------------------------

TEST_F(ObjectModelTest, MarkDeleteKeepsObjectsResolvableUntilTheApplyDestroysThem) {
    CPort* port = Make<CPort>(project);
    CTestNode* parent = NewNode(port);
    CTestNode* child = NewNode(parent);
    EXPECT_EQ(State(port), 2);
    ASSERT_TRUE(ProjectApply::Apply().ok);
    EXPECT_EQ(State(port), 0);
    EXPECT_EQ(State(child), 0);
    EXPECT_FALSE(project->IsObjectDirty(true));

    Handle hParent = parent->GetObjectHandle();
    Handle hChild = child->GetObjectHandle();
    parent->MarkDelete();
    // The hook runs before the descendants are marked.
    EXPECT_EQ(CTestNode::s_markDeleteOrder, (std::vector<Handle>{hParent, hChild}));
    EXPECT_TRUE(parent->IsDeleted());
    EXPECT_TRUE(child->IsDeleted());
    EXPECT_EQ(State(parent), 3);
    EXPECT_EQ(State(child), 3);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hParent), parent);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hChild), child);
    EXPECT_FALSE(port->IsObjectDirty(false));
    EXPECT_TRUE(port->IsObjectDirty(true));
    EXPECT_TRUE(project->IsObjectDirty(true));
    parent->MarkDelete();  // twice is once
    EXPECT_EQ(CTestNode::s_markDeleteOrder.size(), 2u);

    // Never applied: state 4.
    CTestNode* fresh = NewNode(port);
    Handle hFresh = fresh->GetObjectHandle();
    fresh->MarkDelete();
    EXPECT_EQ(State(fresh), 4);
    EXPECT_TRUE(fresh->IsDeleted());

    CTestNode* other = NewNode(port);
    other->Set(P_SMALL, 1);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Hooks::Get().applyCalls, 2);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hParent), nullptr);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hChild), nullptr);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hFresh), nullptr);
    EXPECT_EQ(State(port), 0);
    EXPECT_EQ(State(other), 0);
    EXPECT_FALSE(project->IsObjectDirty(true));
    ScriptableVec children;
    port->GetAllRelated(children, RelationType(PARENT_CHILD));
    EXPECT_EQ(children, (ScriptableVec{other}));

    // A clean object becomes modified by a property or relation change.
    other->Set(P_SMALL, 2);
    EXPECT_EQ(State(other), 1);
    EXPECT_TRUE(port->IsObjectDirty(true));
}

TEST_F(ObjectModelTest, FailingApplyHandlerCommitsOnlyTheReportedObjects) {
    CPort* port = Make<CPort>(project);
    CProbe* done = Make<CProbe>(port);
    CTestNode* doneChild = NewNode(done);
    CProbe* notDone = Make<CProbe>(port);
    CProbe* removedDone = Make<CProbe>(port);
    CProbe* removedNotDone = Make<CProbe>(port);
    ASSERT_TRUE(ProjectApply::Apply().ok);
    done->SetName("done");
    doneChild->Set(P_SMALL, 9);
    notDone->SetName("not done");
    removedDone->MarkDelete();
    removedNotDone->MarkDelete();
    Handle hRemovedDone = removedDone->GetObjectHandle();
    Handle hRemovedNotDone = removedNotDone->GetObjectHandle();

    Hooks::Get().apply = [&](ApplyContext& context) {
        context.AddProcessedObject(done, true);
        context.AddProcessedObject(removedDone, true);
        context.AddProcessedObject(notDone, false);  // not applied: not committed
        context.AddProcessedObject(nullptr, true);
        EXPECT_TRUE(context.WasProcessed(done->GetObjectHandle()));
        EXPECT_FALSE(context.WasProcessed(notDone->GetObjectHandle()));
        throw COrxRunTimeError("IL refused the configuration");
    };
    ApplyResult result = ProjectApply::Apply();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, "IL refused the configuration");
    EXPECT_EQ(State(done), 0);
    EXPECT_EQ(State(doneChild), 0);
    EXPECT_EQ(State(notDone), 1);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hRemovedDone), nullptr);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hRemovedNotDone), removedNotDone);
    EXPECT_EQ(State(removedNotDone), 3);
    EXPECT_TRUE(port->IsObjectDirty(true));

    // The next good apply commits the rest.
    Hooks::Get().apply = nullptr;
    ASSERT_TRUE(ProjectApply::Apply().ok);
    EXPECT_EQ(State(notDone), 0);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hRemovedNotDone), nullptr);
    EXPECT_FALSE(project->IsObjectDirty(true));
}

TEST_F(ObjectModelTest, ValidationErrorStopsTheApplyBeforeAnyHandler) {
    CPort* port = Make<CPort>(project);
    CProbe* probe = Make<CProbe>(port);
    probe->MarkDelete();
    Handle hProbe = probe->GetObjectHandle();
    Hooks::Get().validate = [](ValidationContext& context) {
        context.AddValidationWarning("here", "just a warning");
        context.AddValidationError("ValidatorTest.cpp:1", "port has no module");
    };
    ApplyResult result = ProjectApply::Apply();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(Hooks::Get().applyCalls, 0);
    ASSERT_EQ(result.messages.size(), 2u);
    EXPECT_FALSE(result.messages[0].isError);
    EXPECT_TRUE(result.messages[1].isError);
    EXPECT_EQ(result.messages[1].message, "port has no module");
    EXPECT_EQ(result.messages[1].source, "ValidatorTest.cpp:1");
    EXPECT_EQ(State(port), 2);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hProbe), probe);

    // A validator that raises fails the validation too; warnings alone do not.
    Hooks::Get().validate = [](ValidationContext&) { throw std::runtime_error("broken"); };
    result = ProjectApply::Apply();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(Hooks::Get().applyCalls, 0);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0].message, "TestValidator failed: broken");

    Hooks::Get().validate = [](ValidationContext& c) { c.AddValidationWarning("w", "warn"); };
    result = ProjectApply::Apply();
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(Hooks::Get().applyCalls, 1);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hProbe), nullptr);
}

TEST_F(ObjectModelTest, ActivatedStateFollowsOwnFlagAndAncestors) {
    CPort* port = Make<CPort>(project);
    CTestNode* parent = NewNode(port);
    CTestNode* child = NewNode(parent);
    EXPECT_EQ(child->GetActivatedState(), 0);
    child->SetActive(false);
    EXPECT_EQ(child->GetActivatedState(), 2);  // changed since the last apply
    ASSERT_TRUE(ProjectApply::Apply().ok);
    EXPECT_EQ(child->GetActivatedState(), 1);  // inactive
    child->SetActive(true);
    EXPECT_EQ(child->GetActivatedState(), 2);
    ASSERT_TRUE(ProjectApply::Apply().ok);
    EXPECT_EQ(child->GetActivatedState(), 0);
    parent->SetActive(false);
    EXPECT_EQ(child->GetActivatedState(), 1);  // an inactive ancestor wins
    EXPECT_EQ(parent->GetActivatedState(), 2);
    port->SetActive(false);
    parent->SetActive(true);
    EXPECT_EQ(child->GetActivatedState(), 1);
    child->SetActive(true);  // same value: no change recorded
    port->SetActive(true);
    ASSERT_TRUE(ProjectApply::Apply().ok);
    EXPECT_EQ(child->GetActivatedState(), 0);
}

TEST_F(ObjectModelTest, ProjectResetDestroysTheTestAndTellsListeners) {
    static int resets = 0;
    resets = 0;
    CProject::ResetDelegate d([] { ++resets; });
    CProject::RegisterOnProjectResetCompletedDelegate(d);
    CPort* port = Make<CPort>(project);
    Handle hPort = port->GetObjectHandle();
    CScriptable* module =
        CScriptableCreator::Create(CPhysicalTestModule::CLASS_ID(), &COrxSystem::Instance());
    Handle hModule = module->GetObjectHandle();
    COrxSystem::Instance().SetInSimulationMode(true);
    project->Reset();
    CProject::UnregisterOnProjectResetCompletedDelegate(d);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hPort), nullptr);
    EXPECT_EQ(CHandleRegistry::Instance().Find(hModule), nullptr);
    EXPECT_FALSE(COrxSystem::Instance().GetInSimulationMode());
    EXPECT_EQ(&CProject::Instance(), project);
    EXPECT_EQ(CHandleRegistry::Instance().Find(ORX_PROJECT_HANDLE), project);
    project->Reset();
    EXPECT_EQ(resets, 1);
}

}  // namespace
