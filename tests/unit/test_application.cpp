// The application description through the runtime, with SDL's dummy video
// driver and the GL recorder: a bad description is refused with one line
// before anything starts; the set-up callback runs after the engine set-up,
// the event callback after the pump applied the event, and the frame
// callback after the scene update and the clear; app_scene exists at set-up;
// a description without a shader folder finds one or ends start-up.
#include "app/input.h"
#include "app/pacer.h"
#include "app/runtime.h"
#include "app/shader_location.h"
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/render_texture.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/sprite.h"
#include "shader/program.h"
#include "tests/support/engine_objects_reset.h"
#include "tests/support/fake_gl.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class APPLICATION_TEST : public ::testing::Test {
  protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        fake_gl::reset();
        reset_engine_objects();
        frame_stats_reset();
        time_source_use_sdl();
        gl_context_alive = true;
        pacer_defaults();
        keyboard_create();
        mouse_create();
        events_setup();
    }
    void TearDown() override {
        app_use(APPLICATION{});
        delete app_scene;
        scene_reset();
        reset_shader_programs();
        gl_context_alive = false;
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

// What the callbacks saw, in the order they ran.
struct SEEN {
    std::vector<std::string> order;
    bool engine_ready_at_setup = false;
    bool key_recorded_at_event = false;
    float scene_time_at_frame = -1.0f;
    bool cleared_before_frame = false;
};

SEEN& seen(void* user) {
    return *static_cast<SEEN*>(user);
}

} // namespace

TEST_F(APPLICATION_TEST, a_bad_description_is_refused_with_one_line_before_anything_starts) {
    APPLICATION good;
    good.frame = [](void*) {};
    EXPECT_EQ(application_fault(good), nullptr);
    APPLICATION no_title = good, no_width = good, negative_height = good, no_frame = good;
    no_title.title = nullptr;
    no_width.width = 0;
    negative_height.height = -600;
    no_frame.frame = nullptr;
    EXPECT_STREQ(application_fault(no_title), "the window has no title");
    EXPECT_STREQ(application_fault(no_width), "the window size is not positive");
    EXPECT_STREQ(application_fault(negative_height), "the window size is not positive");
    EXPECT_STREQ(application_fault(no_frame), "there is no frame callback");

    testing::internal::CaptureStderr();
    EXPECT_EQ(app_run(no_frame), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexa: cannot run the application: there is no frame callback\n");
    EXPECT_TRUE(fake_gl::log().empty()) << "nothing reached GL";
    EXPECT_EQ(app_in_use().frame, nullptr) << "the refused description is not taken up";

    APPLICATION failing = good;
    failing.setup = [](void*) { return false; };
    app_use(failing);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(application_setup());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the set-up says why itself";
}

TEST_F(APPLICATION_TEST, callbacks_run_after_engine_setup_event_pump_update_and_clear) {
    SEEN record;
    APPLICATION app;
    app.user = &record;
    app.setup = [](void* user) {
        seen(user).order.push_back("setup");
        seen(user).engine_ready_at_setup = program_sprites2d && default_camera;
        app_scene = new SCENE;
        return true;
    };
    app.event = [](const SDL_Event& event, void* user) {
        if (event.type == SDL_KEYDOWN) {
            seen(user).order.push_back("event");
            seen(user).key_recorded_at_event = key_pressed(SDLK_a);
        }
    };
    app.frame = [](void* user) {
        seen(user).order.push_back("frame");
        seen(user).scene_time_at_frame = app_scene->time;
        const auto& log = fake_gl::log();
        seen(user).cleared_before_frame =
            std::any_of(log.begin(), log.end(),
                        [](const std::string& s) { return s.rfind("glClear(", 0) == 0; });
    };
    app_use(app);
    ASSERT_TRUE(application_setup());
    fake_gl::take();

    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_a;
    SDL_PushEvent(&key);
    ASSERT_TRUE(loop_pass());

    EXPECT_EQ(record.order, (std::vector<std::string>{"setup", "event", "frame"}));
    EXPECT_TRUE(record.engine_ready_at_setup);
    EXPECT_TRUE(record.key_recorded_at_event);
    EXPECT_FLOAT_EQ(record.scene_time_at_frame, SCENE_TIME_STEP);
    EXPECT_TRUE(record.cleared_before_frame);
}

TEST_F(APPLICATION_TEST, set_up_finds_app_scene_made_and_a_replaced_unused_one_costs_nothing) {
    APPLICATION app;
    app.frame = [](void*) {};
    // Used as given: no scene of its own made first.
    app.setup = [](void*) {
        return app_scene != nullptr && add_sprite_2d(&app_scene->layer2, app_scene) != nullptr;
    };
    app_use(app);
    fake_gl::take();
    ASSERT_TRUE(application_setup());
    EXPECT_FALSE(fake_gl::take().empty()) << "the engine set-up ran";
    EXPECT_EQ(app_scene->target.framebuffer, 0u) << "the target waits for a render to texture";
    ASSERT_NE(scene_target_texture(app_scene), nullptr);
    EXPECT_NE(app_scene->target.framebuffer, 0u) << "made when first asked for";
    delete app_scene->layer2.sprites2d;
    app_scene->layer2 = SCENE_LAYER{};
    delete app_scene;

    // Replaced at once, as the demonstration does: the provided scene sent
    // nothing to GL, so the set-up's own scene is all GL sees.
    app.setup = [](void*) {
        fake_gl::take();
        app_scene = new SCENE;
        return true;
    };
    app_use(app);
    reset_engine_objects(); // the first set-up's programs and objects
    ASSERT_TRUE(application_setup());
    EXPECT_EQ(app_scene->target.framebuffer, 0u) << "a new scene makes its target when first used";
    EXPECT_EQ(current_scene, app_scene);
}

TEST_F(APPLICATION_TEST, no_shader_folder_named_or_found_ends_start_up_with_one_line) {
    // The cross builds put shaders/ beside their programs, the test included:
    // there a folder is always found.
    for (const std::string& beside :
         {shaders_beside_executable(), installed_shader_directory(),
          std::string(package_shader_directory() ? package_shader_directory() : "")}) {
        std::error_code error;
        if (!beside.empty() && std::filesystem::is_directory(beside, error)) {
            GTEST_SKIP() << "shaders are found beside the test program: " << beside;
        }
    }
    const std::filesystem::path here = std::filesystem::current_path();
    const std::filesystem::path empty =
        std::filesystem::temp_directory_path() /
        ("vexa-shaders-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ASSERT_TRUE(std::filesystem::create_directory(empty));
    std::filesystem::current_path(empty);
    APPLICATION app;
    app.frame = [](void*) {};
    testing::internal::CaptureStderr();
    const int status = app_run(app);
    const std::string said = testing::internal::GetCapturedStderr();
    const std::string none_found = find_shader_directory();
    std::filesystem::create_directory(empty / "shaders");
    const std::string found = find_shader_directory();
    std::filesystem::current_path(here);
    std::filesystem::remove_all(empty);

    EXPECT_EQ(status, 1);
    EXPECT_EQ(said.rfind("vexa: cannot run the application: no shader folder (", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_TRUE(fake_gl::log().empty()) << "nothing reached GL";
    EXPECT_EQ(none_found, "");
    EXPECT_EQ(found, "shaders");
}
