// Whether a missing GL context skips a real-GL test or fails it. A plain
// ctest without a display skips those tests; scripts/with-display.sh sets
// VEXA_REQUIRE_GL so that there they can never pass by being skipped.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string_view>

// True when the run demands real GL (VEXA_REQUIRE_GL set and not "0").
inline bool gl_required() {
    const char* v = std::getenv("VEXA_REQUIRE_GL");
    return v != nullptr && *v != '\0' && std::string_view(v) != "0";
}

// Skips the current test, or fails it when the run demands real GL.
#define GL_SKIP_OR_FAIL(why)                                                                       \
    do {                                                                                           \
        if (gl_required()) {                                                                       \
            FAIL() << why << " (VEXA_REQUIRE_GL is set)";                                          \
        }                                                                                          \
        GTEST_SKIP() << why;                                                                       \
    } while (0)
