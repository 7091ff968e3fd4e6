#include <orx/framework/Resources.h>

#include <cctype>

namespace orx::framework {

CResourceManager& CResourceManager::Instance() {
    static CResourceManager instance;
    return instance;
}

void CResourceManager::AddStringResource(long id, const std::string& text) {
    std::lock_guard lock(m_mutex);
    if (m_strings.insert_or_assign(id, text).second)
        m_order.push_back(id);
}

std::vector<long> CResourceManager::GetIds() const {
    std::lock_guard lock(m_mutex);
    return m_order;
}

bool CResourceManager::GetStringResource(long id, std::string& text) const {
    std::lock_guard lock(m_mutex);
    auto it = m_strings.find(id);
    if (it == m_strings.end())
        return false;
    text = it->second;
    return true;
}

std::string ResourceFormatter::ToString() const {
    std::string pattern;
    if (!CResourceManager::Instance().GetStringResource(m_id, pattern)) {
        return "<unknown resource " + std::to_string(m_id) + ">";
    }
    // Replace {n} by the n-th argument; a placeholder without an argument stays as written.
    std::string out;
    out.reserve(pattern.size() + 32);
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '{') {
            size_t j = i + 1;
            while (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])))
                ++j;
            if (j > i + 1 && j < pattern.size() && pattern[j] == '}' && j - i < 8) {
                size_t n = std::stoul(pattern.substr(i + 1, j - i - 1));
                if (n >= 1 && n <= m_args.size()) {
                    out += m_args[n - 1];
                    i = j;
                    continue;
                }
            }
        }
        out += pattern[i];
    }
    return out;
}

}  // namespace orx::framework
