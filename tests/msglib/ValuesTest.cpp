#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <orx/msglib/Message.h>
#include <orx/msglib/TmEnum.h>

namespace {

const char* const kRecordNames[] = {"handle", "filter", "payload", "children", nullptr};

// Checks that statement throws E and that its text contains needle.
template <class E, class F>
E expect_throw(F statement, const std::string& needle) {
    try {
        statement();
    } catch (const E& e) {
        EXPECT_NE(std::string(e.what()).find(needle), std::string::npos) << e.what();
        return e;
    }
    ADD_FAILURE() << "no exception containing '" << needle << "'";
    throw std::logic_error("unreachable");
}

TEST(MsglibExceptions, TextsAndNumbers) {
    Tm_out_of_range_exception r(0, 0, -1);
    EXPECT_EQ(r.index(), 0);
    EXPECT_EQ(r.high(), -1);
    EXPECT_STREQ(r.what(), "index 0 out of range (empty, 0..-1)");
    EXPECT_STREQ(Tm_out_of_range_exception(7, 0, 3).what(), "index 7 out of range 0..3");
    Tm_type_mismatch_exception t(2, 1);
    EXPECT_EQ(t.actual(), 2);
    EXPECT_EQ(t.expected(), 1);
    EXPECT_STREQ(t.what(), "type mismatch: actual 2, expected 1");
    const Tm_exception& base = t;  // one hierarchy: callers catch Tm_exception
    EXPECT_NE(dynamic_cast<const Tm_type_mismatch_exception*>(&base), nullptr);
}

TEST(MsglibEnums, ConvertsBothWaysAndNamesUnknowns) {
    tm_enum_map map[] = {{0, "STRING"}, {11, "NULL"}, {16, "SET_VALUE"}, {0, nullptr}};
    EXPECT_STREQ(tms_enum_to_string(11, map), "NULL");
    EXPECT_EQ(tms_string_to_enum("SET_VALUE", map), 16);
    EXPECT_EQ(tms_string_to_enum("STRING", map), 0);
    expect_throw<Tm_exception>([&] { tms_enum_to_string(5, map); }, "value 5 has no name");
    expect_throw<Tm_exception>([&] { tms_string_to_enum("string", map); },
                               "name 'string' is not in the value map");
    expect_throw<Tm_exception>([&] { tms_string_to_enum(nullptr, map); }, "null name");
}

TEST(MsglibMessage, TypedReadersFindMembersAndRefuseWrongTypes) {
    Message m;
    m.set_use_send_member_string(true);
    m.clear(TMG_MEMBERS);
    m.set_msg_type(TMT_RESPONSE);
    m.set_request_name("responder_1.ConfigResponder");
    m.add_member(TMG_MEMBERS, "count", 42u);
    m.add_member(TMG_MEMBERS, "name", "abc");
    m.add_member(TMG_MEMBERS, "flag", true);
    m.add_member(TMG_MEMBERS, "big", int64_t{-5});
    m.clear(TMG_META);
    m.create_send_member_string_meta();

    EXPECT_EQ(m.get_member_uint32(TMG_MEMBERS, "count"), 42u);
    EXPECT_EQ(m.get_member_string(TMG_MEMBERS, "name"), "abc");
    EXPECT_TRUE(m.get_member_bool(TMG_MEMBERS, "flag"));
    EXPECT_EQ(m.get_member_int64(TMG_MEMBERS, "big"), -5);
    EXPECT_EQ(m.get_member_index(TMG_MEMBERS, "flag"), 2);
    EXPECT_FALSE(m.has_member(TMG_META, "count"));
    ASSERT_EQ(m.get_member_count(TMG_MEMBERS), 4);
    EXPECT_EQ(m.get_member_name(TMG_MEMBERS, 3), "big");
    EXPECT_EQ(m.get_send_member_string(TMG_MEMBERS)->size(), 4);

    auto e = expect_throw<Tm_type_mismatch_exception>(
        [&] { m.get_member_uint16(TMG_MEMBERS, "count"); },
        "member 'count' of group 1 is uint32, read as uint16");
    EXPECT_EQ(e.actual(), TMV_UINT32);
    EXPECT_EQ(e.expected(), TMV_UINT16);
    expect_throw<Tm_exception>([&] { m.get_member_array(TMG_MEMBERS, "errorList"); },
                               "no member 'errorList' in group 1");
    expect_throw<Tm_out_of_range_exception>([&] { m.get_member_count(static_cast<TMG>(16)); },
                                            "index 16");
}

TEST(MsglibStruct, PrenamedStructNamesByIndexInTheSharedCatalog) {
    Message m;
    Tm_catalog<std::string>* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* s = new Tm_prenamed_struct(catalog);
    s->clear(kRecordNames);
    s->add_member(0, 7u, catalog);
    s->add_member(1, std::string("arp"), catalog);
    s->add_member_and_own(2, new Tm_packed_array(TMV_UINT8, "\x01\x02", 2), catalog);
    expect_throw<Tm_out_of_range_exception>([&] { s->add_member(4, 1, catalog); },
                                            "index 4 out of range 0..3");
    m.add_member_and_own(TMG_MEMBERS, "record", s);

    const Tm_struct* r = m.get_member_struct(TMG_MEMBERS, "record");
    EXPECT_EQ(r->get_member_uint32("handle"), 7u);
    EXPECT_EQ(r->get_member_string("filter"), "arp");
    EXPECT_EQ(r->get_member_array("payload")->get_member_uint8(1), 2);
    EXPECT_EQ(r->get_member_index("children"), -1);
    EXPECT_EQ(catalog->find("children"), 3);  // the whole table is interned once
    expect_throw<Tm_exception>([&] { r->get_member_struct("children"); },
                               "structure has no member 'children'");
    expect_throw<Tm_type_mismatch_exception>([&] { r->get_member_uint32("payload"); },
                                             "is array, read as uint32");

    // A clone keeps its names readable after the message is gone.
    std::unique_ptr<Tm_value> copy(r->clone());
    m = Message();
    EXPECT_EQ(static_cast<Tm_struct&>(*copy).get_member_name(1), "filter");
}

TEST(MsglibArray, OwningAndPackedArraysCheckTypeThenRange) {
    Tm_array owning;
    owning.add_member(uint16_t{5});
    owning.add_member("text");
    EXPECT_EQ(owning.get_member_value_type(1), TMK_STRING);
    EXPECT_EQ(owning.get_member_uint16(0), 5);
    expect_throw<Tm_type_mismatch_exception>([&] { owning.get_member_uint32(0); },
                                             "array element 0 is uint16, read as uint32");
    expect_throw<Tm_out_of_range_exception>([&] { owning.get_member_string(2); }, "0..1");

    Tm_packed_array packed(TMV_UINT8);
    expect_throw<Tm_type_mismatch_exception>([&] { packed.get_member_uint32(0); },
                                             "packed uint8 array read as uint32");
    auto e = expect_throw<Tm_out_of_range_exception>([&] { packed.get_member_uint8(0); }, "");
    EXPECT_EQ(e.high(), -1);
    packed.add_member(uint8_t{9});
    packed.add_member_and_own(new Tm_uint8(10));
    expect_throw<Tm_type_mismatch_exception>([&] { packed.add_member(1u); }, "add_member(uint32)");
    expect_throw<Tm_type_mismatch_exception>([&] { packed.get_member_struct(0); }, "");
    EXPECT_EQ(packed.get_member_count(), 2);
    EXPECT_EQ(packed.get_member(1), nullptr);

    // Same numbers compare equal whether held as objects or packed; clones are deep.
    Tm_array objects;
    objects.add_member(uint8_t{9});
    objects.add_member(uint8_t{10});
    EXPECT_TRUE(objects.equals(packed));
    EXPECT_TRUE(packed.equals(objects));
    std::unique_ptr<Tm_value> copy(packed.clone());
    packed.clear();
    EXPECT_EQ(static_cast<Tm_array&>(*copy).get_member_uint8(1), 10);
    EXPECT_FALSE(copy->equals(packed));
    EXPECT_THROW(Tm_packed_array(TMV_BOOL, "\x02", 1), Tm_exception);
}

}  // namespace
