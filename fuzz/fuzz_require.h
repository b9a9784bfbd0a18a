// REQUIRE: stops a fuzz run with the broken condition named, so a crash report says what failed.
#pragma once

#include <cstdio>
#include <cstdlib>

#define REQUIRE(condition)                                                                     \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: %s does not hold\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)
