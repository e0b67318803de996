// save_screenshot against the recording GL stand-in: the request waits for
// the frame to be presented, reads the window's drawable size back once and
// writes an opaque PNG file; without a window or a name it says why.
#include "app/runtime.h"
#include "capture/screenshot.h"
#include "gfx/gl.h"
#include "gfx/window.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

TEST(screenshot, waits_for_the_present_then_writes_the_drawable_size_opaque_once) {
    const char* path = "build-test-screenshot.png";
    std::remove(path);
    APP_WINDOW* saved_window = app_window;
    void (*saved_hook)() = screenshot_present_hook;
    void (*saved_program_hook)() = before_present_hook;
    const bool saved_alive = gl_context_alive;
    app_window = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(save_screenshot(path));
    EXPECT_FALSE(save_screenshot(nullptr));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 2) << said; // one line each

    APP_WINDOW window{};
    window.width = 3; // drawable pixels
    window.height = 2;
    app_window = &window;
    gl_context_alive = true;
    screenshot_present_hook = nullptr;
    before_present_hook = [] {}; // a program's own hook does not displace it
    fake_gl::reset();
    ASSERT_TRUE(save_screenshot(path));
    EXPECT_TRUE(fake_gl::log().empty()); // nothing read before the frame is complete
    ASSERT_NE(screenshot_present_hook, nullptr);
    screenshot_present_hook();
    const auto& log = fake_gl::log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& s) { return s.rfind("glReadPixels(", 0) == 0; }),
              1);

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path)) << image.message;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    EXPECT_EQ(image.width, 3u);
    EXPECT_EQ(image.height, 2u);
    for (size_t i = 3; i < rgba.size(); i += 4) {
        EXPECT_EQ(rgba[i], 255); // the stand-in's back buffer is all zero, alpha too
    }
    // The request is spent: the next present writes nothing.
    std::remove(path);
    screenshot_present_hook();
    EXPECT_EQ(std::fopen(path, "rb"), nullptr);

    app_window = saved_window;
    screenshot_present_hook = saved_hook;
    before_present_hook = saved_program_hook;
    gl_context_alive = saved_alive;
}
