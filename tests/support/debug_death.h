// EXPECT_DEBUG_DEATH where GoogleTest has no death tests (WebAssembly: no
// fork, no second process). GoogleTest defines it only beside the death
// tests, although a release build merely runs the statement; that is what
// it does here too. A debug build, whose statement would have to die, says
// it cannot check that and goes on.
#pragma once

#include <gtest/gtest.h>

#if !GTEST_HAS_DEATH_TEST && !defined(EXPECT_DEBUG_DEATH)
#ifdef NDEBUG
#define EXPECT_DEBUG_DEATH(statement, regex)                                                       \
    do {                                                                                           \
        statement;                                                                                 \
        static_cast<void>(regex);                                                                  \
    } while (false)
#else
#define EXPECT_DEBUG_DEATH(statement, regex) EXPECT_DEATH_IF_SUPPORTED(statement, regex)
#endif
#endif
