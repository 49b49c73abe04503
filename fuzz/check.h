#pragma once

#include <cstdio>
#include <cstdlib>

// A broken invariant aborts the run, so that libFuzzer keeps the input as a crash artifact and
// the report names the condition that failed.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: invariant failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
