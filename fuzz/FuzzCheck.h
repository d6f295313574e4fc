#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise found by a fuzz target: print it and abort, which libFuzzer reports as a crash
// and saves the input that caused it. Unlike assert() it stays on in every build type.
[[noreturn]] inline void fuzzCheckFailed(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : fuzzCheckFailed(#condition, __FILE__, __LINE__))
