#pragma once
// Property checks inside fuzz targets: a failed check prints what failed and
// aborts, which libFuzzer records as a crash with its input and a replay
// build reports as a failed test.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                      \
    do {                                                                                      \
        if (!(cond)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);    \
            std::abort();                                                                     \
        }                                                                                     \
    } while (0)
