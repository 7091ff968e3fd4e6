#include "Subscriptions.h"

#include <algorithm>

#include <orx/framework/Logger.h>
#include <orx/msglib/Codec.h>
#include "responder_1.h"

namespace orx::il {

using orx::framework::BLLLogger;
using orx::framework::BLLLoggerFactory;
using orx::framework::LOG_ERROR;

namespace {

BLLLogger* Log() {
    static BLLLogger* logger = BLLLoggerFactory::GetInstance()->GetLogger("il.results");
    return logger;
}

std::string Replace(std::string text, const std::string& what, const std::string& with) {
    for (size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

std::string Name(uint32_t port, uint32_t id) {
    return "subscription " + std::to_string(id) +
           (port == Message::kNoDestination ? std::string() : " of port " + std::to_string(port));
}

void CheckInterval(uint32_t intervalMs, uint32_t port, uint32_t id) {
    if (intervalMs == 0)
        throw Refused(Name(port, id) + ": intervalMS must be at least 1");
}

constexpr const char* kAllColumns =
    "SELECT PrimaryHandle, SecondaryHandle, MatchedRxFrameCount, TxFrameCount, RxFrameRate, "
    "StatsLastModified FROM ResponderProfileResults";

}  // namespace

std::vector<SqlResult> Subscriptions::Run(const std::vector<std::string>& commands, int64_t stamp,
                                          int64_t lastTime) {
    m_responders.Sync(m_store, stamp);
    m_store.WriteLinks(m_links ? m_links() : std::vector<LinkView>{}, stamp);
    std::vector<SqlResult> results;
    std::string last = std::to_string(lastTime);
    SqlBudget budget;  // the commands of one request share its bounds
    for (const auto& command : commands)
        results.push_back(m_store.Query(Replace(command, kPlaceholder, last), budget));
    return results;
}

std::vector<Stats_1_bll::commandResult_s> Subscriptions::RunFull(
    const std::vector<std::string>& commands, int64_t stamp, int64_t lastTime) {
    std::vector<Stats_1_bll::commandResult_s> out;
    for (const auto& r : Run(commands, stamp, lastTime))
        out.push_back(ToFullResult(r));
    return out;
}

std::vector<Stats_1_bll::commandResultFaster_s> Subscriptions::RunCompact(
    const std::vector<std::string>& commands, int64_t stamp, int64_t lastTime) {
    std::vector<Stats_1_bll::commandResultFaster_s> out;
    for (const auto& r : Run(commands, stamp, lastTime))
        out.push_back(ToCompactResult(r));
    return out;
}

void Subscriptions::AddSql(uint32_t port, uint32_t id, bool faster, uint32_t intervalMs,
                           std::vector<std::string> commands, int64_t now) {
    CheckInterval(intervalMs, port, id);
    // A command SQLite or the IL's bounds refuse is refused now rather than failing at every
    // interval.
    SqlBudget budget;
    for (const auto& command : commands)
        m_store.Query(Replace(command, kPlaceholder, "0"), budget);
    Sql& sub = m_sql[Key{port, id, faster}];
    sub = Sql{faster, intervalMs, std::move(commands), true, now + int64_t{intervalMs} * 1000, 0};
}

void Subscriptions::DeleteSql(uint32_t port, uint32_t id, bool faster) {
    m_sql.erase(Key{port, id, faster});
}

void Subscriptions::EnableSql(uint32_t port, uint32_t id, bool faster, bool enable, int64_t now) {
    auto it = m_sql.find(Key{port, id, faster});
    if (it == m_sql.end())
        throw Refused("there is no " + Name(port, id));
    if (enable && !it->second.enabled)
        it->second.due = now + int64_t{it->second.intervalMs} * 1000;
    it->second.enabled = enable;
}

void Subscriptions::AddTable(uint32_t port, uint32_t id, uint32_t intervalMs,
                             const Stats_1_bll::tableEventProperties_s& props, int64_t now) {
    CheckInterval(intervalMs, port, id);
    if (props.tableName != ResultStore::kTable) {
        throw Refused(Name(port, id) + ": there is no table \"" + props.tableName +
                      "\" (the IL keeps \"" + ResultStore::kTable + "\")");
    }
    if (props.deleteNotifiedAdded) {
        throw Refused(Name(port, id) +
                      ": deleteNotifiedAdded is not supported (the IL keeps one row per "
                      "configuration until it is removed)");
    }
    m_tables[TableKey{port, id}] =
        Table{intervalMs, props, true, now + int64_t{intervalMs} * 1000, {}};
}

void Subscriptions::DeleteTable(uint32_t port, uint32_t id) {
    m_tables.erase(TableKey{port, id});
}

void Subscriptions::EnableTable(uint32_t port, uint32_t id, bool enable, int64_t now) {
    auto it = m_tables.find(TableKey{port, id});
    if (it == m_tables.end())
        throw Refused("there is no table-event " + Name(port, id));
    if (enable && !it->second.enabled)
        it->second.due = now + int64_t{it->second.intervalMs} * 1000;
    it->second.enabled = enable;
}

void Subscriptions::Send(Message& message, uint32_t port) {
    message.set_destination(port);
    if (m_sink)
        m_sink(msglib::encode(message));
}

void Subscriptions::NotifySql(const Key& key, Sql& sub, int64_t stamp) {
    std::vector<SqlResult> results = Run(sub.commands, stamp, sub.lastTime);
    sub.lastTime = stamp;
    // Only changed rows are selected; with none there is nothing to tell.
    bool any = std::any_of(results.begin(), results.end(),
                           [](const SqlResult& r) { return !r.rows.empty(); });
    if (!any)
        return;
    Message m;
    uint32_t id = std::get<1>(key);
    if (sub.faster) {
        std::vector<Stats_1_bll::commandResultFaster_s> out;
        for (const auto& r : results)
            out.push_back(ToCompactResult(r));
        responder_1_bll::create_req_DoSQLNotifyFaster(&m, id, out, true);
    } else {
        std::vector<Stats_1_bll::commandResult_s> out;
        for (const auto& r : results)
            out.push_back(ToFullResult(r));
        responder_1_bll::create_req_DoSQLNotify(&m, id, out, true);
    }
    Send(m, std::get<0>(key));
}

void Subscriptions::NotifyTable(const TableKey& key, Table& sub, int64_t stamp) {
    std::vector<SqlResult> results = Run({kAllColumns}, stamp, 0);
    Stats_1_bll::tableEventData_s data;
    for (uint32_t c = 0; c < 6; ++c)
        data.columnOrder.push_back({Stats_1_bll::columnVal_t::INT64, c});
    std::map<int64_t, std::vector<int64_t>> now;
    for (const auto& row : results[0].rows) {
        std::vector<int64_t> values;
        for (const auto& v : row)
            values.push_back(v.integer);
        now[values[0]] = values;
    }
    auto describe = [](int64_t id, const std::vector<int64_t>& values) {
        Stats_1_bll::rowDesc_s d;
        d.rowId = id;
        d.row.int64Values = values;
        return d;
    };
    for (const auto& [id, values] : now) {
        auto before = sub.seen.find(id);
        if (before == sub.seen.end()) {
            if (sub.props.subscribeAdded)
                data.addedRows.push_back(describe(id, values));
        } else if (before->second != values && sub.props.subscribeModified) {
            data.modifiedRows.push_back(describe(id, values));
        }
    }
    if (sub.props.subscribeDeleted) {
        for (const auto& [id, values] : sub.seen) {
            if (!now.count(id))
                data.deletedRowIds.push_back(id);
        }
    }
    sub.seen = std::move(now);
    if (data.addedRows.empty() && data.modifiedRows.empty() && data.deletedRowIds.empty())
        return;
    Message m;
    responder_1_bll::create_req_TableEventNotify(&m, key.second, data, true);
    Send(m, key.first);
}

int64_t Subscriptions::Poll(int64_t now, const std::function<int64_t()>& stamp) {
    int64_t next = INT64_MAX;
    // A subscription that fell more than an interval behind skips the missed ones instead of
    // sending a burst.
    auto advance = [now](int64_t& due, uint32_t intervalMs) {
        int64_t step = int64_t{intervalMs} * 1000;
        due += step;
        if (due <= now)
            due = now + step;
    };
    for (auto& [key, sub] : m_sql) {
        if (!sub.enabled)
            continue;
        if (sub.due <= now) {
            try {
                NotifySql(key, sub, stamp());
            } catch (const std::exception& e) {
                if (Log()->IsEnabledFor(LOG_ERROR)) {
                    Log()->Error(Name(std::get<0>(key), std::get<1>(key)) + ": " + e.what(),
                                 __FILE__, __LINE__);
                }
            }
            advance(sub.due, sub.intervalMs);
        }
        next = std::min(next, sub.due);
    }
    for (auto& [key, sub] : m_tables) {
        if (!sub.enabled)
            continue;
        if (sub.due <= now) {
            try {
                NotifyTable(key, sub, stamp());
            } catch (const std::exception& e) {
                if (Log()->IsEnabledFor(LOG_ERROR)) {
                    Log()->Error("table-event " + Name(key.first, key.second) + ": " + e.what(),
                                 __FILE__, __LINE__);
                }
            }
            advance(sub.due, sub.intervalMs);
        }
        next = std::min(next, sub.due);
    }
    return next;
}

}  // namespace orx::il
