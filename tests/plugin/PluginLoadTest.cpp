// Loads the built plug-in the way the host does and checks what its load and registration
// leave behind in the host.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <orx/core/Protocol.h>
#include <orx/core/Results.h>
#include <orx/framework/Logger.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/PluginLoader.h>
#include <orx/framework/Resources.h>

using namespace orx::framework;
using namespace orx::core;

namespace {

constexpr const char* kVersion = "Norvale_Quillbench_Version_String_Place_Holder_4.81.2726.0000";

struct Capture {
    std::vector<LogRecord> records;
    int id;
    Capture() {
        id = BLLLoggerFactory::GetInstance()->AddListener(
            [this](const LogRecord& r) { records.push_back(r); });
    }
    ~Capture() { BLLLoggerFactory::GetInstance()->RemoveListener(id); }
    int Count(const std::string& logger, const std::string& text, int level) const {
        int n = 0;
        for (const auto& r : records)
            n += r.logger == logger && r.text == text && r.level == level;
        return n;
    }
};

// The plug-in is loaded once per process, as in the host.
class PluginLoadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        capture = new Capture();
        std::string error;
        loaded = PluginLoader::Instance().Load(ORX_PLUGIN_PATH, &error);
        loadError = error;
        handle = dlopen(ORX_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
    }
    static void TearDownTestSuite() { delete capture; }

    static inline Capture* capture = nullptr;
    static inline bool loaded = false;
    static inline std::string loadError;
    static inline void* handle = nullptr;
};

TEST_F(PluginLoadTest, LoadsActivatesItsDataModelAndExportsOnlyItsEntryPoints) {
    ASSERT_TRUE(loaded) << loadError;
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(dlsym(handle, "PluginRegister"), nullptr);
    EXPECT_NE(dlsym(handle, "PluginUnregister"), nullptr);
    EXPECT_NE(dlsym(handle, "PluginVersion"), nullptr);
    EXPECT_EQ(dlsym(handle, "_ZN3orx9responder20InitAttributeBuilderEv"), nullptr);

    auto& classes = CMetaClassManager::Instance();
    EXPECT_TRUE(classes.IsActivated(0x96000000));
    const CMetaClass* probeConfig = classes.GetClass(0x96002000);
    ASSERT_NE(probeConfig, nullptr);
    EXPECT_EQ(probeConfig->GetName(), "ProbeFrameResponseConfig");
    EXPECT_EQ(probeConfig->GetClassId().GetPluginId(), 0x96000000u);
    EXPECT_TRUE(probeConfig->IsTypeOf(0x96001000));
    EXPECT_TRUE(probeConfig->IsTypeOf(0x01200000));  // carries a frame description
    ASSERT_NE(probeConfig->FindProperty("UseFrameConfigFilter"), nullptr);
    EXPECT_EQ(probeConfig->FindProperty("UseFrameConfigFilter")->GetId(), 0x96001002u);
    EXPECT_EQ(probeConfig->FindProperty("Active")->GetDefaultText(), "true");
    const CMetaClass* modifier = classes.GetClass("FrameResponseModifier");
    ASSERT_NE(modifier, nullptr);
    EXPECT_EQ(modifier->FindProperty(0x96005002)->GetDefaultText(), "16");
    const CMetaClass* command = classes.GetClass("FrameResponseStartCommand");
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->FindProperty("ConfigList")->GetDefaultValues().size(), 1u);
    EXPECT_TRUE(classes.GetClass("BaseFrameResponseConfig")->IsAbstract());
}

TEST_F(PluginLoadTest, RegistersItsMessagesInOrderAndLogsAtInfo) {
    ASSERT_TRUE(loaded) << loadError;
    std::vector<long> ids = CResourceManager::Instance().GetIds();
    std::vector<long> ours;
    for (long id : ids) {
        if ((id & 0xFF000000L) == 0x96000000L)
            ours.push_back(id);
    }
    const std::vector<long> expected = {0x96000000, 0x96000003, 0x96000004, 0x96000005,
                                        0x96000006, 0x96000007, 0x96000008, 0x96000009,
                                        0x9600000a, 0x9600000b, 0x9600000c, 0x9600000d};
    EXPECT_EQ(ours, expected);

    ResourceFormatter invalidFilter(0x96000005);
    invalidFilter << "probe1"
                  << "Filter is empty";
    EXPECT_EQ(invalidFilter.ToString(),
              "Auto Frame Response validation failed for probe1: Invalid filter Filter is empty");
    ResourceFormatter extends(0x9600000b);
    extends << "probe1" << 2u;
    EXPECT_EQ(extends.ToString(),
              "Auto Frame Response validation failed for probe1: Modifier definition extends 2 "
              "byte(s) beyond the end of the filter definition.");

    EXPECT_EQ(capture->Count("traffic.responder", "Registering Frame Responder", LOG_INFO), 1);
}

TEST_F(PluginLoadTest, RegistrationIsQuietWhenTheLoggerIsOffAndVersionIsOneText) {
    ASSERT_TRUE(loaded) << loadError;
    auto reg = reinterpret_cast<int (*)()>(dlsym(handle, "PluginRegister"));
    auto unreg = reinterpret_cast<int (*)()>(dlsym(handle, "PluginUnregister"));
    auto version = reinterpret_cast<const char* (*)()>(dlsym(handle, "PluginVersion"));
    ASSERT_TRUE(reg && unreg && version);

    BLLLoggerFactory::GetInstance()->SetLevel("traffic.responder", LOG_OFF);
    Capture quiet;
    EXPECT_EQ(reg(), 0);
    EXPECT_EQ(quiet.Count("traffic.responder", "Registering Frame Responder", LOG_INFO), 0);
    BLLLoggerFactory::GetInstance()->SetLevel("traffic.responder", LOG_INFO);
    // Registering again keeps one protocol.
    int responders = 0;
    for (CProtocol* p : CProtocolModule::Instance().GetProtocols())
        responders += p->GetName() == "Responder";
    EXPECT_EQ(responders, 1);

    const char* first = version();
    EXPECT_EQ(first, version());
    EXPECT_STREQ(first, kVersion);
    ASSERT_EQ(PluginLoader::Instance().GetPlugins().size(), 1u);
    EXPECT_EQ(PluginLoader::Instance().GetPlugins()[0].version, kVersion);
    EXPECT_EQ(unreg(), 0);
    EXPECT_NE(CProtocolModule::Instance().FindProtocol("Responder"), nullptr);
}

TEST_F(PluginLoadTest, HandsTheHostItsProtocolResultHandlerAndProvider) {
    ASSERT_TRUE(loaded) << loadError;
    CProtocol* protocol = CProtocolModule::Instance().FindProtocol("Responder");
    ASSERT_NE(protocol, nullptr);
    EXPECT_EQ(protocol->GetId(), 2u);
    EXPECT_EQ(protocol->GetCategory(), "Traffic");
    EXPECT_EQ(protocol->GetCategoryStartPriority(), 2u);
    EXPECT_EQ(protocol->GetProtocolStartPriority(), 2u);
    EXPECT_EQ(protocol->GetProtocolTransmitOSILayer(), 2u);
    EXPECT_EQ(protocol->GetProtocolOperationOSILayer(), 2u);
    EXPECT_EQ(protocol->GetManagedProtocolConfigType(),
              (std::vector<uint32_t>{0x96002000, 0x96003000}));
    EXPECT_EQ(CProtocolModule::Instance().FindProtocolFor(0x96003000), protocol);

    bool found = false;
    for (const auto& h : CResultModule::Instance().GetHandlers()) {
        if (h->GetName() != "Frame Response Result Handler")
            continue;
        found = true;
        EXPECT_EQ(h->GetResultTypes().size(), 2u);
        EXPECT_EQ(h->GetResultTypes().count(ResultType(0x96002000, 0x96004000)), 1u);
        EXPECT_EQ(h->GetResultTypes().count(ResultType(0x96003000, 0x96004000)), 1u);
    }
    EXPECT_TRUE(found);
    EXPECT_FALSE(CCoreIlResultsNotificationManager::Instance()
                     .FindParser("responder_1.DoSQLNotifyFaster")
                     .empty());

    // The provider is registered only when the host asks for it.
    auto& registry = CResultProviderRegistry::Instance();
    EXPECT_FALSE(registry.GetRegistrations().empty());
    EXPECT_EQ(registry.GetProviders().count("FrameResponseResultProvider"), 0u);
    Capture capture;
    registry.RunRegistrations();
    ASSERT_EQ(registry.GetProviders().count("FrameResponseResultProvider"), 1u);
    const auto& provider = registry.GetProviders().at("FrameResponseResultProvider");
    EXPECT_EQ(provider.descriptionFile, "FrameResponseResultProvider.xml");
    EXPECT_EQ(provider.handler->GetMsgSetName(), "responder_1");
    ASSERT_EQ(registry.GetSourceHandlers().size(), 1u);
    EXPECT_EQ(registry.GetSourceHandlers()[0].sourceClass, "ProbeFrameResponseConfig");
    EXPECT_EQ(registry.GetSourceHandlers()[0].rootClass, "Port");
    EXPECT_EQ(
        capture.Count("traffic.responder", "Registering FrameResponseResultProvider", LOG_INFO), 1);
}

}  // namespace
