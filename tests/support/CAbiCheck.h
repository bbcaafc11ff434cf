/* Shared by the plain-C ABI tests: checks that print the expected and actual values with the
 * line. */
#pragma once

#include <stdio.h>
#include <string.h>

static int g_failures;
static int g_checks;

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        ++g_checks;                                                                                          \
        if (!(cond)) {                                                                                       \
            ++g_failures;                                                                                    \
            printf("%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                                  \
        }                                                                                                    \
    } while (0)
#define CHECK_EQ(expected, actual)                                                                           \
    do {                                                                                                     \
        long long e_ = (long long)(expected), a_ = (long long)(actual);                                      \
        ++g_checks;                                                                                          \
        if (e_ != a_) {                                                                                      \
            ++g_failures;                                                                                    \
            printf("%s:%d: %s: expected %lld (0x%llX), actual %lld (0x%llX)\n", __FILE__, __LINE__, #actual, \
                   e_, e_, a_, a_);                                                                          \
        }                                                                                                    \
    } while (0)
#define CHECK_STR(expected, actual)                                                                          \
    do {                                                                                                     \
        ++g_checks;                                                                                          \
        if (strcmp((expected), (actual)) != 0) {                                                             \
            ++g_failures;                                                                                    \
            printf("%s:%d: %s: expected \"%s\", actual \"%s\"\n", __FILE__, __LINE__, #actual, (expected),   \
                   (actual));                                                                                \
        }                                                                                                    \
    } while (0)
