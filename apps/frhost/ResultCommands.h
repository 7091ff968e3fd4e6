#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace frhost {

// One configuration's results as read from its result object.
struct ResultRow {
    std::string name;  // the result parent's name
    std::string port;  // the port it sits on
    uint32_t handle = 0;
    std::vector<std::string> values;  // per column, as text
};

struct ResultTable {
    std::vector<std::string> columns;  // the result properties, in data-model order
    std::vector<ResultRow> rows;       // in handle order
};

// Subscribes a result view over the project to every result type of every registered result
// handler (every property of the result class, in data-model order). Raises
// orx::framework::COrxRunTimeError when a subscription cannot be made.
void SubscribeProject(uint32_t intervalMs);
// Delivers the notifications that arrived, then asks every port once more so that the result
// objects hold the test ports' values of this moment.
void RefreshResults();
// The rows of every live subscription, read from the result objects.
ResultTable ReadResults();
// Ends every subscription (the test ports stop notifying).
void EndSubscriptions();

void PrintResults(const ResultTable& table, std::ostream& out);
// Columns under their header, the first two (names) to the left, the others to the right.
void PrintTable(const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows, std::ostream& out);
// One row as a JSON object: name and port (with `names`), handle and one key per column
// (numbers where the text is an unsigned integer).
nlohmann::ordered_json ResultRowJson(const ResultTable& table, const ResultRow& row, bool names);
// A JSON array of objects: name, port, handle and one key per column (numbers where the text
// is an integer). Raises std::runtime_error naming the file when it cannot be written.
void WriteResultsJson(const ResultTable& table, const std::string& path);

// The roll-up of every registered result provider under each object of `rootClass` ("port",
// "probe" or "project").
void PrintProviderViews(const std::string& rootClass, std::ostream& out);

}  // namespace frhost
