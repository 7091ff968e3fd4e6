#include <gtest/gtest.h>

#include <array>
#include <limits>
#include <string>
#include <vector>

#include "MsgsetTest.h"
#include "responder_1.h"

namespace {

using namespace responder_1_bll;
using msgsets_test::error_of;
using msgsets_test::layout;
using msgsets_test::over_wire;

std::vector<respConfig_s> sample_configs() {
    FrameResponseModifier_s mod{SET_VALUE, 6, {0xff, 0xff}, {0x02, 0x01}};
    respProfile_s with_mod{{1, 2, 3, 4}, 3, 250, {mod, mod}};
    respProfile_s plain{{}, 0, 0, {}};
    return {respConfig_s{0x1234, "src host 10.0.0.1", 0, {with_mod, plain}},
            respConfig_s{7, "arp", 9, {}}};
}

TEST(Responder1, ConfigResponderTravelsWithItsLayout) {
    const auto configs = sample_configs();
    Message m;
    create_req_ConfigResponder(&m, configs, true);
    EXPECT_EQ(m.get_request_name(), "responder_1.ConfigResponder");
    EXPECT_EQ(m.get_msg_type(), TMT_REQUEST);
    EXPECT_EQ(m.get_member_count(TMG_META), 0);

    Message back = over_wire(m);
    EXPECT_EQ(back.get_request_name(), "responder_1.ConfigResponder");
    EXPECT_EQ(layout(back), "configList:array");
    const Tm_struct* config =
        back.get_member_array(TMG_MEMBERS, "configList")->get_member_struct(0);
    EXPECT_EQ(layout(*config),
              "configHandle:uint32 filterExpr:string vifHandle:uint32 responseArray:array");
    const Tm_struct* profile = config->get_member_array("responseArray")->get_member_struct(0);
    EXPECT_EQ(layout(*profile),
              "payload:uint8[] portIndex:uint16 delay:uint32 modifierArray:array");
    EXPECT_EQ(layout(*profile->get_member_array("modifierArray")->get_member_struct(0)),
              "Opcode:uint16 Offset:uint32 Mask:uint8[] Value:uint8[]");

    std::vector<respConfig_s> read{respConfig_s{99, "old", 0, {}}};
    parse_req_ConfigResponder(&back, &read);
    EXPECT_EQ(read, configs);
}

// The builders put values in the message's own arena; the record conversions on their own use
// the heap. Both must give the same bytes, also when one message is built again and again.
TEST(Responder1, ArenaAndHeapBuiltRequestsEncodeAlike) {
    const auto configs = sample_configs();
    Message byHand;
    byHand.set_use_send_member_string(true);
    byHand.clear(TMG_MEMBERS);
    byHand.set_msg_type(TMT_REQUEST);
    byHand.set_request_name("responder_1.ConfigResponder");
    auto* catalog = byHand.get_send_member_string(TMG_MEMBERS);
    auto* list = new Tm_array();
    list->reserve(static_cast<int>(configs.size()));
    for (const auto& c : configs) {
        list->add_member_and_own(
            respConfig_t_to_struct(new Tm_prenamed_struct(catalog), &c, true, catalog));
    }
    byHand.add_member_and_own(TMG_MEMBERS, "configList", list);
    byHand.clear(TMG_META);
    byHand.create_send_member_string_meta();
    const std::vector<uint8_t> expected = msglib::encode(byHand);

    Message reused;
    for (int round = 0; round < 3; ++round) {
        create_req_ConfigResponder(&reused, configs, true);
        EXPECT_EQ(msglib::encode(reused), expected) << "round " << round;
    }
}

TEST(Responder1, EmptyListsGiveEmptyArrays) {
    Message m;
    create_req_ConfigResponder(&m, {}, true);
    Message back = over_wire(m);
    EXPECT_EQ(back.get_member_array(TMG_MEMBERS, "configList")->get_member_count(), 0);

    create_req_Stop(&m, {}, true);
    back = over_wire(m);
    EXPECT_EQ(layout(back), "handleList:uint32[]");
    EXPECT_EQ(back.get_member_array(TMG_MEMBERS, "handleList")->get_member_count(), 0);
}

TEST(Responder1, ConfigResponseReplacesTheErrorList) {
    Message resp;
    create_resp_ConfigResponder(&resp, {{5, "syntax error in filter"}}, true);
    Message back = over_wire(resp);
    EXPECT_EQ(layout(*back.get_member_array(TMG_MEMBERS, "errorList")->get_member_struct(0)),
              "configHandle:uint32 errorString:string");
    std::vector<errorMsg_s> errors{{1, "stale"}, {2, "stale"}};
    parse_resp_ConfigResponder(&back, &errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], (errorMsg_s{5, "syntax error in filter"}));

    create_resp_ConfigResponder(&resp, {}, true);
    back = over_wire(resp);
    parse_resp_ConfigResponder(&back, &errors);
    EXPECT_TRUE(errors.empty());
}

TEST(Responder1, ResponsesOfAnotherTypeAreRefused) {
    for (TMT type : {TMT_REQUEST, TMT_FAILED_RESPONSE}) {
        Message m;
        create_resp_ConfigResponder(&m, {{5, "x"}}, true);
        m.set_msg_type(type);
        Message back = over_wire(m);
        std::vector<errorMsg_s> errors{{1, "kept"}};
        try {
            parse_resp_ConfigResponder(&back, &errors);
            FAIL() << "accepted message type " << type;
        } catch (const Tm_type_mismatch_exception& e) {
            EXPECT_EQ(e.actual(), type);
            EXPECT_EQ(e.expected(), TMT_RESPONSE);
        }
        EXPECT_EQ(errors, (std::vector<errorMsg_s>{{1, "kept"}}));
        for (auto parse : {parse_resp_RemoveResponder, parse_resp_Start, parse_resp_Stop,
                           parse_resp_ClearResult}) {
            EXPECT_THROW(parse(&back), Tm_type_mismatch_exception);
        }
    }
}

TEST(Responder1, HandleListRequestsAndTheirAnswers) {
    struct Case {
        void (*create)(Message*, const std::vector<uint32_t>&, bool);
        void (*parse)(const Message*, std::vector<uint32_t>*);
        void (*answer)(Message*);
        void (*read_answer)(const Message*);
        const char* name;
    };
    const Case cases[] = {
        {create_req_RemoveResponder, parse_req_RemoveResponder, create_resp_RemoveResponder,
         parse_resp_RemoveResponder, "responder_1.RemoveResponder"},
        {create_req_Start, parse_req_Start, create_resp_Start, parse_resp_Start,
         "responder_1.Start"},
        {create_req_Stop, parse_req_Stop, create_resp_Stop, parse_resp_Stop, "responder_1.Stop"},
        {create_req_ClearResult, parse_req_ClearResult, create_resp_ClearResult,
         parse_resp_ClearResult, "responder_1.ClearResult"},
    };
    const std::vector<uint32_t> handles{3, 0xffffffffu, 17};
    for (const Case& c : cases) {
        Message m;
        c.create(&m, handles, true);
        Message back = over_wire(m);
        EXPECT_EQ(back.get_request_name(), c.name);
        EXPECT_EQ(layout(back), "handleList:uint32[]");
        std::vector<uint32_t> read{42};
        c.parse(&back, &read);
        EXPECT_EQ(read, handles);

        Message answer;
        c.answer(&answer);
        Message answer_back = over_wire(answer);
        EXPECT_EQ(answer_back.get_msg_type(), TMT_RESPONSE);
        EXPECT_EQ(answer_back.get_member_count(TMG_MEMBERS), 0);
        EXPECT_NO_THROW(c.read_answer(&answer_back));
    }
}

TEST(Responder1, CopyKeepsTheValuesOfTheMomentViewBorrowsTheVector) {
    std::vector<uint32_t> handles{1, 2};
    Message copied, borrowed;
    create_req_Start(&copied, handles, true);
    create_req_Start(&borrowed, handles, false);
    handles[0] = 100;
    std::vector<uint32_t> a, b;
    parse_req_Start(&copied, &a);
    parse_req_Start(&borrowed, &b);
    EXPECT_EQ(a, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(b, (std::vector<uint32_t>{100, 2}));

    auto configs = sample_configs();
    Message view;
    create_req_ConfigResponder(&view, configs, false);
    configs[0].responseArray[0].payload[0] = 0xee;
    std::vector<respConfig_s> read;
    parse_req_ConfigResponder(&view, &read);
    EXPECT_EQ(read[0].responseArray[0].payload[0], 0xee);
}

TEST(Responder1, RecordsConvertBothWays) {
    FrameResponseResults_s row{std::numeric_limits<uint64_t>::max(), 10, 9, 1ull << 40, 1234};
    EXPECT_EQ(msgsets_test::wire_layout(row, FrameResponseResults_t_to_struct),
              "PrimaryHandle:uint64 MatchedRxFrameCount:uint64 TxFrameCount:uint64 "
              "SecondaryHandle:uint64 RxFrameRate:uint32");
    EXPECT_EQ(msgsets_test::record_round_trip(row, FrameResponseResults_t_to_struct,
                                              FrameResponseResults_t_from_struct),
              row);
    errorMsg_s err{8, "no such port"};
    EXPECT_EQ(msgsets_test::record_round_trip(err, errorMsg_t_to_struct, errorMsg_t_from_struct),
              err);
    EXPECT_STREQ(respConfig_t_names[3], "responseArray");
    EXPECT_EQ(respConfig_t_names[4], nullptr);
    EXPECT_STREQ(tms_enum_to_string(16, em_EnumOperType), "SET_VALUE");
}

// An array whose announced count is larger than what it holds, as a faulty or hostile value
// could be: reading it must fail naming the member, before anything is reserved.
class Overstated : public Tm_array {
  public:
    explicit Overstated(int count) : count_(count) { add_member_and_own(new Tm_uint32(1)); }
    int get_member_count() const override { return count_; }

  private:
    int count_;
};

TEST(Responder1, BadCountsAreRefusedNamingTheMember) {
    for (int count : {std::numeric_limits<int>::max(), -1}) {
        Message m;
        m.add_member_and_own(TMG_MEMBERS, "handleList", new Overstated(count));
        std::vector<uint32_t> handles{5};
        const std::string text = error_of([&] { parse_req_Start(&m, &handles); });
        EXPECT_NE(text.find("'handleList'"), std::string::npos) << text;
        EXPECT_EQ(handles, std::vector<uint32_t>{5});
    }
    // Inside a record, the member is named with its record.
    Message m;
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* config = new Tm_struct(catalog);
    config->add_member("configHandle", 1u, catalog);
    config->add_member("filterExpr", "arp", catalog);
    config->add_member("vifHandle", 0u, catalog);
    config->add_member_and_own("responseArray", new Overstated(1 << 30), catalog);
    auto* list = new Tm_array;
    list->add_member_and_own(config);
    m.add_member_and_own(TMG_MEMBERS, "configList", list);
    std::vector<respConfig_s> configs;
    const std::string text = error_of([&] { parse_req_ConfigResponder(&m, &configs); });
    EXPECT_EQ(text,
              "member 'responseArray' of respConfig_s announces 1073741824 elements but holds 1");
}

TEST(Responder1, WrongKindsAndMissingMembersAreNamed) {
    Message m;
    create_req_ConfigResponder(&m, sample_configs(), true);
    Message back = over_wire(m);
    std::vector<uint32_t> handles;
    EXPECT_EQ(error_of([&] { parse_req_Start(&back, &handles); }),
              "message 'responder_1.ConfigResponder' has no member 'handleList'");

    // A payload sent as uint32 numbers is refused, not narrowed.
    Message odd;
    auto* catalog = odd.get_send_member_string(TMG_MEMBERS);
    auto* profile = new Tm_struct(catalog);
    std::vector<uint32_t> wide{1, 2};
    profile->add_member_and_own(
        "payload",
        new Tm_copy_backed_array<uint32_t, std::vector<uint32_t>::const_iterator>(wide.begin(), 2,
                                                                                  TMV_UINT32),
        catalog);
    odd.add_member_and_own(TMG_MEMBERS, "p", profile);
    respProfile_s out;
    try {
        respProfile_t_from_struct(odd.get_member_struct(TMG_MEMBERS, "p"), &out);
        FAIL() << "read uint32 payload as bytes";
    } catch (const Tm_type_mismatch_exception& e) {
        EXPECT_EQ(e.actual(), TMV_UINT32);
        EXPECT_EQ(e.expected(), TMV_UINT8);
        EXPECT_NE(std::string(e.what()).find("'payload' of respProfile_s"), std::string::npos);
    }
}

}  // namespace

// The compile-time check of member lists counts each kind of member a record holds as one, so
// that a list naming every member passes and one missing a member fails.
namespace arity_check {
struct Empty_s {};
struct Mixed_s {
    uint8_t small = 0;
    bool flag = false;
    std::string text;
    responder_1_bll::EnumOperType operation = responder_1_bll::SET_VALUE;
    std::vector<uint32_t> numbers;
    std::vector<std::string> texts;
    std::array<uint8_t, 6> mac{};
    responder_1_bll::errorMsg_s nested;
    std::vector<responder_1_bll::respProfile_s> records;
};
static_assert(msgsets::wire::member_count<Empty_s>() == 0);
static_assert(msgsets::wire::member_count<Mixed_s>() == 9);
static_assert(msgsets::wire::member_count<responder_1_bll::respConfig_s>() == 4);
static_assert(msgsets::wire::distinct({"a", "b", "c"}));
static_assert(!msgsets::wire::distinct({"a", "b", "a"}));
}  // namespace arity_check
