#pragma once

// What every fuzz entry point shares.

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// A broken invariant is a finding: stop so that the fuzzer keeps the input.
[[noreturn]] inline void broken(const std::string& what) {
    std::fputs(what.c_str(), stderr);
    std::fputc('\n', stderr);
    std::abort();
}

}  // namespace fuzz
