#pragma once
// A property that does not hold ends the run at once: libFuzzer keeps the
// input as a crash file, and the corpus replay test fails.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                            \
    do {                                                                                                 \
        if (!(condition)) {                                                                              \
            std::fprintf(stderr, "%s:%d: property does not hold: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                                \
        }                                                                                                \
    } while (0)
