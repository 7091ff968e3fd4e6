// The plug-in's shell, linked directly: load-time activation, result bookkeeping and the
// result provider's path table.
#include <gtest/gtest.h>

#include <orx/core/HostClasses.h>
#include <orx/core/Results.h>
#include <orx/framework/MetaClass.h>
#include <orx/framework/ScriptableCreator.h>
#include "FrameResponseResultProviderHandler.h"
#include "ResponderResultsHandler.h"
#include "dynamicview/DynamicViewRegistry.h"
#include "init.h"

using namespace orx::framework;
using namespace orx::core;
using namespace orx::responder;

namespace {

TEST(PluginShell, DataModelIsActivatedOnceAtLoad) {
    auto& classes = CMetaClassManager::Instance();
    ASSERT_TRUE(classes.IsActivated(0x96000000))
        << (classes.GetActivationErrors().empty() ? std::string("no error recorded")
                                                  : classes.GetActivationErrors().back());
    int activations = classes.GetActivationCount();
    EXPECT_TRUE(InitAttributeBuilder());
    EXPECT_TRUE(InitAttributeBuilder());
    EXPECT_EQ(classes.GetActivationCount(), activations);
}

TEST(PluginShell, SubscriptionsAreKeptPerConfigurationClass) {
    auto& handler = CResponderResultsHandler::Instance();
    const ResultType probe(0x96002000, 0x96004000);
    const ResultType device(0x96003000, 0x96004000);
    handler.GetPagedHandler().ClearDirtySubscriptions();

    handler.MarkSubscriptionsDirty(0x96002000);  // nothing live: no call
    EXPECT_TRUE(handler.GetPagedHandler().GetDirtySubscriptions().empty());

    handler.RegisterSubscription(probe, 7);
    handler.RegisterSubscription(probe, 9);
    handler.RegisterSubscription(probe, 7);
    handler.RegisterSubscription(device, 11);
    handler.MarkSubscriptionsDirty(0x96002000);
    EXPECT_EQ(handler.GetPagedHandler().GetDirtySubscriptions(), (std::vector<uint32_t>{7, 9, 7}));

    handler.UnregisterSubscription(probe, 7);  // every occurrence goes
    EXPECT_EQ(handler.GetSubscriptions().at(0x96002000), (std::vector<uint32_t>{9}));
    handler.UnregisterSubscription(probe, 9);
    EXPECT_EQ(handler.GetSubscriptions().count(0x96002000), 0u);
    handler.UnregisterSubscription(probe, 42);  // never registered: nothing happens
    handler.UnregisterSubscription(device, 11);
    EXPECT_TRUE(handler.GetSubscriptions().empty());
    handler.GetPagedHandler().ClearDirtySubscriptions();
}

TEST(PluginShell, ProviderPathLeadsFromProbeConfigurationsUpToTheProject) {
    std::vector<RsaPathStep> path;
    EXPECT_TRUE(FrameResponseNodeRsaPathRetriever(0x96002000, path));
    EXPECT_TRUE(path.empty());

    EXPECT_TRUE(FrameResponseNodeRsaPathRetriever(CPort::CLASS_ID(), path));
    ASSERT_EQ(path.size(), 2u);
    EXPECT_EQ(path[0].second, CProbe::CLASS_ID());
    EXPECT_EQ(path[1].second, CPort::CLASS_ID());
    EXPECT_EQ(path[0].first, RelationType(1, 1));

    path.clear();
    EXPECT_TRUE(FrameResponseNodeRsaPathRetriever(CProject::CLASS_ID(), path));
    ASSERT_EQ(path.size(), 3u);
    EXPECT_EQ(path[2].second, CProject::CLASS_ID());

    path.clear();
    EXPECT_FALSE(FrameResponseNodeRsaPathRetriever(0x96003000, path));  // device configurations
    EXPECT_TRUE(path.empty());
}

TEST(PluginShell, AggregatePortsAndTheirMembersHaveNoResponderResults) {
    CProject& project = CProject::Instance();
    auto* plain = dynamic_cast<CPort*>(CScriptableCreator::Create(CPort::CLASS_ID(), &project));
    auto* aggregate = dynamic_cast<CPort*>(CScriptableCreator::Create(CPort::CLASS_ID(), &project));
    auto* member = dynamic_cast<CPort*>(CScriptableCreator::Create(CPort::CLASS_ID(), &project));
    ASSERT_TRUE(plain && aggregate && member);
    aggregate->Set(PROP_PORT_IS_PORT_SET, true);
    aggregate->AddObject(*member, RelationType(PORT_SET_MEMBER));

    CFrameResponseResultProviderHandler provider;
    EXPECT_TRUE(provider.IsPortApplicable(*plain));
    EXPECT_FALSE(provider.IsPortApplicable(*aggregate));
    EXPECT_FALSE(provider.IsPortApplicable(*member));
    project.Reset();
}

}  // namespace
