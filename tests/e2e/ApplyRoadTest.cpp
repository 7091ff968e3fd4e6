// The main road in one process: the plug-in loaded through the host's loader, a scenario, the
// host's validate-and-apply flow and real software test ports behind the in-process transport.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "IlWiring.h"
#include "RecordingTransport.h"
#include "orx/core/Apply.h"
#include "orx/core/HostClasses.h"
#include "orx/framework/HandleRegistry.h"
#include "orx/framework/Logger.h"
#include "orx/framework/PluginLoader.h"
#include "orx/il/IlServer.h"
#include "orx/scenario/ScenarioBuilder.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::scenario;

namespace {

class ApplyRoadTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        BLLLoggerFactory::GetInstance()->SetConsoleEnabled(false);
        std::string error;
        ASSERT_TRUE(PluginLoader::Instance().Load(ORX_PLUGIN_PATH, &error)) << error;
    }
    void TearDown() override { CProject::Instance().Reset(); }

    // Loads the scenario and puts a counting transport in front of each module's IL.
    std::vector<frhost::ModuleIl> Load(const std::string& json) {
        Scenario scenario =
            ScenarioLoader::LoadText(json, ORX_EXAMPLES_DIR "/scenarios", "road.json");
        std::vector<frhost::ModuleIl> ils = frhost::ConnectIls(scenario);
        for (auto& il : ils) {
            auto counting = std::make_shared<testsupport::RecordingTransport>(il.transport);
            counters.push_back(counting);
            auto* module =
                dynamic_cast<CPhysicalTestModule*>(CHandleRegistry::Instance().Find(il.module));
            module->SetIlTransport(counting);
        }
        return ils;
    }
    int Sent() const {
        int n = 0;
        for (const auto& c : counters)
            n += c->sent;
        return n;
    }

    std::vector<std::shared_ptr<testsupport::RecordingTransport>> counters;
};

std::string ReadExample(const std::string& name) {
    std::ifstream in(std::string(ORX_EXAMPLES_DIR) + "/" + name);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(ApplyRoadTest, TheExampleIsConfiguredOnceAndAnUnchangedReapplySendsNothing) {
    auto ils = Load(ReadExample("scenarios/arp-responder.json"));
    ASSERT_EQ(ils.size(), 1u);
    ApplyResult result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Sent(), 1);  // one ConfigResponder
    auto held = ils[0].il->Counters();
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(held[0].port, 0u);
    EXPECT_FALSE(held[0].running);

    result = ProjectApply::Apply();
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(Sent(), 1);
}

TEST_F(ApplyRoadTest, AFilterTheTestPortCannotCompileFailsTheApplyWithLibpcapsText) {
    auto ils = Load(R"({
      "modules": [{"name": "m", "equipment": "//127.0.0.1/1", "model": "SW",
                   "capabilities": {"supportsFrameResponder": true}}],
      "objects": [{"class": "Port", "name": "port1", "module": "m", "index": 0, "Online": true,
        "children": [{"class": "Probe", "name": "probe1", "children": [
          {"class": "ProbeFrameResponseConfig", "name": "bad", "Filter": "tcp port banana",
           "children": [{"class": "FrameResponseProfile", "TxPort": "@port1"}]}]},
          {"class": "Probe", "name": "probe2", "children": [
          {"class": "ProbeFrameResponseConfig", "name": "good", "Filter": "udp",
           "children": [{"class": "FrameResponseProfile", "TxPort": "@port1"}]}]}]}]})");
    ApplyResult result = ProjectApply::Apply();
    ASSERT_FALSE(result.ok);
    EXPECT_EQ(result.error.rfind("Port port1 Frame response on probe1: ", 0), 0u) << result.error;
    EXPECT_NE(result.error.find("banana"), std::string::npos) << result.error;
    // The good one is on the test port all the same.
    ASSERT_EQ(ils[0].il->Counters().size(), 1u);
}

}  // namespace
