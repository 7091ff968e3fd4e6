// The host's provider-based result views over the frame-response provider: configurations
// applied to a real in-process software test port, frames pushed through its ports, and the
// counters rolled up under probes, ports and the project.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>

#include <orx/core/Apply.h>
#include <orx/core/Capabilities.h>
#include <orx/core/HostClasses.h>
#include <orx/core/ResultViews.h>
#include <orx/core/Results.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/ScriptableCreator.h>
#include <orx/il/IlServer.h>
#include <orx/transport/InProcIlTransport.h>
#include "BaseFrameResponseConfig.h"
#include "DeviceFrameResponseConfig.h"
#include "FrameResponseProfile.h"
#include "FrameResponseResultProviderHandler.h"
#include "FrameResponseStartCommand.h"
#include "PluginTestModel.h"
#include "ProbeFrameResponseConfig.h"
#include "RecordingTransport.h"
#include "dynamicview/DynamicViewRegistry.h"
#include "init.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::responder;
using namespace plugintest;

namespace fs = std::filesystem;

namespace {

const char kProvider[] = "FrameResponseResultProvider";

// A directory of its own on the data-model search path, for description files of the tests.
const fs::path& TestDir() {
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / ("orx-views-" + std::to_string(getpid()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

std::string WriteFile(const std::string& name, const std::string& text) {
    fs::create_directories(TestDir());
    fs::path path = TestDir() / name;
    std::ofstream(path) << text;
    return path.string();
}

class RemoveTestDir : public ::testing::Environment {
  public:
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(TestDir(), ec);
    }
};
[[maybe_unused]] ::testing::Environment* const s_removeTestDir =
    ::testing::AddGlobalTestEnvironment(new RemoveTestDir);

std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const COrxRunTimeError& e) {
        return e.what();
    }
    ADD_FAILURE() << "expected a run-time error";
    return "";
}

// Padded to the 60-byte minimum into a buffer of that size from the start: growing the vector
// instead trips GCC 12's -Warray-bounds false positive at -O3.
std::vector<uint8_t> Padded(std::initializer_list<uint8_t> bytes) {
    std::vector<uint8_t> f(std::max<size_t>(bytes.size(), 60), 0);
    std::copy(bytes.begin(), bytes.end(), f.begin());
    return f;
}

std::vector<uint8_t> ArpFrame() {
    return Padded({0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x02, 0, 0, 0, 0,  1, 0x08, 0x06,
                   0x00, 0x01, 0x08, 0x00, 6,    4,    0x00, 1, 2, 0, 0,  0, 0,    1,
                   10,   0,    0,    1,    0,    0,    0,    0, 0, 0, 10, 0, 0,    2});
}

std::vector<uint8_t> UdpFrame() {
    return Padded({0x02, 0, 0, 0, 0, 2, 0x02, 0, 0, 0, 0, 1, 0x08, 0x00,
                   // IPv4, 28 bytes, UDP, 10.0.0.1 -> 10.0.0.2
                   0x45, 0, 0, 28, 0, 0, 0, 0, 64, 17, 0, 0, 10, 0, 0, 1, 10, 0, 0, 2,
                   // UDP 1234 -> 5678
                   0x04, 0xd2, 0x16, 0x2e, 0, 8, 0, 0});
}

class ResultViewsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        CMetaClassManager::Instance().AddDataModelPath(TestDir().string());
        auto& registry = CResultProviderRegistry::Instance();
        registry.RegisterResultProviderRegistration(MakeDelegate(&RegisterResultProvider));
        registry.RunRegistrations();
        // Providers over the same sources whose description files are wrong in two ways.
        WriteFile("NoSuchColumnProvider.xml", R"(<resultProvider name="NoSuchColumnProvider"
            msgSet="responder_1" ilTable="ResponderProfileResults" source="ProbeFrameResponseConfig">
              <column name="PrimaryHandle" ilColumn="PrimaryHandle" type="u64" key="true"/>
              <column name="Lost" ilColumn="LostFrameCount" type="u64"/>
            </resultProvider>)");
        if (!registry.GetProviders().count("NoSuchColumnProvider"))
            registry.RegisterResultProvider("NoSuchColumnProvider", "NoSuchColumnProvider.xml",
                                            new CFrameResponseResultProviderHandler());
        WriteFile("TwoKeysProvider.xml", R"(<resultProvider name="TwoKeysProvider"
            msgSet="responder_1" ilTable="ResponderProfileResults" source="ProbeFrameResponseConfig">
              <column name="PrimaryHandle" ilColumn="PrimaryHandle" type="u64" key="true"/>
              <column name="SecondaryHandle" ilColumn="SecondaryHandle" type="u64" key="true"/>
            </resultProvider>)");
        if (!registry.GetProviders().count("TwoKeysProvider"))
            registry.RegisterResultProvider("TwoKeysProvider", "TwoKeysProvider.xml",
                                            new CFrameResponseResultProviderHandler());
    }
    void SetUp() override {
        ResponderResourceRegisterer registerer;
        il = std::make_shared<orx::il::IlServer>(std::vector<uint16_t>{0, 1, 2});
        transport = std::make_shared<testsupport::RecordingTransport>(
            std::make_shared<orx::transport::InProcIlTransport>(il));
        auto* module = Make<CPhysicalTestModule>(&COrxSystem::Instance(), "mod1");
        module->Set(PROP_TEST_MODULE_MODEL, std::string("SW"));
        module->SetIlTransport(transport);
        std::string key;
        RcmKeyMgr::GetLookupKey(module->GetObjectHandle(), "TestModule", key);
        RcmDBMgr::Instance().SetDBValue(key, "TestModule/supportsFrameResponder", Capability(true));
        group = Make<CPhysicalPortGroup>(module);
        group->Set(PROP_PORT_GROUP_LOCATION, std::string("//10.0.0.1/1"));
        portA = MakePort("portA", group, 0, true);
        portB = MakePort("portB", group, 1, true);
        portC = MakePort("portC", group, 2, true);
    }
    void TearDown() override { CProject::Instance().Reset(); }

    // A probe configuration whose profiles each answer on the probe's own port.
    CProbeFrameResponseConfig* Config(CProbe* probe, const std::string& name,
                                      const std::string& filter, int profiles = 1) {
        auto* config = Make<CProbeFrameResponseConfig>(probe, name);
        config->Set(CBaseFrameResponseConfig::PROP_FILTER, filter);
        for (int i = 0; i < profiles; ++i) {
            auto* profile = Make<CFrameResponseProfile>(config, name + "-reply");
            profile->Set(CFrameResponseProfile::PROP_TX_PORT,
                         probe->GetParent()->GetObjectHandle());
        }
        return config;
    }
    void ApplyAndStart() {
        ApplyResult result = ProjectApply::Apply();
        ASSERT_TRUE(result.ok) << result.error;
        auto start = CScriptableCreator::CreateAPT<CFrameResponseStartCommand>();
        ASSERT_TRUE(start->Execute());
    }
    // Frames received on a port within one second of its clock.
    void Receive(uint16_t port, const std::vector<uint8_t>& frame, int count) {
        std::vector<orx::il::RxFrame> frames;
        for (int i = 0; i < count; ++i)
            frames.push_back({frame.data(), static_cast<uint32_t>(frame.size()),
                              1000000000 + (m_time[port]++) * 1000000});
        orx::il::TxBatch out;
        il->Engine(port)->Process(frames.data(), frames.size(), out);
    }
    ProviderView Build(const std::string& rootClass, const std::string& provider = kProvider) {
        transport->sent = 0;
        return CResultViews::Build(provider, rootClass);
    }

    std::shared_ptr<orx::il::IlServer> il;
    std::shared_ptr<testsupport::RecordingTransport> transport;
    CPhysicalPortGroup* group = nullptr;
    CPort* portA = nullptr;
    CPort* portB = nullptr;
    CPort* portC = nullptr;
    int64_t m_time[3] = {};
};

struct Expect {
    std::string name;
    size_t sources;
    std::vector<uint64_t> sums;
};

void ExpectRows(const ProviderView& view, const std::vector<Expect>& expected) {
    ASSERT_EQ(view.rows.size(), expected.size()) << view.rootClass;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(view.rows[i].name, expected[i].name) << view.rootClass << " row " << i;
        EXPECT_EQ(view.rows[i].sources, expected[i].sources) << expected[i].name;
        EXPECT_EQ(view.rows[i].sums, expected[i].sums) << expected[i].name;
        if (i) {
            EXPECT_LT(view.rows[i - 1].root, view.rows[i].root);
        }
    }
}

TEST_F(ResultViewsTest, CountersRollUpUnderProbesPortsAndTheProjectLeavingOutPortSets) {
    auto* probeA1 = Make<CProbe>(portA, "probeA1");
    Config(probeA1, "a1", "arp");
    auto* a2 = Config(probeA1, "a2", "udp", 2);
    auto* probeA2 = Make<CProbe>(portA, "probeA2");
    Config(probeA2, "a3", "icmp");
    Config(probeA2, "a4", "arp")->SetActive(false);
    auto* probeB = Make<CProbe>(portB, "probeB");
    Config(probeB, "b1", "arp");
    Make<CProbe>(portB, "emptyProbe");
    auto* probeC = Make<CProbe>(portC, "probeC");
    Config(probeC, "c1", "arp");
    auto* device = Make<CEmulatedDevice>(&CProject::Instance(), "dev");
    device->SetObject(portA, RelationType(DEVICE_TO_PORT));
    auto* d1 = Make<CDeviceFrameResponseConfig>(device, "d1");
    d1->Set(CBaseFrameResponseConfig::PROP_FILTER, std::string("arp"));
    Make<CFrameResponseProfile>(d1)->Set(CFrameResponseProfile::PROP_TX_PORT,
                                         portA->GetObjectHandle());
    ApplyAndStart();

    Receive(0, ArpFrame(), 3);
    Receive(0, UdpFrame(), 1);
    Receive(1, ArpFrame(), 2);
    Receive(2, ArpFrame(), 4);
    // Made an aggregate only now, so that it was applied and counts like the others.
    portC->Set(PROP_PORT_IS_PORT_SET, true);

    // Columns: matched, transmitted, rate. a1 3/3/3, a2 1/2/1, a3 nothing, b1 2/2/2.
    ProviderView probes = Build("Probe");
    EXPECT_EQ(probes.columns,
              (std::vector<std::string>{"MatchedRxFrameCount", "TxFrameCount", "RxFrameRate"}));
    ExpectRows(probes,
               {{"probeA1", 2, {4, 5, 4}}, {"probeA2", 1, {0, 0, 0}}, {"probeB", 1, {2, 2, 2}}});
    EXPECT_EQ(probes.rows[0].root, probeA1->GetObjectHandle());
    EXPECT_EQ(transport->sent.load(), 2);  // one request per port; none for the port set

    ExpectRows(Build("Port"), {{"portA", 3, {4, 5, 4}}, {"portB", 1, {2, 2, 2}}});
    ProviderView project = Build("Project");
    ExpectRows(project, {{CProject::Instance().GetName(), 4, {6, 7, 6}}});
    EXPECT_EQ(project.rows[0].root, ORX_PROJECT_HANDLE);
    ExpectRows(
        Build("ProbeFrameResponseConfig"),
        {{"a1", 1, {3, 3, 3}}, {"a2", 1, {1, 2, 1}}, {"a3", 1, {0, 0, 0}}, {"b1", 1, {2, 2, 2}}});

    // A member of a port set is left out as well.
    portC->Set(PROP_PORT_IS_PORT_SET, false);
    ExpectRows(Build("Port"),
               {{"portA", 3, {4, 5, 4}}, {"portB", 1, {2, 2, 2}}, {"portC", 1, {4, 4, 4}}});
    auto* aggregate = MakePort("aggregate", group, 3, true);
    aggregate->Set(PROP_PORT_IS_PORT_SET, true);
    aggregate->AddObject(*portB, RelationType(PORT_SET_MEMBER));
    ExpectRows(Build("Port"), {{"portA", 3, {4, 5, 4}}, {"portC", 1, {4, 4, 4}}});

    // Deleted configurations are gone from the view.
    aggregate->RemoveObject(*portB, RelationType(PORT_SET_MEMBER));
    a2->MarkDelete();
    ExpectRows(Build("Probe"), {{"probeA1", 1, {3, 3, 3}},
                                {"probeA2", 1, {0, 0, 0}},
                                {"probeB", 1, {2, 2, 2}},
                                {"probeC", 1, {4, 4, 4}}});
}

TEST_F(ResultViewsTest, ViewsThatCannotBeBuiltRaiseNamingWhatIsWrong) {
    auto* probe = Make<CProbe>(portA, "probeA");
    Config(probe, "a1", "arp");
    ApplyAndStart();

    std::string error = ErrorOf([&] { Build("DeviceFrameResponseConfig"); });
    EXPECT_EQ(error,
              "Result provider FrameResponseResultProvider cannot roll up under class "
              "DeviceFrameResponseConfig");
    error = ErrorOf([&] { Build("EmulatedDevice"); });
    EXPECT_NE(error.find("cannot roll up under class EmulatedDevice"), std::string::npos);
    error = ErrorOf([&] { Build("NoSuchClass"); });
    EXPECT_NE(error.find("no class named NoSuchClass"), std::string::npos) << error;

    error = ErrorOf([&] { Build("Port", "NoSuchProvider"); });
    EXPECT_NE(error.find("NoSuchProvider"), std::string::npos) << error;
    EXPECT_NE(error.find("FrameResponseResultProvider"), std::string::npos) << error;

    // The description file is read before anything is asked of an IL.
    error = ErrorOf([&] { Build("Port", "TwoKeysProvider"); });
    EXPECT_NE(error.find((TestDir() / "TwoKeysProvider.xml").string()), std::string::npos) << error;
    EXPECT_NE(error.find("two key columns"), std::string::npos) << error;
    EXPECT_EQ(transport->sent.load(), 0);

    // The IL refuses a column its table does not have.
    error = ErrorOf([&] { Build("Port", "NoSuchColumnProvider"); });
    EXPECT_NE(error.find("port portA"), std::string::npos) << error;
    EXPECT_NE(error.find("LostFrameCount"), std::string::npos) << error;

    // A port whose module has no IL.
    auto* bare = Make<CPhysicalTestModule>(&COrxSystem::Instance(), "bare");
    auto* bareGroup = Make<CPhysicalPortGroup>(bare);
    bareGroup->Set(PROP_PORT_GROUP_LOCATION, std::string("//10.0.0.2/1"));
    auto* lonely = MakePort("lonely", bareGroup, 0, true);
    Config(Make<CProbe>(lonely, "probeL"), "l1", "arp");
    error = ErrorOf([&] { Build("Project"); });
    EXPECT_NE(error.find("port lonely: the port has no IL"), std::string::npos) << error;
}

// Broken description files: the error names the file and what is wrong.
TEST(ResultViewsDescriptionTest, BrokenFilesAreRefusedNamingTheFileAndTheFault) {
    const std::string head =
        R"(<resultProvider name="P" msgSet="responder_1" ilTable="ResponderProfileResults" )"
        R"(source="ProbeFrameResponseConfig">)";
    const std::string key =
        R"(<column name="PrimaryHandle" ilColumn="PrimaryHandle" type="u64" key="true"/>)";
    const std::string count =
        R"(<column name="Matched" ilColumn="MatchedRxFrameCount" type="u64"/>)";
    struct Case {
        std::string file;
        std::string text;
        std::string fault;
    };
    const std::vector<Case> cases = {
        {"no-table.xml",
         R"(<resultProvider name="P" msgSet="responder_1" source="S">)" + key + count +
             "</resultProvider>",
         "<resultProvider> has no \"ilTable\" attribute"},
        {"no-key.xml", head + count + "</resultProvider>", "no key column"},
        {"two-keys.xml",
         head + key +
             R"(<column name="Secondary" ilColumn="SecondaryHandle" type="u64" key="true"/>)" +
             count + "</resultProvider>",
         "two key columns, PrimaryHandle and Secondary"},
        {"twice.xml", head + key + count + count + "</resultProvider>",
         "column Matched appears twice"},
        {"unknown.xml", head + key + count + "<view name=\"v\"/></resultProvider>",
         "unknown element <view>"},
        {"injection.xml",
         head + key + R"(<column name="M" ilColumn="1 FROM x; --" type="u64"/></resultProvider>)",
         "is not a plain name"},
        {"text-type.xml",
         head + key + R"(<column name="M" ilColumn="M" type="string"/></resultProvider>)",
         "unknown type \"string\""},
        {"truncated.xml", head + key, "XML error"},
    };
    for (const Case& c : cases) {
        const std::string path = WriteFile(c.file, c.text);
        std::string error = ErrorOf([&] { LoadProviderDescription(path); });
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(c.fault), std::string::npos) << c.file << ": " << error;
    }
    const std::string missing = (TestDir() / "missing.xml").string();
    EXPECT_NE(ErrorOf([&] { LoadProviderDescription(missing); }).find(missing + ": cannot be read"),
              std::string::npos);
}

}  // namespace
