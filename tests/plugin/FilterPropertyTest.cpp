// Generated frame descriptions: each expression compiles with libpcap, matches a frame built
// from its own description, and rejects a frame that differs in one set field.
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdlib>
#include <random>
#include <sstream>

#include "TestContainer.h"

namespace {

enum class Kind { Int, Mac, Ip4, Ip6, Hex };

struct FieldChoice {
    const char* name;
    Kind kind;
    unsigned bits;
};

struct FieldGen {
    std::string name;
    Kind kind;
    unsigned bits;
    std::string value;  // the sample frame's value (inside the range when there is one)
    std::string lower;
    std::string upper;
    bool IsRange() const { return !lower.empty(); }
};

struct PduGen {
    std::string type;
    std::vector<FieldGen> fields;
    std::vector<std::vector<FieldGen>> vlans;
};

// Fields the generator sets. Fields that shape the frame (EtherType, lengths, protocol, header
// length, fragment offset) stay automatic, as in a description a user writes.
const std::vector<FieldChoice> kEthernet = {{"dstMac", Kind::Mac, 48}, {"srcMac", Kind::Mac, 48}};
const std::vector<FieldChoice> kVlan = {
    {"pri", Kind::Int, 3}, {"cfi", Kind::Int, 1}, {"id", Kind::Int, 12}};
const std::vector<FieldChoice> kIpv4 = {
    {"tos", Kind::Int, 8}, {"identification", Kind::Int, 16}, {"flags", Kind::Int, 3},
    {"ttl", Kind::Int, 8}, {"sourceAddr", Kind::Ip4, 32},     {"destAddr", Kind::Ip4, 32}};
const std::vector<FieldChoice> kIpv6 = {{"trafficClass", Kind::Int, 8},
                                        {"flowLabel", Kind::Int, 20},
                                        {"hopLimit", Kind::Int, 8},
                                        {"sourceAddr", Kind::Ip6, 128},
                                        {"destAddr", Kind::Ip6, 128}};
const std::vector<FieldChoice> kTcp = {{"sourcePort", Kind::Int, 16}, {"destPort", Kind::Int, 16},
                                       {"seqNum", Kind::Int, 32},     {"ackNum", Kind::Int, 32},
                                       {"flags", Kind::Int, 8},       {"window", Kind::Int, 16},
                                       {"urgentPtr", Kind::Int, 16}};
const std::vector<FieldChoice> kUdp = {{"sourcePort", Kind::Int, 16}, {"destPort", Kind::Int, 16}};
const std::vector<FieldChoice> kArp = {{"operation", Kind::Int, 16},
                                       {"senderHwAddr", Kind::Mac, 48},
                                       {"senderPAddr", Kind::Ip4, 32},
                                       {"targetHwAddr", Kind::Mac, 48},
                                       {"targetPAddr", Kind::Ip4, 32}};
const std::vector<FieldChoice> kIcmp = {{"type", Kind::Int, 8},
                                        {"code", Kind::Int, 8},
                                        {"identifier", Kind::Int, 16},
                                        {"sequenceNumber", Kind::Int, 16},
                                        {"data", Kind::Hex, 0}};

class Generator {
  public:
    explicit Generator(uint32_t seed) : m_rng(seed) {}

    std::vector<PduGen> Frame() {
        std::vector<PduGen> frame;
        PduGen eth{"ethernet:EthernetII", Fields(kEthernet), {}};
        const int tags = Pick(3);
        for (int i = 0; i < tags; ++i)
            eth.vlans.push_back(Fields(kVlan));
        frame.push_back(std::move(eth));
        const int l3 = Pick(10);
        if (l3 < 4) {
            frame.push_back({"ipv4:IPv4", Fields(kIpv4), {}});
            Transport(frame, true);
        } else if (l3 < 7) {
            frame.push_back({"ipv6:IPv6", Fields(kIpv6), {}});
            Transport(frame, false);
        } else if (l3 < 9) {
            frame.push_back({"arp:ARP", Fields(kArp), {}});
        }
        if (Pick(4) == 0)
            frame.push_back(Custom());
        return frame;
    }

    int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(m_rng); }
    uint64_t Bits(unsigned bits) {
        const uint64_t max = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
        return std::uniform_int_distribution<uint64_t>(0, max)(m_rng);
    }

    // A value of the field's kind; `differentFrom` forces a change.
    std::string Value(const FieldGen& f, const std::string& differentFrom = "") {
        for (;;) {
            std::string v =
                Draw(f.kind, f.bits, f.kind == Kind::Hex ? differentFrom.size() / 2 : 0);
            if (v != differentFrom)
                return v;
        }
    }

  private:
    std::string Draw(Kind kind, unsigned bits, size_t hexBytes) {
        char text[64];
        switch (kind) {
            case Kind::Int:
                return std::to_string(Bits(bits));
            case Kind::Mac: {
                std::string s;
                for (int i = 0; i < 6; ++i) {
                    std::snprintf(text, sizeof text, "%s%02x", i ? ":" : "", int(Bits(8)));
                    s += text;
                }
                return s;
            }
            case Kind::Ip4:
                return Dotted(static_cast<uint32_t>(Bits(32)));
            case Kind::Ip6: {
                std::string s;
                for (int i = 0; i < 8; ++i) {
                    std::snprintf(text, sizeof text, "%s%x", i ? ":" : "", unsigned(Bits(16)));
                    s += text;
                }
                return s;
            }
            case Kind::Hex: {
                const size_t n = hexBytes ? hexBytes : 1 + Pick(8);
                std::string s;
                for (size_t i = 0; i < n; ++i) {
                    std::snprintf(text, sizeof text, "%02x", int(Bits(8)));
                    s += text;
                }
                return s;
            }
        }
        return std::string();
    }

    static std::string Dotted(uint32_t v) {
        return std::to_string(v >> 24) + "." + std::to_string(v >> 16 & 0xFF) + "." +
               std::to_string(v >> 8 & 0xFF) + "." + std::to_string(v & 0xFF);
    }
    static uint32_t FromDotted(const std::string& s) {
        uint32_t v = 0;
        std::istringstream in(s);
        std::string part;
        while (std::getline(in, part, '.'))
            v = v << 8 | static_cast<uint32_t>(std::stoul(part));
        return v;
    }

    std::vector<FieldGen> Fields(const std::vector<FieldChoice>& choices) {
        std::vector<FieldGen> fields;
        for (const FieldChoice& c : choices) {
            const int roll = Pick(10);
            if (roll >= 4)
                continue;
            FieldGen f{c.name, c.kind, c.bits, "", "", ""};
            const bool rangeable = (c.kind == Kind::Int && c.bits <= 32) || c.kind == Kind::Ip4;
            if (roll == 0 && rangeable) {
                uint64_t a = Bits(c.bits);
                uint64_t b = Bits(c.bits);
                if (a > b)
                    std::swap(a, b);
                const uint64_t inside = std::uniform_int_distribution<uint64_t>(a, b)(m_rng);
                auto text = [&](uint64_t v) {
                    return c.kind == Kind::Ip4 ? Dotted(static_cast<uint32_t>(v))
                                               : std::to_string(v);
                };
                f.lower = text(a);
                f.upper = text(b);
                f.value = text(inside);
            } else {
                f.value = Value(f);
            }
            fields.push_back(std::move(f));
        }
        return fields;
    }

    void Transport(std::vector<PduGen>& frame, bool v4) {
        const int l4 = Pick(5);
        if (l4 == 0)
            frame.push_back({"tcp:Tcp", Fields(kTcp), {}});
        if (l4 == 1)
            frame.push_back({"udp:Udp", Fields(kUdp), {}});
        if (l4 == 2 && v4)
            frame.push_back({"icmp:Icmp", Fields(kIcmp), {}});
    }

    PduGen Custom() {
        FieldGen f{"pattern", Kind::Hex, 0, "", "", ""};
        f.value = Value(f);
        return {"custom:Custom", {f}, {}};
    }

    std::mt19937 m_rng;
};

void WriteFields(std::ostringstream& xml, const std::vector<FieldGen>& fields, bool asFilter) {
    for (const FieldGen& f : fields) {
        if (asFilter && f.IsRange()) {
            xml << "<" << f.name << " lower=\"" << f.lower << "\" upper=\"" << f.upper << "\"/>";
        } else {
            xml << "<" << f.name << ">" << f.value << "</" << f.name << ">";
        }
    }
}

// The filter description (ranges as ranges) or a sample frame's (ranges at their sample value).
std::string Xml(const std::vector<PduGen>& frame, bool asFilter) {
    std::ostringstream xml;
    xml << "<frame>";
    int index = 0;
    for (const PduGen& pdu : frame) {
        xml << "<pdu name=\"p" << ++index << "\" type=\"" << pdu.type << "\">";
        WriteFields(xml, pdu.fields, asFilter);
        if (!pdu.vlans.empty()) {
            xml << "<vlans>";
            for (const auto& tag : pdu.vlans) {
                xml << "<Vlan>";
                WriteFields(xml, tag, asFilter);
                xml << "</Vlan>";
            }
            xml << "</vlans>";
        }
        xml << "</pdu>";
    }
    xml << "</frame>";
    return xml.str();
}

std::vector<uint8_t> BuildFrame(const std::string& xml) {
    auto container = pdutest::MakeContainer(xml);
    std::vector<uint8_t> bytes;
    container->GetPayload(bytes, true);
    return bytes;
}

bool Matches(const bpf_program& program, const std::vector<uint8_t>& frame) {
    pcap_pkthdr header{};
    header.caplen = header.len = static_cast<bpf_u_int32>(frame.size());
    return pcap_offline_filter(&program, &header, frame.data()) != 0;
}

TEST(FilterProperty, GeneratedDescriptionsCompileAndMatchOnlyTheirOwnFrames) {
    uint32_t seed = 20240611;
    if (const char* env = std::getenv("PDULIB_PROPERTY_SEED"))
        seed = std::strtoul(env, nullptr, 10);
    const int count = 3000;
    Generator gen(seed);
    pcap_t* pcap = pcap_open_dead(DLT_EN10MB, 65535);
    ASSERT_NE(pcap, nullptr);
    int failures = 0;
    int negatives = 0;
    int vlanTerms = 0;
    for (int i = 0; i < count && failures < 5; ++i) {
        std::vector<PduGen> frame = gen.Frame();
        const std::string filterXml = Xml(frame, true);
        std::string expression;
        try {
            expression = pdutest::MakeContainer(filterXml)->ConvertToTcpdumpFilter();
        } catch (const std::exception& e) {
            ADD_FAILURE() << "seed " << seed << " #" << i << ": " << e.what() << "\n" << filterXml;
            ++failures;
            continue;
        }
        if (expression.rfind("vlan", 0) == 0)
            ++vlanTerms;
        bpf_program program{};
        if (pcap_compile(pcap, &program, expression.c_str(), 1, PCAP_NETMASK_UNKNOWN) != 0) {
            ADD_FAILURE() << "seed " << seed << " #" << i << ": '" << expression
                          << "' does not compile: " << pcap_geterr(pcap) << "\n"
                          << filterXml;
            ++failures;
            continue;
        }
        const std::vector<uint8_t> sample = BuildFrame(Xml(frame, false));
        if (!Matches(program, sample)) {
            ADD_FAILURE() << "seed " << seed << " #" << i << ": '" << expression
                          << "' does not match its own frame\n"
                          << Xml(frame, false);
            ++failures;
        }
        // Change one set field that is not a range: the frame must no longer match.
        std::vector<FieldGen*> exact;
        for (PduGen& pdu : frame) {
            for (FieldGen& f : pdu.fields) {
                if (!f.IsRange())
                    exact.push_back(&f);
            }
            for (auto& tag : pdu.vlans) {
                for (FieldGen& f : tag) {
                    if (!f.IsRange())
                        exact.push_back(&f);
                }
            }
        }
        if (!exact.empty()) {
            FieldGen& changed = *exact[gen.Pick(static_cast<int>(exact.size()))];
            const std::string before = changed.value;
            changed.value = gen.Value(changed, before);
            if (Matches(program, BuildFrame(Xml(frame, false)))) {
                ADD_FAILURE() << "seed " << seed << " #" << i << ": '" << expression
                              << "' matches a frame whose " << changed.name << " is "
                              << changed.value << " instead of " << before << "\n"
                              << filterXml;
                ++failures;
            }
            ++negatives;
        }
        pcap_freecode(&program);
    }
    pcap_close(pcap);
    EXPECT_GT(negatives, count / 2);
    EXPECT_GT(vlanTerms, 0);  // the generator does reach the single-tag case
}

}  // namespace
