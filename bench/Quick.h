#pragma once

// ORX_BENCH_QUICK=1 (CI sets it) makes each figure one short measurement instead of the best of
// several rounds: the run then shows that the program works, not how fast it is.

#include <algorithm>
#include <chrono>
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

// The best of Rounds(rounds) rounds of `iterations` calls of f, in calls per second.
template <class F>
double BestRate(int rounds, int iterations, F&& f) {
    using clock = std::chrono::steady_clock;
    double best = 0;
    for (int round = 0, n = Rounds(rounds); round < n; ++round) {
        const auto start = clock::now();
        for (int i = 0; i < iterations; ++i)
            f();
        const double seconds = std::chrono::duration<double>(clock::now() - start).count();
        best = std::max(best, iterations / seconds);
    }
    return best;
}

}  // namespace bench
