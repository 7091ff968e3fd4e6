// The IL's SQL under hostile requests: only reads of the result table run, within bounds of
// time, rows and bytes; every refusal is a fault that says what was refused, and the IL keeps
// answering and keeping its table afterwards.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <orx/msglib/Codec.h>
#include "IlTestSupport.h"
#include "responder_1.h"

using namespace orx::il;
using namespace iltest;
using namespace responder_1_bll;

namespace {

const std::string kOnlyReads =
    " is not allowed (the IL runs only reads of ResponderProfileResults and "
    "LiveInterfaceResults)";

class SqlGuardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = std::filesystem::path(::testing::TempDir()) /
                ("sql-guard-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    // Encoded both ways, as a transport would.
    Message Call(Message request) {
        request.set_destination(0);
        std::vector<uint8_t> bytes = msglib::encode(request);
        return msglib::decode(il.HandleEncoded(bytes.data(), bytes.size()));
    }
    Message Sql(const std::vector<std::string>& commands) {
        Message m;
        create_req_DoSQLFaster(&m, commands, true);
        return Call(m);
    }
    std::vector<Stats_1_bll::commandResultFaster_s> Rows(const std::vector<std::string>& commands) {
        Message r = Sql(commands);
        EXPECT_EQ(r.get_msg_type(), TMT_RESPONSE) << Fault(r);
        std::vector<Stats_1_bll::commandResultFaster_s> out;
        if (r.get_msg_type() == TMT_RESPONSE)
            Stats_1_bll::parse_resp_DoSQLFaster(&r, &out);
        return out;
    }
    static std::string Fault(const Message& r) {
        if (r.get_msg_type() != TMT_FAILED_RESPONSE)
            return "(not a fault)";
        EXPECT_EQ(r.get_member_int32(TMG_MEMBERS, "faultCode"), FAULT_SQL);
        return r.get_member_string(TMG_MEMBERS, "faultString");
    }
    void Configure(uint32_t handle) {
        Message r = Call(ConfigRequest(0, {Config(handle, "udp", {})}));
        ASSERT_EQ(r.get_msg_type(), TMT_RESPONSE);
    }
    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    IlServer il{{0, 1}};
    std::filesystem::path m_dir;
};

TEST_F(SqlGuardTest, AnythingButAReadOfTheTableIsRefusedByName) {
    Configure(12);
    const std::string attached = Path("attached.db");
    const std::string vacuumed = Path("vacuumed.db");
    EXPECT_EQ(Fault(Sql({"ATTACH DATABASE '" + attached + "' AS a"})),
              "responder_1.DoSQLFaster: SQL \"ATTACH DATABASE '" + attached +
                  "' AS a\" is refused: ATTACH of \"" + attached + "\"" + kOnlyReads);

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"DETACH DATABASE main", "DETACH of main"},
        {"PRAGMA journal_mode", "PRAGMA journal_mode"},
        {"PRAGMA table_info(ResponderProfileResults)", "PRAGMA table_info"},
        {"PRAGMA writable_schema = 1", "PRAGMA writable_schema"},
        {"INSERT INTO ResponderProfileResults VALUES (99, 0, 0, 0, 0, 0)",
         "INSERT into ResponderProfileResults"},
        {"UPDATE ResponderProfileResults SET TxFrameCount = 5",
         "UPDATE of ResponderProfileResults"},
        {"DELETE FROM ResponderProfileResults", "DELETE from ResponderProfileResults"},
        {"CREATE TABLE t (x)", "CREATE TABLE t"},
        {"CREATE INDEX i ON ResponderProfileResults (TxFrameCount)", "CREATE INDEX i"},
        {"CREATE VIEW v AS SELECT 1", "CREATE VIEW v"},
        {"DROP TABLE ResponderProfileResults", "DROP TABLE ResponderProfileResults"},
        {"ALTER TABLE ResponderProfileResults ADD COLUMN y", "ALTER TABLE ResponderProfileResults"},
        {"CREATE TEMP TABLE t (x)", "CREATE TEMP TABLE t"},
        {"CREATE TEMP TABLE t AS SELECT * FROM ResponderProfileResults", "CREATE TEMP TABLE t"},
        {"CREATE TEMP VIEW v AS SELECT 1", "CREATE TEMP VIEW v"},
        {"BEGIN", "BEGIN (a transaction)"},
        {"SAVEPOINT s", "SAVEPOINT s"},
        {"SELECT * FROM sqlite_master", "reading sqlite_master"},
        {"SELECT name FROM sqlite_schema", "reading sqlite_master"},
        {"SELECT * FROM json_each('[1]')", "reading json_each"},
        {"SELECT load_extension('/tmp/x')", "the function load_extension"},
        {"VACUUM", "VACUUM"},
        {"VACUUM INTO '" + vacuumed + "'", "VACUUM"},
        {"REINDEX", "REINDEX"},
        {"ANALYZE", "ANALYZE"},
        {"UPDATE LiveInterfaceResults SET CaptureDropCount = 0", "UPDATE of LiveInterfaceResults"},
        {"DELETE FROM LiveInterfaceResults", "DELETE from LiveInterfaceResults"},
        {"DROP TABLE LiveInterfaceResults", "DROP TABLE LiveInterfaceResults"},
        // A later statement of one command is judged on its own.
        {"SELECT 1; DELETE FROM ResponderProfileResults", "DELETE from ResponderProfileResults"},
    };
    for (const auto& [sql, what] : cases) {
        std::string fault = Fault(Sql({sql}));
        EXPECT_NE(fault.find("\" is refused: " + what + kOnlyReads), std::string::npos)
            << sql << "\n  " << fault;
    }
    // Nothing was created, and the table and the IL's upkeep of it are as they were.
    EXPECT_FALSE(std::filesystem::exists(attached));
    EXPECT_FALSE(std::filesystem::exists(vacuumed));
    EXPECT_TRUE(std::filesystem::is_empty(m_dir));
    Configure(15);
    auto results = Rows({"SELECT PrimaryHandle FROM ResponderProfileResults ORDER BY 1"});
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 2u);
    EXPECT_EQ(results[0].rows[0].int64Values, (std::vector<int64_t>{12}));
    EXPECT_EQ(results[0].rows[1].int64Values, (std::vector<int64_t>{15}));
    ASSERT_EQ(Call(Request(0, create_req_RemoveResponder, {12})).get_msg_type(), TMT_RESPONSE);
    results = Rows({"SELECT count(*) FROM ResponderProfileResults"});
    EXPECT_EQ(results[0].rows[0].int64Values, (std::vector<int64_t>{1}));
}

// The live-interface table follows what the IL's link source reports at each request: a row
// is stamped anew only when its values changed, and a port that is no longer reported goes.
// The diagnostic reports the same.
TEST_F(SqlGuardTest, TheLiveInterfaceTableHoldsWhatTheLinkSourceReports) {
    std::vector<LinkView> links = {{0, "va", 10, 3, 1, 9, 1, ""},
                                   {1, "vb", 5, 0, 0, 5, 0, "capture failed: gone"}};
    il.SetLinkSource([&links] { return links; });
    const std::string query =
        "SELECT Port, RxFrameCount, CaptureDropCount, InterfaceDropCount, TxFrameCount, "
        "TxFailCount, StatsLastModified, Interface, Error FROM LiveInterfaceResults ORDER BY Port";
    auto results = Rows({query});
    ASSERT_EQ(results.size(), 1u);
    ASSERT_EQ(results[0].rows.size(), 2u);
    const auto& first = results[0].rows[0];
    ASSERT_EQ(first.int64Values.size(), 7u);
    EXPECT_EQ(std::vector<int64_t>(first.int64Values.begin(), first.int64Values.end() - 1),
              (std::vector<int64_t>{0, 10, 3, 1, 9, 1}));
    EXPECT_EQ(first.stringValues, (std::vector<std::string>{"va", ""}));
    EXPECT_EQ(results[0].rows[1].stringValues,
              (std::vector<std::string>{"vb", "capture failed: gone"}));
    const int64_t firstStamp = first.int64Values[6];
    const int64_t secondStamp = results[0].rows[1].int64Values[6];

    links[0].captureDropped = 7;
    links.pop_back();
    results = Rows({query});
    ASSERT_EQ(results[0].rows.size(), 1u);
    EXPECT_EQ(results[0].rows[0].int64Values[2], 7);
    EXPECT_GT(results[0].rows[0].int64Values[6], firstStamp);
    const int64_t changed = results[0].rows[0].int64Values[6];
    results = Rows({query});
    EXPECT_EQ(results[0].rows[0].int64Values[6], changed) << "unchanged rows keep their stamp";
    EXPECT_GE(changed, secondStamp);

    Message show;
    diag::CreateLinksRequest(&show);
    EXPECT_EQ(diag::ParseLinksResponse(Call(show)), links);
    il.SetLinkSource({});
    EXPECT_TRUE(diag::ParseLinksResponse(Call(show)).empty());
    EXPECT_TRUE(Rows({query})[0].rows.empty());
}

TEST_F(SqlGuardTest, EverySqlRequestRefusesAndSubscriptionsAreRefusedUpFront) {
    const std::string attached = Path("attached.db");
    const std::string attach = "ATTACH DATABASE '" + attached + "' AS a";
    const std::string refusal = "is refused: ATTACH of \"" + attached + "\"" + kOnlyReads;
    Message m;
    create_req_DoSQL(&m, {attach}, true);
    EXPECT_NE(Fault(Call(m)).find(refusal), std::string::npos);
    create_req_DoSQLDatabase(&m, "results", {attach}, true);
    EXPECT_NE(Fault(Call(m)).find(refusal), std::string::npos);
    create_req_DoSQLDatabaseFaster(&m, "results", {"SELECT 1", attach}, true);
    EXPECT_NE(Fault(Call(m)).find(refusal), std::string::npos);

    create_req_RequestDoSQLNotification(&m, 3, 100, {attach}, true);
    EXPECT_EQ(Fault(Call(m)),
              "responder_1.RequestDoSQLNotification: SQL \"" + attach + "\" " + refusal);
    create_req_RequestDoSQLNotificationFaster(&m, 4, 100, {"DROP TABLE ResponderProfileResults"},
                                              true);
    EXPECT_NE(Fault(Call(m)).find("DROP TABLE ResponderProfileResults" + kOnlyReads),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(attached));
    // Refused subscriptions do not exist.
    create_req_EnableDoSQLNotificationFaster(&m, 4, false, true);
    EXPECT_EQ(Call(m).get_msg_type(), TMT_FAILED_RESPONSE);
    EXPECT_EQ(il.PollNotifications(), IlServer::kNever);
}

TEST_F(SqlGuardTest, ARunawayQueryEndsWithinTheTimeBoundAndTheIlKeepsAnswering) {
    Configure(12);
    const std::string forever =
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c) SELECT count(*) FROM c";
    auto begin = std::chrono::steady_clock::now();
    std::string fault = Fault(Sql({forever}));
    auto took = std::chrono::steady_clock::now() - begin;
    EXPECT_EQ(fault, "responder_1.DoSQLFaster: SQL \"" + forever +
                         "\" is stopped: it ran past the IL's bound of 2000 ms for the SQL of one "
                         "request");
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::milliseconds(4000));

    auto results = Rows({"SELECT PrimaryHandle FROM ResponderProfileResults"});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rows.size(), 1u);
}

TEST_F(SqlGuardTest, ResultsPastTheRowAndByteBoundsAreRefused) {
    auto count = [](size_t n) {
        return "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT " +
               std::to_string(n) + ") SELECT x FROM c";
    };
    const std::string rowBound = "is stopped: its results pass the IL's bound of " +
                                 std::to_string(kSqlMaxRows) + " rows for one request";
    auto results = Rows({count(kSqlMaxRows)});
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].rows.size(), kSqlMaxRows);
    EXPECT_NE(Fault(Sql({count(kSqlMaxRows + 1)})).find(rowBound), std::string::npos);
    // The commands of one request share the bound.
    const size_t half = kSqlMaxRows / 2 + 1;
    EXPECT_NE(Fault(Sql({count(half), count(half)})).find(rowBound), std::string::npos);

    // 70 blobs of 1 MB pass 64 MiB; a single value that large is refused by SQLite itself.
    EXPECT_NE(Fault(Sql({"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c LIMIT "
                         "70) SELECT zeroblob(1000000) FROM c"}))
                  .find("is stopped: its results pass the IL's bound of 64 MiB for one request"),
              std::string::npos);
    EXPECT_NE(Fault(Sql({"SELECT zeroblob(100000000)"}))
                  .find("is stopped: one of its values passes the IL's bound of 64 MiB for one "
                        "request (string or blob too big)"),
              std::string::npos);

    // A subscription past a bound is refused when it is asked for.
    Message m;
    create_req_RequestDoSQLNotificationFaster(&m, 5, 100, {count(kSqlMaxRows + 1)}, true);
    EXPECT_NE(Fault(Call(m)).find(rowBound), std::string::npos);
    EXPECT_EQ(Rows({"SELECT 1"}).size(), 1u);
}

TEST_F(SqlGuardTest, TheHostsOwnQueriesRun) {
    Configure(12);
    Configure(15);
    Configure(20);
    // The plug-in's subscription query, the provider's query and the end-of-test query.
    const std::string subscription =
        "SELECT PrimaryHandle, MatchedRxFrameCount, TxFrameCount, RxFrameRate FROM "
        "ResponderProfileResults WHERE (StatsLastModified > %LastNotificationTime%) AND "
        "PrimaryHandle IN (12,15) GROUP BY PrimaryHandle ";
    const std::string provider =
        "SELECT PrimaryHandle, TxFrameCount FROM ResponderProfileResults WHERE PrimaryHandle IN "
        "(12,20)";
    const std::string endOfTest =
        "SELECT PrimaryHandle, MatchedRxFrameCount, TxFrameCount, RxFrameRate FROM "
        "ResponderProfileResults";
    auto results = Rows({provider, endOfTest});
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].rows.size(), 2u);
    EXPECT_EQ(results[1].rows.size(), 3u);

    std::vector<Message> received;
    il.SetNotificationSink(
        [&](std::vector<uint8_t> bytes) { received.push_back(msglib::decode(bytes)); });
    Message m;
    create_req_RequestDoSQLNotificationFaster(&m, 7, 1, {subscription}, true);
    ASSERT_EQ(Call(m).get_msg_type(), TMT_RESPONSE) << Fault(Call(m));
    for (int i = 0; i < 200 && received.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        il.PollNotifications();
    }
    ASSERT_EQ(received.size(), 1u);
    uint32_t id = 0;
    std::vector<Stats_1_bll::commandResultFaster_s> notified;
    responder_1_bll::parse_req_DoSQLNotifyFaster(&received[0], &id, &notified);
    EXPECT_EQ(id, 7u);
    ASSERT_EQ(notified.size(), 1u);
    ASSERT_EQ(notified[0].rows.size(), 2u);
    EXPECT_EQ(notified[0].rows[0].int64Values, (std::vector<int64_t>{12, 0, 0, 0}));
}

}  // namespace
