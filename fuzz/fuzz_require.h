#pragma once
// The one check of every fuzz target: a broken promise prints what broke and
// aborts, which libFuzzer keeps as a crash with its input.

#include <cstdio>
#include <cstdlib>

inline void require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}
