// The responder container: parse caching, payloads, PDU positions and empty-field checks.
#include <gtest/gtest.h>

#include <orx/framework/Exceptions.h>
#include "TestContainer.h"

using namespace orx::responder;
using orx::framework::COrxRunTimeError;

namespace {

const char* const kEthIpUdp = R"(<frame>
  <pdu name="eth1" type="ethernet:EthernetII"/>
  <pdu name="ip1" type="ipv4:IPv4"><sourceAddr>10.0.0.1</sourceAddr></pdu>
  <pdu name="udp1" type="udp:Udp"><destPort>53</destPort></pdu>
</frame>)";

const char* const kWithPreamble = R"(<frame>
  <pdu name="eth1" type="ethernet:EthernetII"><preamble/><dstMac>00:10:94:00:00:02</dstMac></pdu>
  <pdu name="ip1" type="ipv4:IPv4"><sourceAddr>10.0.0.1</sourceAddr></pdu>
  <pdu name="udp1" type="udp:Udp"><destPort>53</destPort></pdu>
</frame>)";

TEST(ResponderContainer, ParsesOnDemandOnceAndAgainAfterTheTextChanges) {
    auto c = pdutest::MakeContainer(kEthIpUdp);
    EXPECT_FALSE(c->IsFrameParsed());
    EXPECT_FALSE(c->HasPreamble());  // not parsed yet: no PDUs to look at

    std::vector<uint8_t> payload;
    c->GetPayload(payload, false);
    EXPECT_TRUE(c->IsFrameParsed());
    EXPECT_EQ(payload.size(), 42u);
    const auto* first = c->GetPdus().front();
    std::vector<FieldInfo> infos;
    c->GetFieldInfo(infos);
    EXPECT_EQ(c->FindEmptyElements(), "");
    EXPECT_EQ(c->GetPdus().front(), first);  // the parse was reused

    c->SetName("renamed");  // another property: the parse stays
    EXPECT_TRUE(c->IsFrameParsed());

    c->SetFrameConfig(R"(<frame><pdu name="eth1" type="ethernet:EthernetII"/></frame>)");
    EXPECT_FALSE(c->IsFrameParsed());
    c->GetPayload(payload, false);
    EXPECT_EQ(payload.size(), 14u);
    EXPECT_EQ(c->GetPdus().size(), 1u);
}

TEST(ResponderContainer, AFailedParseLeavesNothingMarkedParsed) {
    auto c = pdutest::MakeContainer(kEthIpUdp);
    ASSERT_EQ(c->ParseFrameXml(), "");
    c->SetFrameConfig(
        "<frame>\n  <pdu name=\"ip1\" type=\"ipv4:IPv4\"><ttl>300</ttl></pdu>\n</frame>");
    const std::string error = c->ParseFrameXml();
    EXPECT_NE(error.find("line 2"), std::string::npos) << error;
    EXPECT_NE(error.find("<ttl>"), std::string::npos) << error;
    EXPECT_FALSE(c->IsFrameParsed());
    EXPECT_TRUE(c->GetPdus().empty());

    std::vector<uint8_t> payload;
    try {
        c->GetPayload(payload, false);
        FAIL() << "GetPayload built a frame from a description that does not parse";
    } catch (const COrxRunTimeError& e) {
        EXPECT_EQ(std::string(e.what()), error);
    }
    std::vector<FieldInfo> infos;
    EXPECT_THROW(c->GetFieldInfo(infos), COrxRunTimeError);
    EXPECT_TRUE(infos.empty());
    EXPECT_EQ(c->FindEmptyElements(), error);
    EXPECT_THROW(c->ConvertToTcpdumpFilter(), COrxRunTimeError);
}

TEST(ResponderContainer, APreambleIsLeftOutOfPayloadAndOffsets) {
    auto plain = pdutest::MakeContainer(kEthIpUdp);
    auto with = pdutest::MakeContainer(kWithPreamble);
    std::vector<uint8_t> payload;
    with->GetPayload(payload, true);
    EXPECT_TRUE(with->HasPreamble());
    ASSERT_EQ(payload.size(), 42u);
    EXPECT_EQ(std::vector<uint8_t>(payload.begin(), payload.begin() + 6),
              (std::vector<uint8_t>{0x00, 0x10, 0x94, 0x00, 0x00, 0x02}));

    for (auto* c : {plain.get(), with.get()}) {
        std::vector<FieldInfo> infos{{"kept", 1, 2}};  // appended to, not cleared
        EXPECT_EQ(c->GetFieldInfo(infos), 42u);
        ASSERT_EQ(infos.size(), 4u);
        EXPECT_EQ(infos[0].name, "kept");
        EXPECT_EQ(infos[1].name, "eth1");
        EXPECT_EQ(infos[1].offset, 0u);
        EXPECT_EQ(infos[1].length, 14u);
        EXPECT_EQ(infos[2].name, "ip1");
        EXPECT_EQ(infos[2].offset, 14u);
        EXPECT_EQ(infos[2].length, 20u);
        EXPECT_EQ(infos[3].offset, 34u);
        EXPECT_EQ(infos[3].length, 8u);
    }
}

TEST(ResponderContainer, ProcessingFunctionsRunOnlyWhenAsked) {
    auto c = pdutest::MakeContainer(kEthIpUdp);
    std::vector<uint8_t> raw;
    std::vector<uint8_t> processed;
    c->GetPayload(raw, false);
    c->GetPayload(processed, true);
    ASSERT_EQ(raw.size(), processed.size());
    EXPECT_EQ(raw[24], 0);  // IPv4 header checksum as built
    EXPECT_EQ(raw[25], 0);
    EXPECT_NE(raw, processed);
    raw[24] = processed[24];
    raw[25] = processed[25];
    raw[40] = processed[40];  // UDP checksum
    raw[41] = processed[41];
    EXPECT_EQ(raw, processed);  // nothing else changes
}

TEST(ResponderContainer, TheBuildCheckAndItsPayloadFollowTheFrameText) {
    auto c = pdutest::MakeContainer(kEthIpUdp);
    std::vector<uint8_t> expected;
    std::vector<uint8_t> sent{0xff};
    EXPECT_EQ(c->CheckPayloadBuilds(), "");
    c->GetPayload(expected, true);
    c->GetProcessedPayload(sent);
    EXPECT_EQ(sent, expected);  // replaced, checksums included

    c->SetFrameConfig(kWithPreamble);
    EXPECT_EQ(c->CheckPayloadBuilds(), "");
    c->GetPayload(expected, true);
    c->GetProcessedPayload(sent);
    EXPECT_EQ(sent, expected);
    EXPECT_EQ(std::vector<uint8_t>(sent.begin(), sent.begin() + 6),
              (std::vector<uint8_t>{0x00, 0x10, 0x94, 0x00, 0x00, 0x02}));

    // A text that does not parse is reported as such (again on each check: nothing is kept),
    // and parsed again once mended.
    c->SetFrameConfig("<frame><pdu name=\"ip1\" type=\"ipv4:IPv4\"><ttl>300</ttl></pdu></frame>");
    EXPECT_NE(c->CheckPayloadBuilds().find("<ttl>"), std::string::npos);
    EXPECT_NE(c->CheckPayloadBuilds().find("<ttl>"), std::string::npos);
    EXPECT_THROW(c->GetProcessedPayload(sent), COrxRunTimeError);
    c->SetFrameConfig(kEthIpUdp);
    EXPECT_EQ(c->CheckPayloadBuilds(), "");
    c->GetProcessedPayload(sent);
    EXPECT_EQ(sent.size(), 42u);
}

TEST(ResponderContainer, FindEmptyElementsNamesTheFirstFieldWithoutBits) {
    auto c = pdutest::MakeContainer(R"(<frame><pdu name="eth1" type="ethernet:EthernetII"/>
        <pdu name="ip1" type="ipv4:IPv4"/>
        <pdu name="icmp1" type="icmp:Icmp"><code>1</code><data>0x</data></pdu>
        <pdu name="c1" type="custom:Custom"><pattern>0x</pattern></pdu></frame>)");
    EXPECT_EQ(c->FindEmptyElements(),
              "Field icmp:Icmp.data defines no bits when generated and is invalid for filtering");
    c->SetFrameConfig(kEthIpUdp);
    EXPECT_EQ(c->FindEmptyElements(), "");
}

}  // namespace
