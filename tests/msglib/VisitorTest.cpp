#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <orx/msglib/Message.h>

namespace {

// Records what it sees and refuses the events whose number (from 1) is listed.
class Recorder : public Tm_visitor {
  public:
    std::vector<std::string> log;
    std::vector<int> refuse;

    // Appended rather than "u" + std::to_string(v): GCC 12 at -O3 reports a false -Wrestrict.
    bool visit_uint32(uint32_t v) override {
        return note(std::string("u").append(std::to_string(v)));
    }
    bool visit_string(const std::string& s) override { return note("s" + s); }
    bool visit_struct(const Tm_struct& s) override {
        return note("struct" + std::to_string(s.get_member_count()));
    }
    bool start_array(const Tm_array&) override { return note("["); }
    bool end_array(const Tm_array&) override { return note("]"); }

  private:
    int events_ = 0;
    bool note(const std::string& what) {
        for (int r : refuse) {
            if (r == events_ + 1) {
                ++events_;
                log.push_back("!" + what);
                return false;
            }
        }
        ++events_;
        log.push_back(what);
        return true;
    }
};

std::string joined(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) {
        s += x + " ";
    }
    return s;
}

// Both array kinds walk the same way.
class MsglibArrayWalk : public ::testing::TestWithParam<bool> {
  protected:
    std::unique_ptr<Tm_array> make(std::vector<uint32_t> values) {
        std::unique_ptr<Tm_array> a;
        if (GetParam()) {
            a = std::make_unique<Tm_packed_array>(TMV_UINT32);
        } else {
            a = std::make_unique<Tm_array>();
        }
        for (uint32_t v : values) {
            a->add_member(v);
        }
        return a;
    }
};

TEST_P(MsglibArrayWalk, RefusalSavesPositionAndResumeContinuesThere) {
    auto a = make({10, 11, 12});
    Recorder r;
    r.refuse = {3};  // element 1
    EXPECT_FALSE(a->accept(r));
    EXPECT_EQ(r.saved_position(), 2);
    r.resume_at(r.saved_position());
    EXPECT_TRUE(a->accept(r));
    EXPECT_EQ(joined(r.log), "[ u10 !u11 u11 u12 ] ");
}

TEST_P(MsglibArrayWalk, StartAndEndRefusalsAndResumePastTheEnd) {
    auto a = make({1, 2});
    Recorder start;
    start.refuse = {1};
    EXPECT_FALSE(a->accept(start));
    EXPECT_EQ(start.saved_position(), 0);

    Recorder end;
    end.refuse = {4};
    EXPECT_FALSE(a->accept(end));
    EXPECT_EQ(end.saved_position(), 3);  // count + 1
    end.resume_at(3);
    EXPECT_TRUE(a->accept(end));
    EXPECT_EQ(joined(end.log), "[ u1 u2 !] ] ");

    Recorder past;
    past.resume_at(9);  // beyond count + 1: neither elements nor end
    EXPECT_TRUE(a->accept(past));
    EXPECT_TRUE(past.log.empty());

    Recorder empty;
    EXPECT_TRUE(make({})->accept(empty));
    EXPECT_EQ(joined(empty.log), "[ ] ");
    EXPECT_THROW(a->item_accept(2, empty), Tm_out_of_range_exception);
}

INSTANTIATE_TEST_SUITE_P(OwningAndPacked, MsglibArrayWalk, ::testing::Values(false, true));

TEST(MsglibVisitor, NestedValuesReachTheirOperations) {
    Tm_array outer;
    outer.add_member("x");
    auto* inner = new Tm_array;
    inner->add_member(5u);
    outer.add_member_and_own(inner);
    auto* s = new Tm_struct;
    s->add_member("a", 1u);
    outer.add_member_and_own(s);
    Recorder r;
    EXPECT_TRUE(outer.accept(r));
    EXPECT_EQ(joined(r.log), "[ sx [ u5 ] struct1 ] ");
}

}  // namespace
