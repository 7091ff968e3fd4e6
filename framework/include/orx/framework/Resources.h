#pragma once

#include <charconv>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace orx::framework {

// The host's string table: message texts by numeric id.
class CResourceManager {
  public:
    static CResourceManager& Instance();

    void AddStringResource(long id, const std::string& text);
    // False when the id is unknown.
    bool GetStringResource(long id, std::string& text) const;
    // Ids in the order they were first added.
    std::vector<long> GetIds() const;

  private:
    mutable std::mutex m_mutex;
    std::map<long, std::string> m_strings;
    std::vector<long> m_order;
};

// Fills a string resource's placeholders {1}, {2}, ... with the arguments in the order they are
// streamed in; numbers are written in decimal. An unknown id formats as "<unknown resource N>".
class ResourceFormatter {
  public:
    explicit ResourceFormatter(long id) : m_id(id) {}

    ResourceFormatter& operator<<(const std::string& arg) {
        m_args.push_back(arg);
        return *this;
    }
    ResourceFormatter& operator<<(const char* arg) {
        m_args.emplace_back(arg ? arg : "");
        return *this;
    }
    template <class T, class = std::enable_if_t<std::is_arithmetic_v<T>>>
    ResourceFormatter& operator<<(T arg) {
        if constexpr (std::is_same_v<T, bool>) {
            m_args.emplace_back(arg ? "true" : "false");
        } else if constexpr (sizeof(T) == 1 && std::is_integral_v<T>) {
            m_args.push_back(std::to_string(static_cast<int>(arg)));
        } else if constexpr (std::is_floating_point_v<T>) {
            // Shortest text that reads back as the same number (a stream keeps 6 digits only).
            char text[64];
            auto end = std::to_chars(text, text + sizeof text, arg).ptr;
            m_args.emplace_back(text, end);
        } else {
            std::ostringstream out;
            out << arg;
            m_args.push_back(out.str());
        }
        return *this;
    }

    std::string ToString() const;

  private:
    long m_id;
    std::vector<std::string> m_args;
};

}  // namespace orx::framework
