#pragma once

// SQL runs over the result table and the periodic notifications of SQL and table-event
// subscriptions. Control path only.

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "Responders.h"
#include "ResultStore.h"
#include "Stats_1.h"

namespace orx::il {

// A valid request the IL will not carry out; the text says why.
class Refused : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class Subscriptions {
  public:
    using Sink = std::function<void(std::vector<uint8_t>)>;
    static constexpr const char* kPlaceholder = "%LastNotificationTime%";

    Subscriptions(Responders& responders, ResultStore& store)
        : m_responders(responders), m_store(store) {}

    void SetSink(Sink sink) { m_sink = std::move(sink); }
    // Where the rows of the live-interface table come from.
    void SetLinkSource(std::function<std::vector<LinkView>()> source) {
        m_links = std::move(source);
    }

    // Brings the table up to date (changed rows stamped `stamp`), then runs each command with
    // the placeholder replaced by `lastTime`.
    std::vector<Stats_1_bll::commandResult_s> RunFull(const std::vector<std::string>& commands,
                                                      int64_t stamp, int64_t lastTime);
    std::vector<Stats_1_bll::commandResultFaster_s> RunCompact(
        const std::vector<std::string>& commands, int64_t stamp, int64_t lastTime);

    void AddSql(uint32_t port, uint32_t id, bool faster, uint32_t intervalMs,
                std::vector<std::string> commands, int64_t now);
    void DeleteSql(uint32_t port, uint32_t id, bool faster);
    void EnableSql(uint32_t port, uint32_t id, bool faster, bool enable, int64_t now);
    void AddTable(uint32_t port, uint32_t id, uint32_t intervalMs,
                  const Stats_1_bll::tableEventProperties_s& props, int64_t now);
    void DeleteTable(uint32_t port, uint32_t id);
    void EnableTable(uint32_t port, uint32_t id, bool enable, int64_t now);

    // Sends what is due at `now`; returns when the next notification is due.
    int64_t Poll(int64_t now, const std::function<int64_t()>& stamp);

  private:
    struct Sql {
        bool faster = false;
        uint32_t intervalMs = 0;
        std::vector<std::string> commands;
        bool enabled = true;
        int64_t due = 0;
        int64_t lastTime = 0;  // stamp of the previous notification; 0 before the first
    };
    struct Table {
        uint32_t intervalMs = 0;
        Stats_1_bll::tableEventProperties_s props;
        bool enabled = true;
        int64_t due = 0;
        std::map<int64_t, std::vector<int64_t>> seen;  // row id -> values last notified
    };
    using Key = std::tuple<uint32_t, uint32_t, bool>;  // port, id, faster
    using TableKey = std::pair<uint32_t, uint32_t>;

    std::vector<SqlResult> Run(const std::vector<std::string>& commands, int64_t stamp,
                               int64_t lastTime);
    void NotifySql(const Key& key, Sql& sub, int64_t stamp);
    void NotifyTable(const TableKey& key, Table& sub, int64_t stamp);
    void Send(Message& message, uint32_t port);

    Responders& m_responders;
    ResultStore& m_store;
    Sink m_sink;
    std::function<std::vector<LinkView>()> m_links;
    std::map<Key, Sql> m_sql;
    std::map<TableKey, Table> m_tables;
};

}  // namespace orx::il
