#pragma once

// ORX_BENCH_QUICK=1 (CI sets it) makes each figure one short measurement instead of the best of
// several rounds: the run then shows that the program works, not how fast it is.

#include <cstdlib>
#include <cstring>

namespace bench {

inline bool Quick() {
    const char* value = std::getenv("ORX_BENCH_QUICK");
    return value && *value && std::strcmp(value, "0") != 0;
}

// How many rounds a figure takes the best of.
inline int Rounds(int full) {
    return Quick() ? 1 : full;
}

}  // namespace bench
