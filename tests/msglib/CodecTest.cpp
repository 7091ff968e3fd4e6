#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <orx/msglib/Codec.h>

namespace {

using Bytes = std::vector<uint8_t>;

const char* const kProfileNames[] = {"payload", "portIndex", "delay", "modifierArray", nullptr};
const char* const kConfigNames[] = {"configHandle", "filterExpr", "vifHandle", "responseArray",
                                    nullptr};

std::string decode_error(const Bytes& b) {
    try {
        msglib::decode(b);
    } catch (const Tm_exception& e) {
        return e.what();
    }
    return "decoded";
}

template <class T>
Tm_packed_array* packed(std::vector<T> values) {
    return new Tm_packed_array(tm_simple_traits<T>::tmv, values.data(),
                               static_cast<int>(values.size()));
}

// A request shaped like a configure request: records in an array, nested records in arrays.
Message config_request(bool names_by_catalog, int records) {
    Message m;
    m.set_use_send_member_string(names_by_catalog);
    m.clear(TMG_MEMBERS);
    m.set_msg_type(TMT_REQUEST);
    m.set_request_name("responder_1.ConfigResponder");
    m.set_seq_num(77);
    m.set_destination(3);
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* list = new Tm_array;
    list->reserve(records);
    for (int r = 0; r < records; ++r) {
        auto* config = new Tm_prenamed_struct;
        config->clear(kConfigNames);
        config->add_member(0, static_cast<unsigned>(r), catalog);
        config->add_member(1, "src host 10.0.0.1", catalog);
        config->add_member(2, 0u, catalog);
        auto* profiles = new Tm_array;
        auto* profile = new Tm_prenamed_struct;
        profile->clear(kProfileNames);
        profile->add_member_and_own(0, packed<uint8_t>({1, 2, 3, uint8_t(r)}), catalog);
        profile->add_member(1, static_cast<unsigned short>(2), catalog);
        profile->add_member(2, 100u, catalog);
        profile->add_member_and_own(3, new Tm_array, catalog);
        profiles->add_member_and_own(profile);
        config->add_member_and_own(3, profiles, catalog);
        list->add_member_and_own(config);
    }
    m.add_member_and_own(TMG_MEMBERS, "configList", list);
    m.clear(TMG_META);
    m.create_send_member_string_meta();
    return m;
}

// One member of every kind, in two groups.
Message every_kind() {
    Message m;
    m.set_use_send_member_string(true);
    m.set_msg_type(TMT_FAILED_RESPONSE);
    m.set_request_name("x.All");
    m.set_seq_num(0xFFFFFFFF);
    const TMG g = TMG_MEMBERS;
    m.add_member(g, "i8", int8_t{-128});
    m.add_member(g, "u8", uint8_t{255});
    m.add_member(g, "i16", int16_t{-32768});
    m.add_member(g, "u16", uint16_t{65535});
    m.add_member(g, "i32", std::numeric_limits<int32_t>::min());
    m.add_member(g, "u32", 0xFFFFFFFFu);
    m.add_member(g, "i64", std::numeric_limits<int64_t>::min());
    m.add_member(g, "u64", std::numeric_limits<uint64_t>::max());
    m.add_member(g, "dbl", -0.25);
    m.add_member(g, "no", false);
    m.add_member(g, "str", std::string("with\0nul", 8));
    m.add_member(g, "bin", Tm_binary("\x00\xff", 2));
    m.add_member_and_own(g, "date", new Tm_date(1700000000123456));
    m.add_member_and_own(g, "file", new Tm_file("a.txt", {'h', 'i'}));
    Message inner;
    inner.set_request_name("inner");
    inner.add_member(TMG_MEMBERS, "n", 1u);
    m.add_member_and_own(g, "msg", new Tm_message_value(std::move(inner)));
    m.add_member(TMG_META, "meta", "kept");
    // Every simple type as a packed array, objects, empty arrays and a struct from a private
    // catalog (its names travel in full).
    auto* arrays = new Tm_array;
    arrays->add_member_and_own(packed<int8_t>({-1, 1}));
    arrays->add_member_and_own(packed<uint8_t>({0, 255}));
    arrays->add_member_and_own(packed<int16_t>({-2, 2}));
    arrays->add_member_and_own(packed<uint16_t>({3}));
    arrays->add_member_and_own(packed<int32_t>({-4}));
    arrays->add_member_and_own(packed<uint32_t>({}));
    arrays->add_member_and_own(packed<int64_t>({-6, 6}));
    arrays->add_member_and_own(packed<uint64_t>({7}));
    arrays->add_member_and_own(packed<double>({8.5}));
    auto* bools = new Tm_packed_array(TMV_BOOL);
    bools->add_member(true);
    bools->add_member(false);
    arrays->add_member_and_own(bools);
    arrays->add_member_and_own(new Tm_array);
    auto* mixed = new Tm_array;
    mixed->add_member(uint16_t{1});
    mixed->add_member("s");
    auto* own = new Tm_struct;
    own->add_member("private", true);
    mixed->add_member_and_own(own);
    arrays->add_member_and_own(mixed);
    m.add_member_and_own(g, "arrays", arrays);
    m.create_send_member_string_meta();
    return m;
}

class MsglibRoundTrip : public ::testing::TestWithParam<bool> {};

TEST_P(MsglibRoundTrip, KeepsEveryKindNameOrderAndEnvelope) {
    Message m = every_kind();
    m.set_use_send_member_string(GetParam());
    Message d = msglib::decode(msglib::encode(m));
    EXPECT_TRUE(d.equals(m));
    EXPECT_EQ(d.get_msg_type(), TMT_FAILED_RESPONSE);
    EXPECT_EQ(d.get_request_name(), "x.All");
    EXPECT_EQ(d.get_seq_num(), 0xFFFFFFFFu);
    EXPECT_EQ(d.get_destination(), Message::kNoDestination);
    EXPECT_EQ(d.get_member_name(TMG_MEMBERS, 2), "i16");
    EXPECT_EQ(d.get_member_string(TMG_META, "meta"), "kept");
    EXPECT_EQ(d.get_member_string(TMG_MEMBERS, "str").size(), 8u);
    EXPECT_EQ(d.get_member_uint64(TMG_MEMBERS, "u64"), std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(d.get_member_message(TMG_MEMBERS, "msg")->get_member_uint32(TMG_MEMBERS, "n"), 1u);
    const Tm_array* arrays = d.get_member_array(TMG_MEMBERS, "arrays");
    for (int t = TMV_INT8; t <= TMV_DOUBLE; ++t) {
        int tmv = -1, count = -1;
        EXPECT_NE(arrays->get_member_array(t)->contiguous_data(tmv, count), nullptr);
        EXPECT_EQ(tmv, t);
    }
    EXPECT_EQ(arrays->get_member_array(TMV_UINT32)->get_member_count(), 0);
    EXPECT_EQ(arrays->get_member_array(TMV_INT64)->get_member_int64(0), -6);
    EXPECT_TRUE(arrays->get_member_array(TMV_BOOL)->get_member_bool(0));
    const Tm_array* mixed = arrays->get_member_array(11);
    EXPECT_EQ(mixed->get_member_string(1), "s");
    EXPECT_TRUE(mixed->get_member_struct(2)->get_member_bool("private"));
    EXPECT_EQ(msglib::encode(d), msglib::encode(msglib::decode(msglib::encode(d))));
}

TEST_P(MsglibRoundTrip, NestedRecordsReadBackByName) {
    Message m = config_request(GetParam(), 3);
    Message d = msglib::decode(msglib::encode(m));
    ASSERT_TRUE(d.equals(m));
    const Tm_struct* c = d.get_member_array(TMG_MEMBERS, "configList")->get_member_struct(2);
    EXPECT_EQ(c->get_member_uint32("configHandle"), 2u);
    const Tm_struct* p = c->get_member_array("responseArray")->get_member_struct(0);
    EXPECT_EQ(p->get_member_uint16("portIndex"), 2);
    EXPECT_EQ(p->get_member_array("payload")->get_member_uint8(3), 2);
    EXPECT_EQ(p->get_member_array("modifierArray")->get_member_count(), 0);
    EXPECT_EQ(d.get_use_send_member_string(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(NamesByCatalogOrInline, MsglibRoundTrip, ::testing::Bool());

TEST(MsglibCodec, CatalogCarriesEachNameOnce) {
    auto occurrences = [](const Bytes& b, const std::string& s) {
        int n = 0;
        for (auto it = b.begin(); (it = std::search(it, b.end(), s.begin(), s.end())) != b.end();
             ++it) {
            ++n;
        }
        return n;
    };
    Bytes by_catalog = msglib::encode(config_request(true, 50));
    Bytes inline_names = msglib::encode(config_request(false, 50));
    EXPECT_EQ(occurrences(by_catalog, "portIndex"), 1);
    EXPECT_EQ(occurrences(inline_names, "portIndex"), 50);
    EXPECT_LT(by_catalog.size(), inline_names.size());
}

// Hand-made encodings: the envelope of an empty request, then groups.
Bytes envelope(uint8_t groups) {
    Bytes b = {'T', 'M', 'S', 'G', 1, 1, 0, 0, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0, groups};
    return b;
}
// Group 1 with catalog {"a"} and one member "a" whose value is value_bytes.
Bytes one_member(const Bytes& value_bytes) {
    Bytes b = envelope(1);
    Bytes g = {1, 1, 1, 'a', 1, 1};
    b.insert(b.end(), g.begin(), g.end());
    b.insert(b.end(), value_bytes.begin(), value_bytes.end());
    return b;
}

TEST(MsglibCodec, RefusesMalformedInputNamingWhatAndWhere) {
    // The hand-made form is what the encoder writes.
    Message u;
    u.set_use_send_member_string(true);
    u.add_member(TMG_MEMBERS, "a", 5u);
    ASSERT_EQ(msglib::encode(u), one_member({TMK_UINT32, 5, 0, 0, 0}));

    EXPECT_EQ(decode_error({}),
              "message decode: truncated input: magic needs 4 bytes, 0 left "
              "at byte offset 0");
    EXPECT_EQ(decode_error({'X', 'M', 'S', 'G', 1}),
              "message decode: bad magic (not a message) at byte offset 0");
    Bytes trailing = one_member({TMK_BOOL, 1, 0xAA, 0xBB});
    EXPECT_EQ(decode_error(trailing),
              "message decode: 2 trailing bytes after the message at byte offset 25");
    EXPECT_EQ(decode_error(one_member({99})),
              "message decode: unknown value tag 99 at byte offset 23");
    EXPECT_EQ(decode_error(one_member({TMK_BOOL, 2})),
              "message decode: bool value 2 is neither 0 nor 1 at byte offset 24");
    EXPECT_EQ(decode_error(one_member({TMK_ARRAY, 0xC0, 0x84, 0x3D})),  // 1,000,000 elements
              "message decode: array length 1000000 exceeds the remaining 0 bytes at byte "
              "offset 24");
    EXPECT_EQ(decode_error(one_member({msglib::kTagPackedArray, TMV_UINT32, 2, 1, 0, 0, 0})),
              "message decode: packed array length 2 exceeds the remaining 4 bytes at byte "
              "offset 25");
    EXPECT_EQ(decode_error(one_member({TMK_STRING, 0xff, 0xff, 0xff, 0xff, 0x7f})),
              "message decode: string length does not fit in 32 bits at byte offset 24");
    EXPECT_EQ(decode_error(one_member({msglib::kTagPackedArray, 12, 0})),
              "message decode: unknown packed element type 12 at byte offset 24");
    Bytes bad_ref = envelope(1);
    bad_ref.insert(bad_ref.end(), {1, 1, 1, 'a', 1, 2, TMK_BOOL, 0});
    EXPECT_EQ(decode_error(bad_ref),
              "message decode: member name index 1 is outside the catalog of 1 names at byte "
              "offset 22");
    Bytes dup = envelope(1);
    dup.insert(dup.end(), {1, 2, 1, 'a', 1, 'a', 0});
    EXPECT_EQ(decode_error(dup), "message decode: duplicate catalog name 'a' at byte offset 21");
    Bytes version = envelope(0);
    version[4] = 2;
    EXPECT_EQ(decode_error(version), "message decode: unsupported wire version 2 at byte offset 4");
    Bytes groups = envelope(2);
    groups.insert(groups.end(), {1, 0, 0, 1, 0, 0});
    EXPECT_EQ(decode_error(groups),
              "message decode: group id 1 is not ascending at byte offset 20");
}

TEST(MsglibCodec, EveryTruncationAndNestingBeyondTheLimitIsRefused) {
    Bytes full = msglib::encode(every_kind());
    for (size_t n = 0; n < full.size(); ++n) {
        Bytes cut(full.begin(), full.begin() + static_cast<long>(n));
        std::string error = decode_error(cut);
        EXPECT_NE(error.find("at byte offset"), std::string::npos) << n << ": " << error;
    }
    // Arrays nested 65 deep: the decoder stops at the limit, the encoder refuses to write it.
    Bytes deep = one_member({});
    for (int i = 0; i < 66; ++i) {
        deep.insert(deep.end(), {TMK_ARRAY, 1});
    }
    std::string error = decode_error(deep);
    EXPECT_NE(error.find("nested deeper than 64 levels"), std::string::npos) << error;
    auto* top = new Tm_array;
    Tm_array* cur = top;
    for (int i = 0; i < 70; ++i) {
        auto* next = new Tm_array;
        cur->add_member_and_own(next);
        cur = next;
    }
    Message m;
    m.add_member_and_own(TMG_MEMBERS, "deep", top);
    EXPECT_THROW(msglib::encode(m), Tm_exception);
}

}  // namespace
