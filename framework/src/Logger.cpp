#include <orx/framework/Logger.h>
#include <orx/text/Text.h>

#include <spdlog/sinks/stdout_color_sinks.h>
#include <spdlog/spdlog.h>

#include <cstdlib>
#include <sstream>

namespace orx::framework {

namespace {

spdlog::level::level_enum ToSpdlog(int level) {
    switch (level) {
        case LOG_DEBUG:
            return spdlog::level::debug;
        case LOG_INFO:
            return spdlog::level::info;
        case LOG_WARN:
            return spdlog::level::warn;
        case LOG_ERROR:
            return spdlog::level::err;
        default:
            return spdlog::level::off;
    }
}

// Order of severity; the numeric level values are not ordered (3 is error, 4 warning).
int Severity(int level) {
    switch (level) {
        case LOG_DEBUG:
            return 1;
        case LOG_INFO:
            return 2;
        case LOG_WARN:
            return 3;
        case LOG_ERROR:
            return 4;
        default:
            return 100;
    }
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t");
    size_t e = s.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

}  // namespace

bool ParseLogLevel(const std::string& text, int& level) {
    if (text == "debug" || text == "1") {
        level = LOG_DEBUG;
    } else if (text == "info" || text == "2") {
        level = LOG_INFO;
    } else if (text == "error" || text == "3") {
        level = LOG_ERROR;
    } else if (text == "warn" || text == "warning" || text == "4") {
        level = LOG_WARN;
    } else if (text == "off") {
        level = LOG_OFF;
    } else {
        return false;
    }
    return true;
}

const char* LogLevelName(int level) {
    switch (level) {
        case LOG_DEBUG:
            return "debug";
        case LOG_INFO:
            return "info";
        case LOG_WARN:
            return "warn";
        case LOG_ERROR:
            return "error";
        default:
            return "off";
    }
}

BLLLogger::BLLLogger(std::string name)
    : m_name(std::move(name)),
      m_threshold(LOG_INFO),
      m_backend(BLLLoggerFactory::GetInstance()->MakeBackend(m_name)) {}

BLLLogger::~BLLLogger() = default;

bool BLLLogger::IsEnabledFor(int level) const {
    return Severity(level) < 100 && Severity(level) >= Severity(GetLevel());
}

void BLLLogger::SetConsoleEnabled(bool enabled) {
    m_backend->set_level(enabled ? spdlog::level::trace : spdlog::level::off);
}

void BLLLogger::SetLevel(int level) {
    m_threshold.store(level, std::memory_order_relaxed);
}

void BLLLogger::Log(int level, const std::string& text, const char* file, int line) {
    if (!IsEnabledFor(level))
        return;
    m_backend->log(spdlog::source_loc{file, line, ""}, ToSpdlog(level), "{}", text);
    BLLLoggerFactory::GetInstance()->Dispatch(
        LogRecord{m_name, level, text, file ? file : "", line});
}

BLLLoggerFactory::BLLLoggerFactory() {
    if (const char* env = std::getenv("ORX_LOG")) {
        std::string error;
        if (!Configure(env, &error)) {
            // The factory is the logging system itself: report the bad setting on stderr once.
            spdlog::warn("ORX_LOG ignored from the bad entry on: {}", error);
        }
    }
}

BLLLoggerFactory* BLLLoggerFactory::GetInstance() {
    static BLLLoggerFactory instance;
    return &instance;
}

std::shared_ptr<spdlog::logger> BLLLoggerFactory::MakeBackend(const std::string& name) {
    static auto sink = std::make_shared<spdlog::sinks::stderr_color_sink_mt>();
    auto logger = std::make_shared<spdlog::logger>(name, sink);
    logger->set_pattern("%Y-%m-%d %H:%M:%S.%e %^%-5l%$ [%n] %v");
    logger->set_level(m_console.load() ? spdlog::level::trace : spdlog::level::off);
    return logger;
}

BLLLogger* BLLLoggerFactory::GetLogger(const std::string& name) {
    std::lock_guard lock(m_mutex);
    auto it = m_loggers.find(name);
    if (it != m_loggers.end())
        return it->second.get();
    auto logger = std::make_unique<BLLLogger>(name);
    logger->SetLevel(LevelFor(name));
    BLLLogger* raw = logger.get();
    m_loggers.emplace(name, std::move(logger));
    return raw;
}

int BLLLoggerFactory::LevelFor(const std::string& name) const {
    std::string key = name;
    while (true) {
        auto it = m_levels.find(key);
        if (it != m_levels.end())
            return it->second;
        size_t dot = key.rfind('.');
        if (dot == std::string::npos)
            break;
        key.resize(dot);
    }
    return m_defaultLevel;
}

void BLLLoggerFactory::SetLevel(const std::string& name, int level) {
    std::lock_guard lock(m_mutex);
    m_levels[name] = level;
    for (auto& [loggerName, logger] : m_loggers)
        logger->SetLevel(LevelFor(loggerName));
}

void BLLLoggerFactory::SetDefaultLevel(int level) {
    std::lock_guard lock(m_mutex);
    m_defaultLevel = level;
    for (auto& [loggerName, logger] : m_loggers)
        logger->SetLevel(LevelFor(loggerName));
}

bool ParseLogSetting(const std::string& setting, std::vector<std::pair<std::string, int>>& entries,
                     std::string* error) {
    entries.clear();
    for (const std::string& item : orx::text::SplitList(setting)) {
        if (item.empty())
            continue;
        size_t eq = item.find('=');
        int level = 0;
        if (eq == std::string::npos || eq == 0 ||
            !ParseLogLevel(Trim(item.substr(eq + 1)), level)) {
            if (error) {
                *error =
                    "\"" + item +
                    "\": expected LOGGER=LEVEL with LEVEL one of debug, info, warn, error, off";
            }
            entries.clear();
            return false;
        }
        entries.emplace_back(Trim(item.substr(0, eq)), level);
    }
    return true;
}

bool BLLLoggerFactory::Configure(const std::string& setting, std::string* error) {
    std::vector<std::pair<std::string, int>> entries;
    if (!ParseLogSetting(setting, entries, error))
        return false;
    for (const auto& [name, level] : entries)
        SetLevel(name, level);
    return true;
}

int BLLLoggerFactory::AddListener(Listener listener) {
    std::lock_guard lock(m_mutex);
    int id = m_nextListener++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void BLLLoggerFactory::RemoveListener(int id) {
    std::lock_guard lock(m_mutex);
    m_listeners.erase(id);
}

void BLLLoggerFactory::Dispatch(const LogRecord& record) {
    std::map<int, Listener> listeners;
    {
        std::lock_guard lock(m_mutex);
        if (m_listeners.empty())
            return;
        listeners = m_listeners;
    }
    for (auto& [id, listener] : listeners)
        listener(record);
}

void BLLLoggerFactory::SetConsoleEnabled(bool enabled) {
    std::lock_guard lock(m_mutex);
    m_console = enabled;
    for (auto& [name, logger] : m_loggers)
        logger->SetConsoleEnabled(enabled);
}

}  // namespace orx::framework
