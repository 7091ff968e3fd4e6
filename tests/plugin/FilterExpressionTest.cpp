// Frame descriptions turned into filter expressions: the named forms, the byte-match form and
// the cases that force it.
#include <gtest/gtest.h>

#include <orx/framework/Logger.h>
#include "ResponderCommon.h"
#include "TestContainer.h"

using namespace orx::responder;

namespace {

struct Case {
    const char* what;
    std::string frame;
    std::string expected;
};

std::string Eth(const std::string& fields = "") {
    return R"(<pdu name="eth1" type="ethernet:EthernetII">)" + fields + "</pdu>";
}
std::string Ip(const std::string& fields = "") {
    return R"(<pdu name="ip1" type="ipv4:IPv4">)" + fields + "</pdu>";
}
std::string Udp(const std::string& fields = "") {
    return R"(<pdu name="udp1" type="udp:Udp">)" + fields + "</pdu>";
}
std::string Frame(const std::string& pdus) {
    return "<frame>" + pdus + "</frame>";
}

const std::string kSrc = "<sourceAddr>10.0.0.1</sourceAddr>";
const std::string kOneTag = "<vlans><Vlan name=\"vlan1\"><id>100</id></Vlan></vlans>";
const std::string kOneBareTag = "<vlans><Vlan name=\"vlan1\"/></vlans>";
const std::string kTwoTags = "<vlans><Vlan/><Vlan/></vlans>";

std::string Convert(const std::string& frame) {
    return pdutest::MakeContainer(frame)->ConvertToTcpdumpFilter();
}

class WorkedExamples : public ::testing::TestWithParam<Case> {};

TEST_P(WorkedExamples, ProduceTheirExpression) {
    EXPECT_EQ(Convert(GetParam().frame), GetParam().expected) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Filter, WorkedExamples,
    ::testing::Values(
        Case{"named forms",
             Frame(Eth("<srcMac>02:00:00:00:00:01</srcMac>") + Ip(kSrc) +
                   Udp("<destPort>53</destPort>")),
             "ether src 02:00:00:00:00:01 and src host 10.0.0.1 and udp and dst port 53"},
        Case{"one tag with its id", Frame(Eth(kOneTag) + Ip(kSrc)),
             "vlan 100 and src host 10.0.0.1"},
        Case{"one tag, id not set: the bare vlan goes first", Frame(Eth(kOneBareTag) + Ip(kSrc)),
             "vlan and src host 10.0.0.1"},
        Case{"two tags force the byte form", Frame(Eth(kTwoTags) + Ip(kSrc)),
             "ether[34:4] = 0x0a000001"},
        Case{"an aligned byte without a named form", Frame(Eth() + Ip("<ttl>64</ttl>")),
             "ether[22] = 0x40"},
        Case{"12 bits at byte 14, pos 4",
             Frame(Eth("<vlans><Vlan><id>100</id></Vlan><Vlan/></vlans>") + Ip()),
             "ether[14:2] & 0x0fff = 0x0064"},
        Case{
            "24 bits read as 32",
            Frame(Eth("<vlans><Vlan/><Vlan/><Vlan/><Vlan/></vlans>") +
                  R"(<pdu name="c1" type="custom:Custom"><pattern>123456</pattern></pdu>)" + Udp()),
            "ether[30:4] & 0xffffff00 = 0x12345600"},
        Case{"a MAC address when forced",
             Frame(Eth("<srcMac>02:00:00:00:00:01</srcMac>") +
                   R"(<pdu name="eth2" type="ethernet:EthernetII"/>)"),
             "ether[6:2] = 0x0200 and ether[8:4] = 0x00000001"},
        Case{"a range", Frame(Eth() + Ip() + Udp(R"(<destPort lower="10" upper="20"/>)")),
             "ether[36:2] >= 0x000a and ether[36:2] <= 0x0014"}));

INSTANTIATE_TEST_SUITE_P(
    Edges, WorkedExamples,
    ::testing::Values(
        Case{"nothing set", Frame(Eth() + Ip()), ""},
        Case{"nothing set but one tag", Frame(Eth(kOneBareTag) + Ip()), "vlan"},
        Case{"two IPv4 headers force named fields too", Frame(Eth() + Ip(kSrc) + Ip()),
             "ether[26:4] = 0x0a000001"},
        Case{"IPv4 behind one tag is not moved",
             Frame(Eth(kOneBareTag) + Ip("<ttl>7</ttl>" + kSrc)),
             "vlan and ether[26] = 0x07 and src host 10.0.0.1"},
        Case{"a byte form on a tag field keeps the bare vlan first",
             Frame(Eth("<vlans><Vlan><pri>3</pri></Vlan></vlans>") + Ip(kSrc)),
             "vlan and ether[14] & 0xe0 = 0x60 and src host 10.0.0.1"},
        Case{"an IPv4 header moved by another header is forced",
             Frame(Eth() +
                   R"(<pdu name="c1" type="custom:Custom"><pattern>00000000</pattern></pdu>)" +
                   Ip(kSrc)),
             "ether[14:4] = 0x00000000 and ether[30:4] = 0x0a000001"},
        Case{"one tag and a header before IPv4: moved all the same",
             Frame(Eth(kOneBareTag) +
                   R"(<pdu name="c1" type="custom:Custom"><pattern>0000</pattern></pdu>)" +
                   Ip(kSrc)),
             "vlan and ether[18:2] = 0x0000 and ether[32:4] = 0x0a000001"},
        Case{"a range whose generated bits are zero writes no term",
             Frame(Eth("<srcMac>02:00:00:00:00:01</srcMac>") +
                   Ip(R"(<ttl lower="1" upper="5">0</ttl>)") + Udp("<destPort>53</destPort>")),
             "ether src 02:00:00:00:00:01 and udp and dst port 53"},
        Case{"only an empty term", Frame(Eth() + Ip(R"(<ttl lower="1" upper="5">0</ttl>)")), ""},
        Case{"a range with a value masks with the value's bits",
             Frame(Eth() + Ip(R"(<ttl lower="10" upper="20">15</ttl>)")),
             "ether[22] & 0x0f >= 0x0a and ether[22] & 0x0f <= 0x14"},
        Case{"equal bounds compare once", Frame(Eth() + Ip(R"(<ttl lower="9" upper="9"/>)")),
             "ether[22] = 0x09"},
        Case{"a 20-bit range",
             Frame(Eth() + R"(<pdu name="ip6" type="ipv6:IPv6">)"
                           R"(<flowLabel lower="10" upper="4096"/></pdu>)"),
             "ether[15:4] & 0x0fffff00 >= 0x00000a00 and ether[15:4] & 0x0fffff00 <= 0x00100000"},
        Case{"IPv6 and TCP named",
             Frame(Eth() +
                   R"(<pdu name="ip6" type="ipv6:IPv6"><destAddr>2001:0db8::0:5</destAddr></pdu>)"
                   R"(<pdu name="tcp1" type="tcp:Tcp"><sourcePort>80</sourcePort></pdu>)"),
             "dst host 2001:db8::5 and tcp and src port 80"},
        Case{"a named hex type", Frame(Eth("<etherType>0x86dd</etherType>")),
             "ether[12:2] = 0x86dd"},
        Case{"a field in the preamble writes no term",
             Frame(Eth("<preamble>55555555555555d5</preamble><srcMac>02:00:00:00:00:01</srcMac>") +
                   Ip("<ttl>64</ttl>")),
             "ether src 02:00:00:00:00:01 and ether[22] = 0x40"},
        Case{
            "three bytes at the frame's end are not read past it",
            Frame(Eth() + R"(<pdu name="c1" type="custom:Custom"><pattern>abcdef</pattern></pdu>)"),
            "ether[14:2] & 0xffff = 0xabcd and ether[16] & 0xff = 0xef"}));

TEST(FilterExpression, LogsEveryElementOnTheDeveloperLogger) {
    auto* factory = orx::framework::BLLLoggerFactory::GetInstance();
    std::vector<std::string> lines;
    const int id = factory->AddListener([&](const orx::framework::LogRecord& r) {
        if (r.logger == LOGGER_DEV && r.level == orx::framework::LOG_DEBUG)
            lines.push_back(r.text);
    });
    factory->SetLevel(LOGGER_DEV, orx::framework::LOG_DEBUG);
    const std::string expression =
        Convert(Frame(Eth() + Ip("<ttl>64</ttl>") + Ip(R"(<tos lower="1" upper="2"/>)")));
    factory->SetLevel(LOGGER_DEV, orx::framework::LOG_INFO);
    factory->RemoveListener(id);

    EXPECT_EQ(expression, "ether[22] = 0x40 and ether[35] >= 0x01 and ether[35] <= 0x02");
    const std::vector<std::string> expected = {
        "More than one header found for ipv4:IPv4",
        "IP Header was moved",
        "ipv4:IPv4.ttl: Offset: 22 Pos: 0 Force: 1 bytes: 1 (8 bits) = 64 (64[0x40]..64[0x40]) "
        "64[0xff] Mask: 0xff use: 1 got: 1",
        "ipv4:IPv4.tos: Offset: 35 Pos: 0 Force: 1 bytes: 1 (8 bits) = 255 (1[0x01]..2[0x02]) "
        "255[0xff] Mask: 0xff use: 0 got: 0",
    };
    EXPECT_EQ(lines, expected);
}

}  // namespace
