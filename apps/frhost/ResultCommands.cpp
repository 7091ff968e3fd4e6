#include "ResultCommands.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include <orx/core/HostClasses.h>
#include <orx/core/ResultViews.h>
#include <orx/core/Results.h>
#include <orx/framework/HandleRegistry.h>
#include <orx/framework/Rpc.h>
#include "OutputFiles.h"

namespace frhost {

using namespace orx::core;
using namespace orx::framework;

void SubscribeProject(uint32_t intervalMs) {
    for (const auto& handler : CResultModule::Instance().GetHandlers()) {
        for (const auto& [type, info] : handler->GetResultTypes()) {
            (void)info;
            handler->Subscribe(ResultSubscription(type, {ORX_PROJECT_HANDLE}, {}, intervalMs));
        }
    }
}

void RefreshResults() {
    CRpcManager::Instance().ProcessNotifications();
    for (const auto& handler : CResultModule::Instance().GetHandlers())
        handler->RefreshAll();
}

void EndSubscriptions() {
    for (const auto& handler : CResultModule::Instance().GetHandlers())
        handler->UnsubscribeAll();
}

ResultTable ReadResults() {
    ResultTable table;
    for (const auto& handler : CResultModule::Instance().GetHandlers()) {
        for (uint32_t id : handler->GetSubscriptionIds()) {
            const CSubscriptionRecord* record = handler->FindSubscription(id);
            if (table.columns.empty()) {
                for (const CMetaProperty* p : record->GetProperties())
                    table.columns.push_back(p->GetName());
            }
            for (const auto& [portKey, info] : record->GetPortResultsMap()) {
                CScriptable* port = CHandleRegistry::Instance().Find(portKey);
                for (const auto& [parentHandle, data] : info.GetParentMap()) {
                    CScriptable* parent = CHandleRegistry::Instance().Find(parentHandle);
                    CScriptable* result = CHandleRegistry::Instance().Find(data.result);
                    if (!parent || !result)
                        continue;
                    ResultRow row{parent->GetName(), port ? port->GetName() : "", parentHandle, {}};
                    for (const CMetaProperty* p : record->GetProperties()) {
                        row.values.push_back(result->HasProperty(p->GetId())
                                                 ? result->GetProperty(p->GetId()).GetValueText()
                                                 : "");
                    }
                    table.rows.push_back(std::move(row));
                }
            }
        }
    }
    std::sort(table.rows.begin(), table.rows.end(),
              [](const ResultRow& a, const ResultRow& b) { return a.handle < b.handle; });
    return table;
}

void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
    std::vector<size_t> width(header.size());
    for (size_t c = 0; c < header.size(); ++c) {
        width[c] = header[c].size();
        for (const auto& r : rows)
            width[c] = std::max(width[c], r[c].size());
    }
    auto line = [&](const std::vector<std::string>& cells) {
        for (size_t c = 0; c < cells.size(); ++c) {
            // Names left, numbers right.
            if (c == 0 || c == 1)
                out << std::left;
            else
                out << std::right;
            out << std::setw(static_cast<int>(width[c])) << cells[c]
                << (c + 1 < cells.size() ? "  " : "");
        }
        out << std::left << '\n';
    };
    line(header);
    for (const auto& r : rows)
        line(r);
}

void PrintResults(const ResultTable& table, std::ostream& out) {
    std::vector<std::string> header{"name", "port", "handle"};
    header.insert(header.end(), table.columns.begin(), table.columns.end());
    std::vector<std::vector<std::string>> rows;
    for (const ResultRow& r : table.rows) {
        std::vector<std::string> cells{r.name, r.port, std::to_string(r.handle)};
        cells.insert(cells.end(), r.values.begin(), r.values.end());
        rows.push_back(std::move(cells));
    }
    PrintTable(header, rows, out);
}

nlohmann::ordered_json ResultRowJson(const ResultTable& table, const ResultRow& r, bool names) {
    nlohmann::ordered_json row;
    if (names) {
        row["name"] = r.name;
        row["port"] = r.port;
    }
    row["handle"] = r.handle;
    for (size_t c = 0; c < table.columns.size(); ++c) {
        const std::string& text = r.values[c];
        char* end = nullptr;
        errno = 0;
        unsigned long long n = std::strtoull(text.c_str(), &end, 10);
        if (!text.empty() && text[0] != '-' && *end == '\0' && errno == 0)
            row[table.columns[c]] = n;
        else
            row[table.columns[c]] = text;
    }
    return row;
}

void WriteResultsJson(const ResultTable& table, const std::string& path) {
    nlohmann::ordered_json rows = nlohmann::ordered_json::array();
    for (const ResultRow& r : table.rows)
        rows.push_back(ResultRowJson(table, r, true));
    WriteFileAtomically(path, rows.dump(2) + '\n');
}

void PrintProviderViews(const std::string& rootClass, std::ostream& out) {
    static const std::map<std::string, std::string> kClasses{
        {"port", "Port"}, {"probe", "Probe"}, {"project", "Project"}};
    auto cls = kClasses.find(rootClass);
    if (cls == kClasses.end())
        throw std::runtime_error("--view takes port, probe or project, not " + rootClass);
    CResultProviderRegistry::Instance().RunRegistrations();
    for (const auto& [name, provider] : CResultProviderRegistry::Instance().GetProviders()) {
        (void)provider;
        ProviderView view = CResultViews::Build(name, cls->second);
        out << name << " by " << rootClass << '\n';
        std::vector<std::string> header{rootClass, "handle"};
        header.insert(header.end(), view.columns.begin(), view.columns.end());
        header.push_back("sources");
        std::vector<std::vector<std::string>> rows;
        for (const ProviderViewRow& r : view.rows) {
            std::vector<std::string> cells{r.name, std::to_string(r.root)};
            for (uint64_t s : r.sums)
                cells.push_back(std::to_string(s));
            cells.push_back(std::to_string(r.sources));
            rows.push_back(std::move(cells));
        }
        PrintTable(header, rows, out);
    }
}

}  // namespace frhost
