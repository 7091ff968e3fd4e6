#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace spdlog {
class logger;
}

namespace orx::framework {

// Levels as callers pass them.
enum LogLevel : int {
    LOG_DEBUG = 1,
    LOG_INFO = 2,
    LOG_ERROR = 3,
    LOG_WARN = 4,
    LOG_OFF = 100,
};

struct LogRecord {
    std::string logger;
    int level;
    std::string text;
    std::string file;
    int line;
};

// Parses "debug", "info", "warn"/"warning", "error", "off" (or the numbers 1 to 4).
bool ParseLogLevel(const std::string& text, int& level);
const char* LogLevelName(int level);
// Reads "name=level[,name=level...]" (blanks around names and levels, and empty items, are
// ignored); false with the first malformed entry described in `error`, and no entries.
bool ParseLogSetting(const std::string& setting, std::vector<std::pair<std::string, int>>& entries,
                     std::string* error);

// A named logger. Call sites check IsEnabledFor before they build the text.
class BLLLogger {
  public:
    explicit BLLLogger(std::string name);
    ~BLLLogger();

    const std::string& GetName() const { return m_name; }
    bool IsEnabledFor(int level) const;
    void SetLevel(int level);
    int GetLevel() const { return m_threshold.load(std::memory_order_relaxed); }
    void SetConsoleEnabled(bool enabled);

    void Log(int level, const std::string& text, const char* file, int line);
    void Debug(const std::string& text, const char* file, int line) {
        Log(LOG_DEBUG, text, file, line);
    }
    void Info(const std::string& text, const char* file, int line) {
        Log(LOG_INFO, text, file, line);
    }
    void Warn(const std::string& text, const char* file, int line) {
        Log(LOG_WARN, text, file, line);
    }
    void Error(const std::string& text, const char* file, int line) {
        Log(LOG_ERROR, text, file, line);
    }

  private:
    std::string m_name;
    std::atomic<int> m_threshold;
    std::shared_ptr<spdlog::logger> m_backend;
};

// Hands out named loggers, made on first request and kept for the life of the process.
// A logger's level is the one configured for its name or for the nearest dotted prefix of it
// ("traffic" covers "traffic.responder"), else the default level (info).
// ORX_LOG="name=level,name=level" in the environment configures levels at start.
class BLLLoggerFactory {
  public:
    using Listener = std::function<void(const LogRecord&)>;

    static BLLLoggerFactory* GetInstance();

    BLLLogger* GetLogger(const std::string& name);

    void SetLevel(const std::string& name, int level);
    void SetDefaultLevel(int level);
    // Applies "name=level[,name=level...]"; returns false and leaves the rest untouched at the
    // first malformed entry, describing it in `error`.
    bool Configure(const std::string& setting, std::string* error);

    // Listeners see every record that passes its logger's level (tests, the host's UI).
    int AddListener(Listener listener);
    void RemoveListener(int id);

    void Dispatch(const LogRecord& record);
    std::shared_ptr<spdlog::logger> MakeBackend(const std::string& name);
    // Sends the console output to stderr (default) or nowhere.
    void SetConsoleEnabled(bool enabled);

  private:
    BLLLoggerFactory();
    int LevelFor(const std::string& name) const;

    mutable std::mutex m_mutex;
    std::map<std::string, std::unique_ptr<BLLLogger>> m_loggers;
    std::map<std::string, int> m_levels;
    int m_defaultLevel = LOG_INFO;
    std::map<int, Listener> m_listeners;
    int m_nextListener = 1;
    std::atomic<bool> m_console{true};
};

}  // namespace orx::framework
