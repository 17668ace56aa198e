// Knobs for running the randomised parser tests longer by hand, e.g.
//   LWSMD_FUZZ_SCALE=100 LWSMD_FUZZ_SEED=7 build/sanitize/tests/shapereader_tests
// The defaults keep CI short and repeatable.
#pragma once

#include <cstdlib>

namespace fuzz_knobs {

// How many times the usual number of rounds to run (at least 1).
inline int scale() {
    const char* text = std::getenv("LWSMD_FUZZ_SCALE");
    const long value = text ? std::strtol(text, nullptr, 10) : 1;
    return value > 0 && value < 1000000 ? int(value) : 1;
}

// The seed to use instead of a test's own, when one is given.
inline unsigned seed(unsigned fallback) {
    const char* text = std::getenv("LWSMD_FUZZ_SEED");
    return text ? unsigned(std::strtoul(text, nullptr, 0)) : fallback;
}

}  // namespace fuzz_knobs
