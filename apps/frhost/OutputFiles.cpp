#include "OutputFiles.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace frhost {

namespace fs = std::filesystem;

std::string CheckOutputPath(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return "it is a directory";
    const fs::path parent = fs::path(path).parent_path();
    if (!parent.empty() && !fs::is_directory(parent, ec)) {
        // Appended, not "literal" + string: GCC 12 at -O3 reports a false -Wrestrict.
        std::string why = fs::exists(parent, ec) ? "\"" : "no such directory \"";
        why.append(parent.string()).append(fs::exists(parent, ec) ? "\" is not a directory" : "\"");
        return why;
    }
    return std::string();
}

std::string CheckOutputPaths(const std::vector<std::pair<std::string, std::string>>& outputs) {
    for (size_t i = 0; i < outputs.size(); ++i) {
        const auto& [given, path] = outputs[i];
        const std::string why = CheckOutputPath(path);
        if (!why.empty())
            return given + ": " + why;
        std::error_code ec;
        const fs::path canonical = fs::weakly_canonical(fs::absolute(path), ec);
        for (size_t j = 0; j < i && !ec; ++j) {
            std::error_code other;
            if (fs::weakly_canonical(fs::absolute(outputs[j].second), other) == canonical &&
                !other) {
                return given + ": the same file is also given as " + outputs[j].first;
            }
        }
    }
    return std::string();
}

void WriteFileAtomically(const std::string& path, const std::string& bytes) {
    const std::string why = CheckOutputPath(path);
    if (!why.empty())
        throw std::runtime_error("cannot write " + path + ": " + why);
    const std::string temporary = path + ".partial-" + std::to_string(::getpid());
    auto fail = [&](int error) {
        std::remove(temporary.c_str());
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(error));
    };
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        fail(errno);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int writeError = errno;
    if (std::fclose(file) != 0 || !written)
        fail(written ? errno : writeError);
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
        fail(errno);
}

}  // namespace frhost
