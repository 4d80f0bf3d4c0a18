#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace fuzz {

// A broken promise of the code under test: reported, then the process aborts so that libFuzzer
// keeps the input and the regression replay fails.
[[noreturn]] inline void fail(std::string_view what)
{
    std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

inline void check(bool condition, std::string_view what)
{
    if (!condition)
        fail(what);
}

} // namespace fuzz
