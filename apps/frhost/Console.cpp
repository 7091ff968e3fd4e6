#include "Console.h"

#include <mutex>
#include <set>
#include <vector>

#include <orx/framework/Logger.h>

namespace frhost {

using namespace orx::framework;

namespace {

struct Details {
    std::mutex mutex;
    std::vector<std::string> texts;
    std::set<std::string> printed;
};

Details& State() {
    static Details details;
    return details;
}

}  // namespace

std::string Console::OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

void Console::Init(bool logsAsked) {
    auto* logging = BLLLoggerFactory::GetInstance();
    if (logsAsked)
        return;
    // Errors are recorded, not shown: the failure they explain is printed with them.
    logging->SetConsoleEnabled(false);
    logging->SetDefaultLevel(LOG_ERROR);
    logging->AddListener([](const LogRecord& record) {
        if (record.level != LOG_ERROR)
            return;
        Details& d = State();
        std::lock_guard lock(d.mutex);
        d.texts.push_back(OneLine(record.text));
    });
}

void Console::Failure(std::ostream& out, const std::string& text) {
    const std::string line = OneLine(text);
    out << line << '\n';
    Details& d = State();
    std::lock_guard lock(d.mutex);
    d.printed.insert(line);
    for (const std::string& detail : d.texts) {
        // What the failure's own text says, or a line already shown, adds nothing.
        if (detail.empty() || line.find(detail) != std::string::npos ||
            detail.find(line) != std::string::npos || !d.printed.insert(detail).second) {
            continue;
        }
        out << "  " << detail << '\n';
    }
    d.texts.clear();
}

}  // namespace frhost
