// FUZZ_CHECK: an invariant of a fuzz target. A broken one prints where and
// aborts, so libFuzzer keeps the input as a crash file.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                         \
    do {                                                                                              \
        if (!(condition)) {                                                                           \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                             \
        }                                                                                             \
    } while (0)
