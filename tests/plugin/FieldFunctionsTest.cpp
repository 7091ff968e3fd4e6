// The PDU field functions: element look-up and paths, masks, value bytes, byte-match terms.
#include <gtest/gtest.h>

#include <orx/framework/Exceptions.h>
#include "PduFieldFunctions.h"
#include "TestContainer.h"

using namespace orx::responder;
using orx::common::ConfigElement;
using orx::common::ConfigPdu;
using orx::common::PduFieldType;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes Mask(unsigned pos, unsigned length) {
    Bytes mask{0xAA};  // replaced, not appended to
    CalcMask(pos, length, mask);
    return mask;
}

Bytes Value(const std::string& text, PduFieldType type, unsigned pos, unsigned length) {
    Bytes out{0xAA};
    GetValueBytes(out, text, type, pos, length);
    return out;
}

TEST(CalcMask, CoversExactlyTheFieldBitsOverItsSpan) {
    EXPECT_EQ(Mask(0, 48), Bytes(6, 0xFF));
    EXPECT_EQ(Mask(4, 12), (Bytes{0x0F, 0xFF}));
    EXPECT_EQ(Mask(0, 3), (Bytes{0xE0}));
    EXPECT_EQ(Mask(3, 13), (Bytes{0x1F, 0xFF}));
    EXPECT_EQ(Mask(2, 3), (Bytes{0x38}));
    EXPECT_EQ(Mask(4, 8), (Bytes{0x0F, 0xF0}));  // at most 8 bits, across a byte boundary
    EXPECT_EQ(Mask(0, 0), Bytes{});
    EXPECT_EQ(Mask(7, 2), (Bytes{0x01, 0x80}));
}

TEST(GetValueBytes, PlacesTheValueOnTheFieldsLastBit) {
    EXPECT_EQ(Value("2", PduFieldType::Integer, 0, 3), (Bytes{0x40}));
    EXPECT_EQ(Value("100", PduFieldType::Integer, 4, 12), (Bytes{0x00, 0x64}));
    EXPECT_EQ(Value("010", PduFieldType::BitString, 0, 3), (Bytes{0x40}));
    EXPECT_EQ(Value("2048", PduFieldType::Integer, 0, 16), (Bytes{0x08, 0x00}));
    EXPECT_EQ(Value("02:00:00:00:00:01", PduFieldType::MacAddress, 3, 5),
              (Bytes{0x02, 0, 0, 0, 0, 0x01}));  // addresses ignore position and length
    EXPECT_EQ(Value("10.0.0.1", PduFieldType::Ipv4Address, 0, 32), (Bytes{10, 0, 0, 1}));
    EXPECT_EQ(Value("2001:db8::1", PduFieldType::Ipv6Address, 0, 128).size(), 16u);
    EXPECT_EQ(Value("abc", PduFieldType::HexString, 0, 24), (Bytes{0x00, 0xAB, 0xC0}));
}

TEST(GetValueBytes, EdgeTextsAndWidths) {
    EXPECT_EQ(Value("", PduFieldType::HexString, 0, 24), Bytes(3, 0));
    EXPECT_EQ(Value("0102030405", PduFieldType::HexString, 0, 16),
              (Bytes{1, 2, 3, 4, 5}));  // longer than the span: kept whole
    EXPECT_EQ(Value("1x1", PduFieldType::BitString, 0, 3), (Bytes{0xA0}));  // x counts as 0
    EXPECT_EQ(Value(" f", PduFieldType::HexString, 0, 8), (Bytes{0x0F}));   // as strtol reads
    EXPECT_EQ(Value("7", PduFieldType::NamedType, 0, 8), (Bytes{0x00}));    // unresolved: 0
    // Unsigned and cut to the field's width: no undefined shift, no bits outside the field.
    EXPECT_EQ(Value("300", PduFieldType::Integer, 0, 8), (Bytes{0x2C}));
    EXPECT_EQ(Value("-1", PduFieldType::Integer, 4, 12), (Bytes{0x0F, 0xFF}));
    EXPECT_EQ(Value("18446744073709551615", PduFieldType::Integer, 0, 64), Bytes(8, 0xFF));
    EXPECT_EQ(Value("18446744073709551615", PduFieldType::Integer, 1, 64),
              (Bytes{0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80}));
    Bytes wide(10, 0);
    wide[9] = 5;
    EXPECT_EQ(Value("5", PduFieldType::Integer, 0, 80), wide);  // zero bytes above the value
    EXPECT_THROW(Value("ten", PduFieldType::Integer, 0, 8), orx::framework::COrxRunTimeError);
    EXPECT_THROW(Value("10.0.0", PduFieldType::Ipv4Address, 0, 32),
                 orx::framework::COrxRunTimeError);
}

TEST(BytesToStr, LowercaseHexWithPrefixOrNothing) {
    EXPECT_EQ(BytesToStr({}), "");
    EXPECT_EQ(BytesToStr({0x0F, 0xFF}), "0x0fff");
    EXPECT_EQ(BytesToStr({0x00, 0xAB}), "0x00ab");
}

TEST(ConvertPduFieldToHexdumpField, KnowsTheWellKnownFieldsExactly) {
    EXPECT_EQ(ConvertPduFieldToHexdumpField("ethernet:EthernetII.srcMac"), "ether src");
    EXPECT_EQ(ConvertPduFieldToHexdumpField("ethernet:EthernetII/vlans/Vlan.id"), "vlan");
    EXPECT_EQ(ConvertPduFieldToHexdumpField("ipv6:IPv6.destAddr"), "dst host");
    EXPECT_EQ(ConvertPduFieldToHexdumpField("udp:Udp.destPort"), "udp and dst port");
    EXPECT_EQ(ConvertPduFieldToHexdumpField("tcp:Tcp.sourcePort"), "tcp and src port");
    EXPECT_EQ(ConvertPduFieldToHexdumpField("ipv4:ipv4.sourceAddr"), "");
    EXPECT_EQ(ConvertPduFieldToHexdumpField("ipv4:IPv4.ttl"), "");
    EXPECT_EQ(exprMap().size(), 11u);
}

TEST(FindAllConfigElements, FindsNestedPdusByTypeAndKeepsWhatItWasGiven) {
    auto container = pdutest::MakeContainer(
        R"(<frame><pdu name="eth1" type="ethernet:EthernetII">
             <vlans><Vlan name="outer"><id>10</id></Vlan><Vlan name="inner"/></vlans>
           </pdu></frame>)");
    ASSERT_EQ(container->ParseFrameXml(), "");
    ConfigPdu* eth = container->GetPdus().front();
    std::vector<ConfigElement*> found;
    EXPECT_TRUE(FindAllConfigElements(eth, "Vlan", found));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]->GetName(), "outer");
    EXPECT_EQ(found[1]->GetName(), "inner");

    EXPECT_TRUE(FindAllConfigElements(eth, "id", found));  // fields of both tags, appended
    EXPECT_EQ(found.size(), 4u);

    std::vector<ConfigElement*> none;
    EXPECT_FALSE(FindAllConfigElements(eth, "nothing", none));
    EXPECT_TRUE(none.empty());
    EXPECT_TRUE(FindAllConfigElements(eth, "nothing", found));  // non-empty on entry
    EXPECT_EQ(found.size(), 4u);

    // An element without a definition that is not a nested PDU goes by "Unknown".
    ConfigPdu bare(nullptr, nullptr, "bare");
    bare.AddElement(std::make_unique<ConfigElement>(nullptr, "own", orx::common::ELEMENT_FIELD));
    std::vector<ConfigElement*> unknown;
    EXPECT_TRUE(FindAllConfigElements(&bare, "Unknown", unknown));
    EXPECT_FALSE(FindAllConfigElements(&bare, "own", none));
}

TEST(GetAllOverriddenConfigElements, ListsSetFieldsWithTheirPaths) {
    auto unset = pdutest::MakeContainer(
        R"(<frame><pdu name="eth1" type="ethernet:EthernetII"><vlans><Vlan/></vlans></pdu>
             <pdu name="ip1" type="ipv4:IPv4"/></frame>)");
    ASSERT_EQ(unset->ParseFrameXml(), "");
    std::vector<PathElement> out;
    for (ConfigPdu* pdu : unset->GetPdus())
        GetAllOverriddenConfigElements(pdu, out, "");
    EXPECT_TRUE(out.empty());

    auto set = pdutest::MakeContainer(
        R"(<frame><pdu name="eth1" type="ethernet:EthernetII">
             <srcMac>02:00:00:00:00:01</srcMac><vlans><Vlan name="v"><id>100</id></Vlan></vlans>
           </pdu><pdu name="ip1" type="ipv4:IPv4"><ttl lower="1" upper="9"/>
             <sourceAddr>10.0.0.1</sourceAddr></pdu></frame>)");
    ASSERT_EQ(set->ParseFrameXml(), "");
    for (ConfigPdu* pdu : set->GetPdus())
        GetAllOverriddenConfigElements(pdu, out, "");
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0].path, "ethernet:EthernetII.srcMac");
    EXPECT_EQ(out[1].path, "ethernet:EthernetII/vlans/Vlan.id");
    EXPECT_EQ(out[1].element->GetValueText(), "100");
    EXPECT_EQ(out[2].path, "ipv4:IPv4.ttl");  // a range generates all ones: it is set
    EXPECT_EQ(out[2].element->GetKind(), orx::common::ELEMENT_RANGE);
    EXPECT_EQ(out[3].path, "ipv4:IPv4.sourceAddr");
}

TEST(WriteByteMatchPass, ChunksSkipsZeroMasksAndKeepsCutChunksMasked) {
    const Bytes full(6, 0xFF);
    const Bytes values{0x02, 0, 0, 0, 0, 0x01};
    EXPECT_EQ(WriteByteMatchPass({6, 64, false, 2, full}, "=", values),
              "ether[6:2] = 0x0200 and ether[8:4] = 0x00000001");

    const Bytes partlyZero{0, 0, 0xFF, 0, 0, 0};
    EXPECT_EQ(WriteByteMatchPass({6, 64, true, 2, partlyZero}, ">=", values),
              "ether[8:4] & 0xff000000 >= 0x00000001");
    EXPECT_EQ(WriteByteMatchPass({6, 64, true, 2, Bytes(6, 0)}, "=", values), "");

    // The match mask ends inside the last chunk: that chunk keeps its cut length and its mask.
    const Bytes cut(4, 0xFF);
    EXPECT_EQ(WriteByteMatchPass({6, 64, false, 2, cut}, "=", values),
              "ether[6:2] = 0x0200 and ether[8:2] & 0xffff = 0x0000");

    // Three bytes are read as four, unless that read would pass the frame's end.
    const Bytes three(3, 0xFF);
    const Bytes abc{0x12, 0x34, 0x56};
    EXPECT_EQ(WriteByteMatchPass({30, 64, false, 3, three}, "=", abc),
              "ether[30:4] & 0xffffff00 = 0x12345600");
    EXPECT_EQ(WriteByteMatchPass({30, 33, false, 3, three}, "=", abc),
              "ether[30:2] & 0xffff = 0x1234 and ether[32] & 0xff = 0x56");
}

}  // namespace
