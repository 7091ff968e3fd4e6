// The scenario loader against the host's classes and a small model of typed test properties.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <orx/common/Convert.h>
#include <orx/core/Capabilities.h>
#include <orx/core/HostClasses.h>
#include <orx/core/PortSetUtils.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/MetaClass.h>
#include <orx/scenario/ScenarioBuilder.h>

namespace {

using namespace orx::core;
using namespace orx::scenario;
using namespace orx::framework;
namespace fs = std::filesystem;

constexpr PropId kTarget = 0x7e001001;
constexpr PropId kTargets = 0x7e001002;
constexpr PropId kDelay = 0x7e001003;
constexpr PropId kSigned = 0x7e001005;
constexpr PropId kRatio = 0x7e001006;
constexpr PropId kFlag = 0x7e001007;
constexpr PropId kNumbers = 0x7e001008;

// Typed properties of every kind, and a class whose initialisation fails like a faulty plug-in's.
constexpr const char* kTestModel = R"(<dataModel id="0x7e000000" name="scenario test">
  <class id="0x7e001000" name="Holder" base="PduContainer">
    <property id="0x7e001001" name="Target" type="handle" default="0"/>
    <property id="0x7e001002" name="Targets" type="handle" collection="true" default=""/>
    <property id="0x7e001003" name="Delay" type="u32" default="0"/>
    <property id="0x7e001004" name="Small" type="u16" default="0"/>
    <property id="0x7e001005" name="Signed" type="s8" default="0"/>
    <property id="0x7e001006" name="Ratio" type="double" default="0"/>
    <property id="0x7e001007" name="Flag" type="bool" default="false"/>
    <property id="0x7e001008" name="Numbers" type="u32" collection="true" default=""/>
  </class>
  <class id="0x7e002000" name="Refusing" base="Scriptable"/>
</dataModel>)";

class Refusing : public CScriptable {
  public:
    bool OnInit() override { throw COrxRunTimeError("refused by OnInit"); }
};

class ScenarioLoaderTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        auto& classes = CMetaClassManager::Instance();
        std::string error;
        ASSERT_TRUE(classes.LoadDataModel(kTestModel, "scenario test model", &error)) << error;
        classes.RegisterMakeDestroy(
            0x7e001000, +[]() -> CScriptable* { return new CScriptable(); },
            +[](CScriptable* o) { delete o; });
        classes.RegisterMakeDestroy(
            0x7e002000, +[]() -> CScriptable* { return new Refusing(); },
            +[](CScriptable* o) { delete o; });
    }
    void SetUp() override {
        CProject::Instance().Reset();
        // One directory per test: ctest runs the tests of this program side by side.
        m_dir = fs::path(::testing::TempDir()) /
                (std::string("scenario_loader_") +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir / "frames");
    }
    void TearDown() override {
        CProject::Instance().Reset();
        fs::remove_all(m_dir);
    }

    Scenario Load(const std::string& json) const {
        return ScenarioLoader::LoadText(json, m_dir.string(), "test.json");
    }

    // Loads a scenario that must fail, checks that nothing of it remains, returns the error.
    ScenarioError LoadFails(const std::string& json) const {
        const size_t before = CHandleRegistry::Instance().Count();
        const Handle firstNew = CHandleRegistry::Instance().GenerateHandle();
        const bool simulation = COrxSystem::Instance().GetInSimulationMode();
        try {
            Load(json);
        } catch (const ScenarioError& e) {
            EXPECT_EQ(CHandleRegistry::Instance().Count(), before) << e.what();
            EXPECT_EQ(COrxSystem::Instance().GetInSimulationMode(), simulation) << e.what();
            for (Handle h = firstNew; h < firstNew + 50; ++h) {
                EXPECT_FALSE(RcmDBMgr::Instance().GetDBValue("TestModule/" + std::to_string(h),
                                                             "TestModule/supportsFrameResponder"))
                    << "capability left behind by: " << e.what();
            }
            return e;
        }
        ADD_FAILURE() << "loaded: " << json;
        return ScenarioError("", "", "");
    }

    template <class T = CScriptable>
    T& Object(const Scenario& s, const std::string& name) const {
        CScriptable* o = CHandleRegistry::Instance().Find(s.FindObject(name));
        T* typed = dynamic_cast<T*>(o);
        if (!typed)
            throw std::runtime_error("no object " + name);
        return *typed;
    }

    fs::path m_dir;
};

TEST_F(ScenarioLoaderTest, BuildsModulesPortsAndObjectsInFileOrder) {
    Scenario s = Load(R"({
      "simulationMode": true,
      "modules": [
        {"name": "mod1", "equipment": "//10.0.0.1/1", "model": "SW-RESPONDER",
         "capabilities": {"supportsFrameResponder": true, "ports": 4, "family": "sw", "bare": null},
         "il": "tcp://frild.example:5555"},
        {"name": "mod2", "equipment": "//10.0.0.1/2"},
        {"name": "mod3", "il": {"endpoint": "tcp://10.0.0.2:47311",
                                "serverKey": "rq:rM>}U?@Lns47E1%kR.o@n%FcmmsL/@{H8]yf7"}}
      ],
      "objects": [
        {"class": "Port", "name": "port1", "module": "mod1", "index": 3, "Online": true,
         "children": [{"class": "Probe", "name": "probe1"}, {"class": "Probe", "name": "probe2"}]},
        {"class": "Port", "name": "port2", "module": "mod2", "index": 0},
        {"class": "Port", "name": "agg", "portSet": true, "members": ["@port1", "@port2"]},
        {"class": "EmulatedDevice", "name": "dev1", "port": "@port2", "DeviceCount": 10}
      ]})");

    EXPECT_TRUE(COrxSystem::Instance().GetInSimulationMode());
    ASSERT_EQ(s.modules.size(), 3u);
    EXPECT_EQ(s.modules[0].il.address, "tcp://frild.example:5555");
    EXPECT_EQ(s.modules[0].il.serverKey, "");
    EXPECT_EQ(s.modules[1].il.address, "inproc");
    EXPECT_EQ(s.modules[2].il.address, "tcp://10.0.0.2:47311");
    EXPECT_EQ(s.modules[2].il.serverKey, "rq:rM>}U?@Lns47E1%kR.o@n%FcmmsL/@{H8]yf7");
    auto* module =
        dynamic_cast<CPhysicalTestModule*>(CHandleRegistry::Instance().Find(s.modules[0].handle));
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(module->GetParent(), &COrxSystem::Instance());
    EXPECT_EQ(module->GetName(), "mod1");
    EXPECT_EQ(module->GetT<std::string>(PROP_TEST_MODULE_MODEL), "SW-RESPONDER");

    std::string key;
    ASSERT_TRUE(RcmKeyMgr::GetLookupKey(module->GetObjectHandle(), "TestModule", key));
    auto& db = RcmDBMgr::Instance();
    EXPECT_TRUE(db.GetDBValue(key, "TestModule/supportsFrameResponder")->GetBool());
    EXPECT_EQ(std::get<int64_t>(*db.GetDBValue(key, "TestModule/ports")->GetValue()), 4);
    EXPECT_EQ(std::get<std::string>(*db.GetDBValue(key, "TestModule/family")->GetValue()), "sw");
    EXPECT_FALSE(db.GetDBValue(key, "TestModule/bare")->HasValue());
    ASSERT_TRUE(RcmKeyMgr::GetLookupKey(s.modules[1].handle, "TestModule", key));
    EXPECT_EQ(db.GetDBValue(key, "TestModule/supportsFrameResponder"), nullptr);

    auto& port1 = Object<CPort>(s, "port1");
    EXPECT_EQ(port1.GetParent(), &CProject::Instance());
    EXPECT_TRUE(port1.GetOnline());
    EXPECT_EQ(port1.GetPortIndex(), 3u);
    ASSERT_NE(port1.GetPortGroup(), nullptr);
    EXPECT_EQ(port1.GetPortGroup()->GetTestModule(), module);
    EXPECT_EQ(port1.GetPortGroup()->GetEquipmentString(), "//10.0.0.1/1");
    EXPECT_FALSE(Object<CPort>(s, "port2").GetOnline());

    ScriptableVec children;
    port1.GetObjects(children, CProbe::CLASS_ID());
    ASSERT_EQ(children.size(), 2u);
    EXPECT_EQ(children[0]->GetName(), "probe1");
    EXPECT_EQ(children[1]->GetName(), "probe2");
    EXPECT_LT(port1.GetObjectHandle(), children[0]->GetObjectHandle());
    EXPECT_LT(children[1]->GetObjectHandle(), Object(s, "port2").GetObjectHandle());

    auto& agg = Object<CPort>(s, "agg");
    EXPECT_TRUE(PortSetUtils::IsPortSet(&agg));
    EXPECT_EQ(agg.GetPortGroup(), nullptr);
    EXPECT_TRUE(agg.HasRelation(port1, RelationType(PORT_SET_MEMBER)));
    EXPECT_TRUE(PortSetUtils::IsPortSetMember(&Object<CPort>(s, "port2")));

    auto& dev = Object(s, "dev1");
    EXPECT_EQ(dev.GetObject(CPort::CLASS_ID(), RelationType(DEVICE_TO_PORT)), &Object(s, "port2"));
    EXPECT_EQ(dev.GetT<uint32_t>(0x01170001), 10u);
    EXPECT_EQ(s.objects.size(), 6u);
}

TEST_F(ScenarioLoaderTest, TypesValuesByTheModelAndResolvesForwardReferences) {
    std::ofstream(m_dir / "frames" / "f.xml")
        << "<frame><pdu name=\"e\" type=\"ethernet:EthernetII\"/></frame>";
    Scenario s = Load(R"({"objects": [
        {"class": "Holder", "name": "h1", "Target": "@later", "Targets": ["@later", "@h1"],
         "Delay": "0x10", "Signed": -5, "Ratio": 2, "Flag": "true", "Numbers": [1, "2", 4294967295],
         "FrameConfig": {"file": "frames/f.xml"}, "Active": false},
        {"class": "Holder", "name": "h2", "FrameConfig": "<frame/>", "Ratio": 0.25, "Flag": true},
        {"class": "Port", "name": "later"}
      ]})");
    auto& h1 = Object(s, "h1");
    const Handle later = s.FindObject("later");
    EXPECT_EQ(h1.GetT<Handle>(kTarget), later);
    std::vector<Handle> targets;
    h1.GetCollection(kTargets, targets);
    EXPECT_EQ(targets, (std::vector<Handle>{later, h1.GetObjectHandle()}));
    EXPECT_EQ(h1.GetT<uint32_t>(kDelay), 16u);
    EXPECT_EQ(h1.GetT<int>(kSigned), -5);
    EXPECT_DOUBLE_EQ(h1.GetT<double>(kRatio), 2.0);
    EXPECT_TRUE(h1.GetT<bool>(kFlag));
    std::vector<uint32_t> numbers;
    h1.GetCollection(kNumbers, numbers);
    EXPECT_EQ(numbers, (std::vector<uint32_t>{1, 2, 4294967295u}));
    EXPECT_EQ(h1.GetT<std::string>(PROP_PDU_FRAME_CONFIG),
              "<frame><pdu name=\"e\" type=\"ethernet:EthernetII\"/></frame>");
    EXPECT_FALSE(h1.GetActive());
    auto& h2 = Object(s, "h2");
    EXPECT_EQ(h2.GetT<std::string>(PROP_PDU_FRAME_CONFIG), "<frame/>");
    EXPECT_DOUBLE_EQ(h2.GetT<double>(kRatio), 0.25);
}

TEST_F(ScenarioLoaderTest, EveryErrorNamesItsJsonPathAndLeavesNothingBehind) {
    struct Case {
        const char* json;
        const char* path;
        const char* reason;  // a part of the reason
    };
    // Each case builds a module with a capability and a port first, so that the undo is seen.
    const std::string head = R"({"simulationMode": true, "modules": [{"name": "mod1",
        "capabilities": {"supportsFrameResponder": true}}], "objects": [
        {"class": "Port", "name": "p", "module": "mod1", "index": 0, "children": [
          {"class": "Holder", "name": "h"}, )";
    const std::vector<Case> cases = {
        {R"({"class": "Holder", "Delay": "abc"}]}]})", "objects[0].children[1].Delay",
         "expected a u32 integer, got \"abc\""},
        {R"({"class": "Holder", "Delay": 1.5}]}]})", "objects[0].children[1].Delay",
         "expected a u32 integer, got 1.5"},
        {R"({"class": "Holder", "Delay": "10 "}]}]})", "objects[0].children[1].Delay",
         "expected a u32 integer"},
        {R"({"class": "Holder", "Small": 70000}]}]})", "objects[0].children[1].Small",
         "does not fit a u16"},
        {R"({"class": "Holder", "Flag": 1}]}]})", "objects[0].children[1].Flag",
         "expected a bool, got 1"},
        {R"({"class": "Holder", "Numbers": 5}]}]})", "objects[0].children[1].Numbers",
         "expected an array of u32 integer"},
        {R"({"class": "Holder", "Numbers": [1, -1]}]}]})", "objects[0].children[1].Numbers[1]",
         "negative"},
        {R"({"class": "Holder", "Target": "@nope"}]}]})", "objects[0].children[1].Target",
         "unknown reference \"@nope\""},
        {R"({"class": "Holder", "Targets": ["@h", 7]}]}]})", "objects[0].children[1].Targets[1]",
         "expected a reference \"@NAME\", got 7"},
        {R"({"class": "Holder", "FrameConfig": {"file": "frames/none.xml"}}]}]})",
         "objects[0].children[1].FrameConfig.file", "no such file"},
        {R"({"class": "Holder", "FrameConfig": {"path": "x"}}]}]})",
         "objects[0].children[1].FrameConfig", "{\"file\": PATH}"},
        {R"({"class": "Holder", "Colour": 1}]}]})", "objects[0].children[1].Colour",
         "unknown property \"Colour\" of class Holder"},
        {R"({"class": "Holder", "name": "h", "Target": "@h"}]}]})", "objects[0].children[1].Target",
         "ambiguous reference \"@h\": more than one object is named \"h\": "
         "objects[0].children[0] and objects[0].children[1]"},
        {R"({"class": "Refusing"}]}]})", "objects[0].children[1]", "refused by OnInit"},
        {R"({"class": "Foo"}]}]})", "objects[0].children[1]", "unknown class \"Foo\""},
        {R"({"class": "PduContainer"}]}]})", "objects[0].children[1]", "abstract"},
        {R"({"class": "PhysicalPort"}]}]})", "objects[0].children[1]", "modules"},
        {R"({"name": "x"}]}]})", "objects[0].children[1]", "needs a \"class\""},
        {R"({"class": "Probe"}]}, {"class": "Port", "module": "mod9", "index": 1}]})",
         "objects[1].module", "unknown module \"mod9\""},
        {R"({"class": "Probe"}]}, {"class": "Port", "module": "mod1", "index": 0}]})",
         "objects[1].index", "port 0 of module \"mod1\" is already used by objects[0]"},
        {R"({"class": "Probe"}]}, {"class": "Port", "module": "mod1", "index": -1}]})",
         "objects[1].index", "expected a port index"},
        {R"({"class": "Probe"}]}, {"class": "Port", "module": "mod1"}]})", "objects[1].module",
         "\"module\" needs \"index\""},
        {R"({"class": "Probe"}]}, {"class": "Port", "members": ["@p"]}]})", "objects[1].members",
         "portSet"},
        {R"({"class": "Probe"}]}, {"class": "Port", "portSet": true, "members": ["@h"]}]})",
         "objects[1].members[0]", "\"@h\" is a Holder, not a Port"},
        {R"({"class": "Probe"}]}, {"class": "EmulatedDevice", "port": "@h"}]})", "objects[1].port",
         "not a Port"},
        {R"({"class": "Probe"}]}, {"class": "Probe", "port": "@p"}]})", "objects[1].port",
         "unknown property \"port\" of class Probe"},
        {R"({"class": "Probe"}]}], "extra": 1})", "extra", "unknown key"},
        {R"({"class": "Probe", "Delay": 1, "Delay": 2}]}]})", "objects[0].children[1].Delay",
         "duplicate key"},
    };
    for (const Case& c : cases) {
        ScenarioError e = LoadFails(head + c.json);
        EXPECT_EQ(e.GetJsonPath(), c.path) << e.what();
        EXPECT_NE(e.GetReason().find(c.reason), std::string::npos) << e.what();
        EXPECT_EQ(e.GetSource(), "test.json");
        EXPECT_EQ(std::string(e.what()).rfind("test.json: " + std::string(c.path) + ": ", 0), 0u)
            << e.what();
    }
}

TEST_F(ScenarioLoaderTest, NamesMayRepeatButAReferenceMustNameOneObject) {
    // The usual shape: a profile called "reply" under each of several configurations.
    Scenario s = Load(R"({"objects": [
        {"class": "Port", "name": "port1", "children": [
          {"class": "Probe", "name": "probe", "children": [
            {"class": "Holder", "name": "reply", "Target": "@port2"},
            {"class": "Holder", "name": "reply", "Target": "@port1"}]}]},
        {"class": "Port", "name": "port2", "children": [
          {"class": "Probe", "name": "probe", "children": [
            {"class": "Holder", "name": "reply", "Targets": ["@port1", "@port2", "@only"]},
            {"class": "Holder", "name": "only"}]}]},
        {"class": "EmulatedDevice", "name": "dev", "port": "@port2"}
      ]})");
    EXPECT_EQ(s.objects.size(), 9u);
    std::vector<std::string> paths;
    std::vector<Handle> replies;
    for (auto [it, end] = s.objects.equal_range("reply"); it != end; ++it) {
        paths.push_back(it->second.path);
        replies.push_back(it->second.handle);
        EXPECT_EQ(CHandleRegistry::Instance().Find(it->second.handle)->GetName(), "reply");
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"objects[0].children[0].children[0]",
                                               "objects[0].children[0].children[1]",
                                               "objects[1].children[0].children[0]"}));
    const Handle port1 = s.FindObject("port1");
    const Handle port2 = s.FindObject("port2");
    auto& first = *CHandleRegistry::Instance().Find(replies[0]);
    EXPECT_EQ(first.GetT<Handle>(kTarget), port2);
    EXPECT_EQ(CHandleRegistry::Instance().Find(replies[1])->GetT<Handle>(kTarget), port1);
    std::vector<Handle> targets;
    CHandleRegistry::Instance().Find(replies[2])->GetCollection(kTargets, targets);
    EXPECT_EQ(targets, (std::vector<Handle>{port1, port2, s.FindObject("only")}));
    EXPECT_EQ(Object(s, "dev").GetObject(CPort::CLASS_ID(), RelationType(DEVICE_TO_PORT)),
              CHandleRegistry::Instance().Find(port2));
    EXPECT_EQ(s.FindObject("nobody"), NULL_HANDLE);

    // Looking a shared name up afterwards is refused the same way, naming every holder.
    try {
        s.FindObject("reply");
        ADD_FAILURE() << "FindObject picked one of three objects called \"reply\"";
    } catch (const ScenarioError& e) {
        EXPECT_EQ(e.GetReason(),
                  "more than one object is named \"reply\": "
                  "objects[0].children[0].children[0], "
                  "objects[0].children[0].children[1] and "
                  "objects[1].children[0].children[0]");
        EXPECT_EQ(e.GetSource(), "test.json");
    }
    CProject::Instance().Reset();

    // An ambiguous reference is refused wherever it stands; resolution happens after every object
    // exists, so a name given twice later in the file counts too.
    struct Case {
        const char* referrer;  // objects[0]
        const char* path;
    };
    const std::vector<Case> cases = {
        {R"({"class": "Holder", "Target": "@x"})", "objects[0].Target"},
        {R"({"class": "Holder", "Targets": ["@y", "@x"]})", "objects[0].Targets[1]"},
        {R"({"class": "Port", "portSet": true, "members": ["@x"]})", "objects[0].members[0]"},
        {R"({"class": "EmulatedDevice", "port": "@x"})", "objects[0].port"},
    };
    for (const Case& c : cases) {
        ScenarioError e = LoadFails(std::string(R"({"objects": [)") + c.referrer +
                                    R"(, {"class": "Port", "name": "x"},
            {"class": "Port", "name": "y", "children": [{"class": "Probe", "name": "x"}]}]})");
        EXPECT_EQ(e.GetJsonPath(), c.path) << e.what();
        EXPECT_EQ(e.GetReason(),
                  "ambiguous reference \"@x\": more than one object is named \"x\": "
                  "objects[1] and objects[2].children[0]")
            << e.what();
    }
}

TEST_F(ScenarioLoaderTest, DocumentAndModuleErrors) {
    struct Case {
        std::string json;
        const char* path;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"[]", "", "expected a JSON object"},
        {R"({"simulationMode": "yes"})", "simulationMode", "expected a bool"},
        {R"({"modules": {}})", "modules", "expected an array"},
        {R"({"modules": [{"equipment": "x"}]})", "modules[0]", "needs a \"name\""},
        {R"({"modules": [{"name": "a"}, {"name": "a"}]})", "modules[1].name", "duplicate module"},
        {R"({"modules": [{"name": "a", "il": "tcp://host"}]})", "modules[0].il", "tcp://HOST:PORT"},
        {R"({"modules": [{"name": "a", "il": "tcp://h:99999"}]})", "modules[0].il", "port number"},
        {R"({"modules": [{"name": "a", "il": "udp://h:1"}]})", "modules[0].il", "ZeroMQ endpoint"},
        {R"({"modules": [{"name": "a", "il": {"endpoint": "tcp://h"}}]})", "modules[0].il.endpoint",
         "tcp://HOST:PORT"},
        {R"({"modules": [{"name": "a", "il": {"serverKey": "x"}}]})", "modules[0].il.serverKey",
         "40 characters of Z85 text, got 1 characters"},
        {R"({"modules": [{"name": "a", "il": {"serverKey": "rq:rM>}U?@Lns47E1%kR.o@n%FcmmsL/@{H8]yf7"}}]})",
         "modules[0].il", "needs an \"endpoint\""},
        {R"({"modules": [{"name": "a", "il": {"endpoint": "ipc://x", "serverKey": "rq:rM>}U?@Lns47E1%kR.o@n%FcmmsL/@{H8]yf~"}}]})",
         "modules[0].il.serverKey", "'~' at position 40 is not a Z85 character"},
        {R"({"modules": [{"name": "a", "il": {"endpoint": "ipc://x", "serverKey": "#####>}U?@Lns47E1%kR.o@n%FcmmsL/@{H8]yf7"}}]})",
         "modules[0].il.serverKey", "characters 1 to 5 do not encode 4 bytes"},
        {R"({"modules": [{"name": "a", "il": {"endpoint": "inproc", "serverKey": "rq:rM>}U?@Lns47E1%kR.o@n%FcmmsL/@{H8]yf7"}}]})",
         "modules[0].il.serverKey", "needs a tcp:// or ipc:// endpoint"},
        {R"({"modules": [{"name": "a", "il": {"endpoint": "ipc://x", "key": "k"}}]})",
         "modules[0].il.key", "unknown il key (expected endpoint or serverKey)"},
        {R"({"modules": [{"name": "a", "il": 5}]})", "modules[0].il", "expected a string"},
        {R"({"modules": [{"name": "a", "capabilities": {"supportsFrameResponder": true}},
             {"name": "b", "capabilities": {"speed": 1.5}}]})",
         "modules[1].capabilities.speed", "expected a bool, an integer, a string or null"},
        {R"({"modules": [{"name": "a", "colour": "red"}]})", "modules[0].colour",
         "unknown module key"},
        // Beyond a double: the JSON library's own exception used to escape the loader.
        {R"({"modules": [{"name": "a", "capabilities": {"x": 1e999}}]})",
         "modules[0].capabilities.x", "JSON number out of range: '1e999'"},
        {R"({"objects": [1, -4e400]})", "objects[1]", "number out of range"},
    };
    for (const Case& c : cases) {
        ScenarioError e = LoadFails(c.json);
        EXPECT_EQ(e.GetJsonPath(), c.path) << e.what();
        EXPECT_NE(e.GetReason().find(c.reason), std::string::npos) << e.what();
    }

    std::string deep = R"({"objects": [)";
    for (int i = 0; i < 40; ++i)
        deep += R"({"class": "Probe", "children": [)";
    for (int i = 0; i < 40; ++i)
        deep += "]}";
    EXPECT_NE(LoadFails(deep + "]}").GetReason().find("nested deeper than"), std::string::npos);

    ScenarioError syntax = LoadFails("{\n  \"objects\": [\n    {\"class\": \"Port\",}\n  ]\n}");
    EXPECT_EQ(syntax.GetLine(), 3);
    EXPECT_EQ(syntax.GetColumn(), 22);
    EXPECT_EQ(std::string(syntax.what()).rfind("test.json:3:22: JSON syntax error", 0), 0u)
        << syntax.what();

    try {
        ScenarioLoader::LoadFile((m_dir / "absent.json").string());
        ADD_FAILURE() << "loaded a missing file";
    } catch (const ScenarioError& e) {
        EXPECT_NE(std::string(e.what()).find("absent.json: no such file"), std::string::npos);
    }
}

TEST_F(ScenarioLoaderTest, LoadFileResolvesFramesBesideTheScenario) {
    fs::create_directories(m_dir / "scenarios");
    std::ofstream(m_dir / "frames" / "r.xml") << "<frame/>";
    std::ofstream(m_dir / "scenarios" / "s.json")
        << R"({"objects": [{"class": "Holder", "name": "h", "FrameConfig": {"file": "../frames/r.xml"}}]})";
    Scenario s = ScenarioLoader::LoadFile((m_dir / "scenarios" / "s.json").string());
    EXPECT_EQ(Object(s, "h").GetT<std::string>(PROP_PDU_FRAME_CONFIG), "<frame/>");
    EXPECT_EQ(s.source, (m_dir / "scenarios" / "s.json").string());
}

}  // namespace

// A scenario, a property set from a string and a frame description read an integer text alike.
TEST_F(ScenarioLoaderTest, AnIntegerTextMeansTheSameInAScenarioAPropertyAndAFrameDescription) {
    for (const std::string text :
         {"010", "+7", "0x1F", "0XfF", "-1", " 5", "5 ", "0x", "1e3", ""}) {
        std::optional<uint64_t> fromJson;
        try {
            Scenario s = Load(R"({"objects": [{"class": "Holder", "name": "h", "Delay": ")" + text +
                              R"("}]})");
            fromJson = Object(s, "h").GetT<uint32_t>(kDelay);
        } catch (const ScenarioError&) {
        }
        CProject::Instance().Reset();

        std::optional<uint64_t> fromString;
        Scenario s = Load(R"({"objects": [{"class": "Holder", "name": "h"}]})");
        try {
            Object(s, "h").SetFromString(kDelay, text);
            fromString = Object(s, "h").GetT<uint32_t>(kDelay);
        } catch (const COrxRunTimeError&) {
        }
        CProject::Instance().Reset();

        std::optional<uint64_t> fromFrame;
        uint64_t value = 0;
        if (orx::common::ConvertToType(value, text))
            fromFrame = value;

        EXPECT_EQ(fromJson, fromString) << '"' << text << '"';
        EXPECT_EQ(fromJson, fromFrame) << '"' << text << '"';
    }
}
