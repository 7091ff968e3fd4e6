#pragma once

// JSON paths as errors name them: "objects[0].children[1].Delay".

#include <string>

namespace orx::scenario {

inline std::string Key(const std::string& path, const std::string& key) {
    return path.empty() ? key : path + "." + key;
}

inline std::string Index(const std::string& path, size_t i) {
    return path + "[" + std::to_string(i) + "]";
}

}  // namespace orx::scenario
