// Scenario files read into their plain description, before (and without) any object is made;
// and IL endpoint descriptions turned into transports.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <orx/framework/HandleRegistry.h>
#include <orx/il/IlServer.h>
#include <orx/scenario/ScenarioBuilder.h>
#include <orx/scenario/ScenarioReader.h>
#include <orx/transport/IlTransportFactory.h>

namespace {

using namespace orx::scenario;
using Kind = ScenarioValue::Kind;

const char* const kKey = "rq:rM>}U?@Lns47E1%kR.o@n%FcmmsL/@{H8]yf7";

ScenarioDescription Read(const std::string& json) {
    return ScenarioReader::ReadText(json, "/scenarios", "test.json");
}

TEST(ScenarioReader, DescribesTheDocumentInFileOrderWithoutTheDataModel) {
    const size_t objectsBefore = orx::framework::CHandleRegistry::Instance().Count();
    // Classes and properties no data model knows: typing them is the builder's work.
    ScenarioDescription d = Read(R"({
      "description": "two modules",
      "simulationMode": true,
      "modules": [
        {"name": "m1", "il": {"endpoint": "tcp://frild:5555", "serverKey": ")" +
                                 std::string(kKey) + R"("},
         "capabilities": {"on": true, "speed": 100, "kind": "x", "flag": null}},
        {"name": "m2", "equipment": "//10.0.0.1/1", "model": "SIM"}
      ],
      "objects": [
        {"class": "NoSuchClass", "name": "a", "Zeta": 1, "Alpha": -2, "Ratio": 0.5,
         "List": ["@b", 7, [1]], "Frame": {"file": "f.xml"},
         "children": [{"class": "Other", "Text": "t"}]}
      ]})");
    EXPECT_EQ(orx::framework::CHandleRegistry::Instance().Count(), objectsBefore);

    EXPECT_EQ(d.source, "test.json");
    EXPECT_EQ(d.baseDirectory, "/scenarios");
    EXPECT_EQ(d.description, "two modules");
    ASSERT_TRUE(d.simulationMode.has_value());
    EXPECT_TRUE(*d.simulationMode);

    ASSERT_EQ(d.modules.size(), 2u);
    EXPECT_EQ(d.modules[0].il.address, "tcp://frild:5555");
    EXPECT_EQ(d.modules[0].il.serverKey, kKey);
    ASSERT_EQ(d.modules[0].capabilities.size(), 4u);
    EXPECT_EQ(d.modules[0].capabilities[0].second.kind, Kind::Bool);
    EXPECT_EQ(d.modules[0].capabilities[1].second.kind, Kind::Signed);
    EXPECT_EQ(d.modules[0].capabilities[1].second.signedValue, 100);
    EXPECT_EQ(d.modules[0].capabilities[2].second.text, "x");
    EXPECT_EQ(d.modules[0].capabilities[3].second.kind, Kind::Null);
    EXPECT_TRUE(d.modules[1].il.IsInProc());
    EXPECT_EQ(d.modules[1].equipment, "//10.0.0.1/1");
    EXPECT_EQ(d.modules[1].path, "modules[1]");

    ASSERT_EQ(d.objects.size(), 1u);
    const ObjectDescription& a = d.objects[0];
    EXPECT_EQ(a.className, "NoSuchClass");
    EXPECT_EQ(a.name, "a");
    std::vector<std::string> keys;
    for (const ScenarioAttribute& attribute : a.attributes)
        keys.push_back(attribute.key);
    EXPECT_EQ(keys, (std::vector<std::string>{"Zeta", "Alpha", "Ratio", "List", "Frame"}));
    EXPECT_EQ(a.Find("Zeta")->value.unsignedValue, 1u);
    EXPECT_EQ(a.Find("Alpha")->value.signedValue, -2);
    EXPECT_EQ(a.Find("Alpha")->path, "objects[0].Alpha");
    EXPECT_DOUBLE_EQ(a.Find("Ratio")->value.number, 0.5);
    const ScenarioValue& list = a.Find("List")->value;
    ASSERT_EQ(list.items.size(), 3u);
    EXPECT_TRUE(list.items[0].IsReference());
    EXPECT_EQ(list.items[2].shown, "an array");
    const ScenarioValue& frame = a.Find("Frame")->value;
    ASSERT_EQ(frame.members.size(), 1u);
    EXPECT_EQ(frame.members[0].key, "file");
    EXPECT_EQ(frame.members[0].value.text, "f.xml");
    ASSERT_EQ(a.children.size(), 1u);
    EXPECT_EQ(a.children[0].path, "objects[0].children[0]");

    // The builder is the one that refuses the class, at the same path.
    try {
        ScenarioBuilder::Build(d);
        ADD_FAILURE() << "built an unknown class";
    } catch (const ScenarioError& e) {
        EXPECT_EQ(e.GetJsonPath(), "objects[0]");
        EXPECT_NE(e.GetReason().find("unknown class \"NoSuchClass\""), std::string::npos);
    }
}

TEST(ScenarioReader, BadShapesNameTheirJsonPath) {
    struct Case {
        std::string json;
        const char* path;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {R"({"objects": [{"class": "P", "x": 1, "x": 2}]})", "objects[0].x", "duplicate key"},
        {R"({"colour": 1})", "colour", "unknown key"},
        {R"({"description": 3})", "description", "expected a string, got 3"},
        {R"({"objects": [{"name": "a"}]})", "objects[0]", "needs a \"class\""},
        {R"({"objects": [{"class": 7}]})", "objects[0].class", "expected a string, got 7"},
        {R"({"objects": [{"class": "P", "name": ""}]})", "objects[0].name", "cannot be empty"},
        {R"({"objects": [{"class": "P", "Name": "a"}]})", "objects[0].Name", "with \"name\""},
        {R"({"objects": [{"class": "P", "children": [{"class": "Q", "children": {}}]}]})",
         "objects[0].children[0].children", "expected an array, got an object"},
        {R"({"modules": [{"name": "m", "capabilities": {"": 1}}]})", "modules[0].capabilities.",
         "a capability needs a name"},
        {R"({"modules": [{"name": "m", "capabilities": {"big": 18446744073709551615}}]})",
         "modules[0].capabilities.big", "expected a bool, an integer, a string or null"},
        {R"({"modules": [{"name": "m", "il": "ipc://"}]})", "modules[0].il",
         "an ipc endpoint needs a path"},
        {R"({"modules": [{"name": "m", "il": "tcp://*:5555"}]})", "modules[0].il",
         "\"*\" is not a host to connect to"},
    };
    for (const Case& c : cases) {
        try {
            Read(c.json);
            ADD_FAILURE() << "read: " << c.json;
        } catch (const ScenarioError& e) {
            EXPECT_EQ(e.GetSource(), "test.json");
            EXPECT_EQ(e.GetJsonPath(), c.path) << e.what();
            EXPECT_NE(e.GetReason().find(c.reason), std::string::npos) << e.what();
        }
    }
}

TEST(IlEndpoint, TheFactoryMakesTheTransportItsDescriptionNames) {
    using namespace orx::transport;
    auto inproc = MakeIlTransport(IlEndpoint{}, {0, 3});
    ASSERT_TRUE(inproc.il);
    ASSERT_TRUE(inproc.transport);
    EXPECT_TRUE(inproc.il->Describe().empty());

    // ZeroMQ connects lazily: no daemon needs to be there.
    auto remote = MakeIlTransport(IlEndpoint{"ipc:///nonexistent/frild", ""}, {0});
    EXPECT_FALSE(remote.il);
    ASSERT_TRUE(remote.transport);
    EXPECT_EQ(remote.transport->Describe(), "ipc:///nonexistent/frild");

    struct Bad {
        IlEndpoint endpoint;
        const char* reason;
    };
    for (const Bad& b : std::vector<Bad>{
             {{"tcp://host", ""}, "tcp://HOST:PORT"},
             {{"udp://h:1", ""}, "ZeroMQ endpoint"},
             {{"inproc", kKey}, "needs a tcp:// or ipc:// endpoint"},
             {{"ipc://x", "short"}, "40 characters of Z85 text"},
         }) {
        try {
            MakeIlTransport(b.endpoint, {0});
            ADD_FAILURE() << "made a transport for " << b.endpoint.address;
        } catch (const std::runtime_error& e) {
            const std::string what = e.what();
            EXPECT_NE(what.find(b.endpoint.address), std::string::npos) << what;
            EXPECT_NE(what.find(b.reason), std::string::npos) << what;
        }
    }
}

}  // namespace
