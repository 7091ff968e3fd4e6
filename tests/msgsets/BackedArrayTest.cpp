#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BackedArray.h"
#include "MsgsetTest.h"

namespace {

using msgsets_test::error_of;
using U32View = Tm_backed_array<std::vector<uint32_t>::const_iterator>;
using U32Copy = Tm_copy_backed_array<uint32_t, std::vector<uint32_t>::const_iterator>;
using U8View = Tm_backed_array<std::vector<uint8_t>::const_iterator>;
using RawView = Tm_backed_array<unsigned char const*>;
using RawCopy = Tm_copy_backed_array<unsigned char, unsigned char const*>;

// Records what a walk sees, refusing the events listed by their running number.
class Recorder : public Tm_visitor {
  public:
    std::vector<int> refuse_at;
    std::string seen;
    bool visit_uint32(uint32_t v) override { return event(std::to_string(v)); }
    bool visit_int8(int8_t v) override { return event("i" + std::to_string(v)); }
    bool start_array(const Tm_array&) override { return event("["); }
    bool end_array(const Tm_array&) override { return event("]"); }

  private:
    bool event(const std::string& what) {
        ++n_;
        for (int r : refuse_at) {
            if (r == n_) {
                return false;
            }
        }
        seen += what + " ";
        return true;
    }
    int n_ = 0;
};

TEST(BackedArray, RefusesChangesAndNonNumericReadsWithTheirTexts) {
    std::vector<uint32_t> v{1, 2};
    U32View view(v.begin(), 2, TMV_UINT32);
    U32Copy copy(v.begin(), 2, TMV_UINT32);
    const std::string suffix = " is not supported by backed arrays";
    for (Tm_array* a : {static_cast<Tm_array*>(&view), static_cast<Tm_array*>(&copy)}) {
        EXPECT_EQ(error_of([&] { a->clear(); }), "clear()" + suffix);
        EXPECT_EQ(error_of([&] { a->add_member(uint32_t(3)); }), "add_member()" + suffix);
        EXPECT_EQ(error_of([&] { a->add_member(std::string("x")); }), "add_member()" + suffix);
        EXPECT_EQ(error_of([&] { a->add_member(true); }), "add_member()" + suffix);
        EXPECT_EQ(error_of([&] { a->add_member(Tm_binary()); }), "add_member()" + suffix);
        EXPECT_EQ(error_of([&] { a->add_member_and_own(new Tm_uint32(3)); }),
                  "add_member_and_own()" + suffix);
        EXPECT_EQ(error_of([&] { a->get_member_string(0); }), "get_member_string()" + suffix);
        EXPECT_EQ(error_of([&] { a->get_member_array(0); }), "get_member_array()" + suffix);
        EXPECT_EQ(error_of([&] { a->get_member_struct(0); }), "get_member_struct()" + suffix);
        EXPECT_EQ(error_of([&] { a->get_member_date(0); }), "get_member_date()" + suffix);
        EXPECT_EQ(error_of([&] { a->get_member_binary(0); }), "get_member_binary()" + suffix);
        EXPECT_EQ(error_of([&] { a->get_member_file(0); }), "get_member_file()" + suffix);
        EXPECT_EQ(error_of([&] { a->get_member_message(0); }), "get_member_message()" + suffix);
        EXPECT_EQ(a->get_member_count(), 2);
    }
    // The view refuses reserve; the copy keeps the base array's (a hint that does nothing here).
    EXPECT_EQ(error_of([&] { view.reserve(4); }), "reserve()" + suffix);
    EXPECT_NO_THROW(copy.reserve(4));
}

TEST(BackedArray, IntegerReadsCheckTypeThenRange) {
    std::vector<uint8_t> payload{0, 7, 255};
    U8View a(payload.begin(), 3, TMV_UINT8);
    EXPECT_EQ(a.get_member_uint8(2), 255);
    try {
        a.get_member_uint32(0);
        FAIL() << "read a uint8 array as uint32";
    } catch (const Tm_type_mismatch_exception& e) {
        EXPECT_EQ(e.actual(), TMV_UINT8);
        EXPECT_EQ(e.expected(), TMV_UINT32);
    }
    // The type is checked before the index.
    EXPECT_THROW(a.get_member_int8(99), Tm_type_mismatch_exception);
    try {
        a.get_member_uint8(3);
        FAIL() << "read past the end";
    } catch (const Tm_out_of_range_exception& e) {
        EXPECT_EQ(e.index(), 3);
        EXPECT_EQ(e.low(), 0);
        EXPECT_EQ(e.high(), 2);
    }
    EXPECT_THROW(a.get_member_value_type(-1), Tm_out_of_range_exception);
    EXPECT_EQ(a.get_member_value_type(1), TMV_UINT8);

    std::vector<uint32_t> none;
    U32View empty(none.begin(), 0, TMV_UINT32);
    try {
        empty.get_member_uint32(0);
        FAIL() << "read element 0 of an empty array";
    } catch (const Tm_out_of_range_exception& e) {
        EXPECT_EQ(std::make_tuple(e.index(), e.low(), e.high()), std::make_tuple(0, 0, -1));
    }
}

TEST(BackedArray, BoolAndDoubleConvertAnyElement) {
    std::vector<uint8_t> flags{0, 2};
    U8View a(flags.begin(), 2, TMV_UINT8);
    EXPECT_FALSE(a.get_member_bool(0));
    EXPECT_TRUE(a.get_member_bool(1));
    EXPECT_DOUBLE_EQ(a.get_member_double(1), 2.0);
    std::vector<int64_t> big{-5, int64_t(1) << 40};
    Tm_copy_backed_array<int64_t, std::vector<int64_t>::const_iterator> b(big.begin(), 2,
                                                                          TMV_INT64);
    EXPECT_DOUBLE_EQ(b.get_member_double(0), -5.0);
    EXPECT_DOUBLE_EQ(b.get_member_double(1), 1099511627776.0);
    EXPECT_TRUE(b.get_member_bool(0));
    EXPECT_THROW(a.get_member_bool(2), Tm_out_of_range_exception);
    EXPECT_THROW(b.get_member_double(-1), Tm_out_of_range_exception);
}

TEST(BackedArray, ConstructionRefusesNegativeCountsAndForeignTypes) {
    std::vector<uint32_t> v{1};
    EXPECT_THROW(U32View(v.begin(), -1, TMV_UINT32), Tm_exception);
    EXPECT_THROW(U32Copy(v.begin(), -1, TMV_UINT32), Tm_exception);
    EXPECT_THROW(U32View(v.begin(), 1, TMV_UINT8), Tm_exception);
}

TEST(BackedArray, ViewFollowsTheVectorCopyKeepsItsValues) {
    std::vector<uint32_t> v{10, 20};
    U32View view(v.begin(), 2, TMV_UINT32);
    U32Copy copy(v.begin(), 2, TMV_UINT32);
    v[1] = 21;
    EXPECT_EQ(view.get_member_uint32(1), 21u);
    EXPECT_EQ(copy.get_member_uint32(1), 20u);

    std::unique_ptr<Tm_value> view_clone(view.clone());
    std::unique_ptr<Tm_value> copy_clone(copy.clone());
    v[0] = 11;
    EXPECT_EQ(static_cast<Tm_array&>(*view_clone).get_member_uint32(0), 11u);
    EXPECT_EQ(static_cast<Tm_array&>(*copy_clone).get_member_uint32(0), 10u);
    EXPECT_EQ(error_of([&] { static_cast<Tm_array&>(*view_clone).reserve(1); }),
              "reserve() is not supported by backed arrays");
    EXPECT_FALSE(view.equals(view));
    EXPECT_FALSE(copy.equals(*copy_clone));
}

TEST(BackedArray, RawBytesOfAnAddress) {
    const unsigned char mac[6] = {0, 0x10, 0x94, 0, 0, 2};
    RawView view(mac, 6, TMV_UINT8);
    RawCopy copy(mac, 6, TMV_UINT8);
    EXPECT_EQ(view.get_member_uint8(2), 0x94);
    EXPECT_EQ(copy.get_member_uint8(5), 2);
    Message m;
    m.add_member_and_own(TMG_MEMBERS, "address", copy.clone());
    Message back = msgsets_test::over_wire(m);
    const Tm_array* a = back.get_member_array(TMG_MEMBERS, "address");
    ASSERT_EQ(a->get_member_count(), 6);
    EXPECT_EQ(a->get_member_uint8(2), 0x94);
}

TEST(BackedArray, ItemAcceptHandsTheElementToItsTypesOperation) {
    std::vector<int8_t> v{-3};
    Tm_backed_array<std::vector<int8_t>::const_iterator> a(v.begin(), 1, TMV_INT8);
    Recorder r;
    EXPECT_TRUE(a.item_accept(0, r));
    EXPECT_EQ(r.seen, "i-3 ");
    EXPECT_THROW(a.item_accept(1, r), Tm_out_of_range_exception);
}

TEST(BackedArray, WalkStopsAndResumesAtTheSavedPosition) {
    std::vector<uint32_t> v{1, 2, 3};
    U32View a(v.begin(), 3, TMV_UINT32);

    Recorder all;
    EXPECT_TRUE(a.accept(all));
    EXPECT_EQ(all.seen, "[ 1 2 3 ] ");

    // Refused at the start: position 0.
    Recorder start;
    start.refuse_at = {1};
    EXPECT_FALSE(a.accept(start));
    EXPECT_EQ(start.saved_position(), 0);

    // Refused at element 1 (event 3): position 2; resuming there does not announce the start.
    Recorder mid;
    mid.refuse_at = {3};
    EXPECT_FALSE(a.accept(mid));
    EXPECT_EQ(mid.saved_position(), 2);
    mid.resume_at(mid.saved_position());
    EXPECT_TRUE(a.accept(mid));
    EXPECT_EQ(mid.seen, "[ 1 2 3 ] ");

    // Refused at the end: position count + 1; resuming there only ends the array.
    Recorder end;
    end.refuse_at = {5};
    EXPECT_FALSE(a.accept(end));
    EXPECT_EQ(end.saved_position(), 4);
    end.resume_at(4);
    EXPECT_TRUE(a.accept(end));
    EXPECT_EQ(end.seen, "[ 1 2 3 ] ");

    // A position past the end: nothing more to do.
    Recorder past;
    past.resume_at(9);
    EXPECT_TRUE(a.accept(past));
    EXPECT_EQ(past.seen, "");
}

TEST(BackedArray, EncodesAsOneRunAndDecodesToTheSameNumbers) {
    std::vector<uint16_t> v{1, 65535, 3};
    Message m;
    m.add_member_and_own(
        TMG_MEMBERS, "list",
        new Tm_backed_array<std::vector<uint16_t>::const_iterator>(v.begin(), 3, TMV_UINT16));
    std::vector<uint16_t> none;
    m.add_member_and_own(TMG_MEMBERS, "none",
                         new Tm_copy_backed_array<uint16_t, std::vector<uint16_t>::const_iterator>(
                             none.begin(), 0, TMV_UINT16));
    Message back = msgsets_test::over_wire(m);
    const Tm_array* a = back.get_member_array(TMG_MEMBERS, "list");
    ASSERT_EQ(a->get_member_count(), 3);
    EXPECT_EQ(a->get_member_uint16(1), 65535);
    EXPECT_EQ(msgsets_test::kind_of(*back.get_member(TMG_MEMBERS, 1)), "uint16[]");
    EXPECT_EQ(back.get_member_array(TMG_MEMBERS, "none")->get_member_count(), 0);
}

}  // namespace
