#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <orx/msglib/Codec.h>

// Decoded messages keep their values and the lists inside them (structure members, array
// elements, packed numbers) in the message's arena. These cases check that such storage never
// outlives the arena and that arena containers grow like heap ones.
namespace {

const char* const kNames[] = {"handle", "filter", "payload", "children", nullptr};

// records structures of {handle, filter, payload, children}; large enough for many arena blocks.
Message records(int count) {
    Message m;
    m.set_use_send_member_string(true);
    m.clear(TMG_MEMBERS);
    m.set_request_name("r.Records");
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* list = new Tm_array;
    std::vector<uint8_t> payload(100);
    for (int r = 0; r < count; ++r) {
        for (size_t i = 0; i < payload.size(); ++i) {
            payload[i] = static_cast<uint8_t>(r + static_cast<int>(i));
        }
        auto* s = new Tm_prenamed_struct;
        s->clear(kNames);
        s->add_member(0, static_cast<unsigned>(r), catalog);
        s->add_member(1, "a filter longer than a short string " + std::to_string(r), catalog);
        s->add_member_and_own(2, new Tm_packed_array(TMV_UINT8, payload.data(), r % 100), catalog);
        auto* children = new Tm_array;
        children->add_member(static_cast<int32_t>(-r));
        s->add_member_and_own(3, children, catalog);
        list->add_member_and_own(s);
    }
    m.add_member_and_own(TMG_MEMBERS, "list", list);
    m.create_send_member_string_meta();
    return m;
}

void expect_record(const Tm_struct& s, int r) {
    EXPECT_EQ(s.get_member_uint32("handle"), static_cast<uint32_t>(r));
    EXPECT_EQ(s.get_member_string("filter"),
              "a filter longer than a short string " + std::to_string(r));
    const Tm_array* payload = s.get_member_array("payload");
    ASSERT_EQ(payload->get_member_count(), r % 100);
    if (r % 100 > 0) {
        EXPECT_EQ(payload->get_member_uint8(r % 100 - 1), static_cast<uint8_t>(r + r % 100 - 1));
    }
    EXPECT_EQ(s.get_member_array("children")->get_member_int32(0), -r);
}

TEST(MsglibArena, CopiesAndClonesOfDecodedValuesOutliveTheMessage) {
    const Message source = records(40);
    std::unique_ptr<Tm_value> list;
    std::unique_ptr<Tm_value> record;
    std::unique_ptr<Tm_value> payload;
    std::unique_ptr<Message> copy;
    {
        Message d = msglib::decode(msglib::encode(source));
        const Tm_array* l = d.get_member_array(TMG_MEMBERS, "list");
        list.reset(l->clone());
        record.reset(l->get_member_struct(7)->clone());
        payload.reset(l->get_member_struct(9)->get_member_array("payload")->clone());
        copy = std::make_unique<Message>(d);
        Message moved;
        moved = std::move(d);  // the arena goes along with the values
        EXPECT_TRUE(moved.equals(source));
    }
    EXPECT_TRUE(copy->equals(source));
    const auto& l = static_cast<const Tm_array&>(*list);
    ASSERT_EQ(l.get_member_count(), 40);
    for (int r = 0; r < 40; ++r) {
        expect_record(*l.get_member_struct(r), r);
    }
    expect_record(static_cast<const Tm_struct&>(*record), 7);
    EXPECT_EQ(static_cast<const Tm_array&>(*payload).get_member_uint8(8), 17);
}

TEST(MsglibArena, ContainersInAnArenaGrowPastTheirReserveAndAnyBlock) {
    Message m;
    Tm_arena& arena = m.get_arena();
    auto* catalog = m.get_send_member_string(TMG_MEMBERS);
    auto* s = new (arena) Tm_struct(catalog, arena);
    s->reserve(2);
    for (int i = 0; i < 3000; ++i) {
        // Appended rather than "m" + std::to_string(i): GCC 12 at -O3 reports a false -Wrestrict.
        s->add_member(std::string("m").append(std::to_string(i)), i);
    }
    auto* a = new (arena) Tm_array(arena);
    for (int i = 0; i < 3000; ++i) {
        a->add_member(std::to_string(i));
    }
    const uint32_t first[] = {5, 6, 7};
    // More than one arena block in one request, then growth past it.
    std::vector<uint32_t> big(50000, 9);
    auto* p = new (arena) Tm_packed_array(TMV_UINT32, big.data(), 50000, arena);
    auto* q = new (arena) Tm_packed_array(TMV_UINT32, first, 3, arena);
    for (uint32_t i = 0; i < 40000; ++i) {
        q->add_member(i);
    }
    m.add_member_and_own(TMG_MEMBERS, "s", s);
    m.add_member_and_own(TMG_MEMBERS, "a", a);
    m.add_member_and_own(TMG_MEMBERS, "p", p);
    m.add_member_and_own(TMG_MEMBERS, "q", q);

    const Message d = msglib::decode(msglib::encode(m));
    EXPECT_TRUE(d.equals(m));
    EXPECT_EQ(d.get_member_struct(TMG_MEMBERS, "s")->get_member_int32("m2999"), 2999);
    EXPECT_EQ(d.get_member_array(TMG_MEMBERS, "a")->get_member_string(1234), "1234");
    EXPECT_EQ(d.get_member_array(TMG_MEMBERS, "p")->get_member_uint32(49999), 9u);
    const Tm_array* dq = d.get_member_array(TMG_MEMBERS, "q");
    EXPECT_EQ(dq->get_member_count(), 40003);
    EXPECT_EQ(dq->get_member_uint32(2), 7u);
    EXPECT_EQ(dq->get_member_uint32(40002), 39999u);

    // Requests the arena cannot serve are refused, not wrapped around to a tiny block.
    EXPECT_THROW(arena.allocate(std::numeric_limits<size_t>::max() - 4), std::bad_alloc);
    Tm_arena_allocator<uint64_t> alloc(&arena);
    EXPECT_THROW(static_cast<void>(alloc.allocate(std::numeric_limits<size_t>::max() / 4)),
                 std::bad_array_new_length);
}

TEST(MsglibArena, MessagesDecodedOnOtherThreadsOutliveThem) {
    const std::vector<uint8_t> bytes = msglib::encode(records(600));
    std::vector<Message> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&bytes, &result = results[t]] {
            // Later decodes reuse the blocks of earlier ones; the last one leaves the thread.
            for (int round = 0; round < 3; ++round) {
                result = msglib::decode(bytes);
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (const Message& m : results) {
        const Tm_array* list = m.get_member_array(TMG_MEMBERS, "list");
        ASSERT_EQ(list->get_member_count(), 600);
        expect_record(*list->get_member_struct(0), 0);
        expect_record(*list->get_member_struct(599), 599);
    }
    results.clear();  // blocks made on the threads are freed or cached here
    const Message again = msglib::decode(bytes);
    expect_record(*again.get_member_array(TMG_MEMBERS, "list")->get_member_struct(321), 321);
}

}  // namespace
