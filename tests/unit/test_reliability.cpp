// Reliability of the whole program without a display: the demonstration's
// loop passes make no heap allocation once running, the demonstration state
// run a million frames still gives finite constants and defined pictures
// (the sanitizer build checks every float-to-integer conversion), and a
// program whose build failed is never handed to glUseProgram. Uses SDL's
// dummy video driver, the GL recorder and tests/support/alloc_counter.
#include "app/input.h"
#include "app/pacer.h"
#include "app/runtime.h"
#include "gfx/window.h"
#include "demo/demo.h"
#include "demo/fractal.h"
#include "gfx/frame_stats.h"
#include "gfx/gl.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/sprite.h"
#include "shader/program.h"
#include "tests/support/engine_objects_reset.h"
#include "tests/support/alloc_counter.h"
#include "tests/support/fake_gl.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using fake_gl::call;

namespace fake_gl {
extern bool muted; // the stand-in formats and logs nothing while set
}

namespace {

// Keeps the probe allocation from being optimised away.
void* volatile allocation_sink = nullptr;

uint32_t still_mouse(int* x, int* y) {
    *x = 512;
    *y = 300;
    return 0;
}

// The program's start-up from the engine set-up on, against the recorder and
// without a window: what app_startup does after the window exists.
class DEMO_LOOP : public ::testing::Test {
  protected:
    void SetUp() override {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        fake_gl::reset();
        reset_engine_objects();
        frame_stats_reset();
        time_source_use_sdl();
        mouse_state_source = still_mouse;
        gl_context_alive = true;
        pacer_defaults();
        keyboard_create();
        mouse_create();
        events_setup();
        app_use(demo_application());
        // The runtime's own set-up path: its provided scene included.
        ASSERT_TRUE(application_setup());
        startup_log = fake_gl::take();
    }
    void TearDown() override {
        fake_gl::muted = false;
        if (app_scene) {
            SPRITE2D* sprite = app_scene->layer2.sprites2d;
            app_scene->layer2 = SCENE_LAYER{};
            delete sprite;
            delete app_scene;
        }
        demo_reset();
        app_use(APPLICATION{});
        scene_reset();
        reset_shader_programs();
        gl_context_alive = false;
        mouse_state_source = SDL_GetMouseState;
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }

    std::vector<std::string> startup_log; // engine and demonstration set-up

    // A little of everything the pump handles: a key tapped, a wheel
    // step, focus changes and a button the window does not accept yet.
    static void push_input(int pass) {
        SDL_Event e{};
        e.type = (pass & 1) ? SDL_KEYUP : SDL_KEYDOWN;
        e.key.keysym.sym = SDLK_a;
        SDL_PushEvent(&e);
        e = SDL_Event{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = (pass & 1) ? 1 : -1;
        SDL_PushEvent(&e);
        e = SDL_Event{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = (pass & 1) ? SDL_WINDOWEVENT_FOCUS_LOST : SDL_WINDOWEVENT_FOCUS_GAINED;
        SDL_PushEvent(&e);
        e = SDL_Event{};
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.button = SDL_BUTTON_LEFT;
        SDL_PushEvent(&e);
    }
};

TEST_F(DEMO_LOOP, steady_state_loop_passes_make_no_heap_allocation) {
    if (!alloc_counter::available()) {
        GTEST_SKIP() << "allocation counting is off in this build (sanitizers, or no glibc)";
    }
    // Warm-up: the worker pool starts, SDL's event queue grows, the first
    // texture upload creates the GL texture.
    for (int pass = 0; pass < 5; ++pass) {
        push_input(pass);
        ASSERT_TRUE(loop_pass());
    }
    fake_gl::muted = true;
    unsigned long allocations = 0;
    uint32_t draws = 0, uploads = 0;
    for (int pass = 0; pass < 20; ++pass) {
        push_input(pass);
        // Every thread counts: the picture is computed on the worker pool.
        alloc_counter::start(true);
        const bool running = loop_pass();
        allocations += alloc_counter::stop();
        ASSERT_TRUE(running);
        draws += frame_stats.draws;
        uploads += frame_stats.uploads;
    }
    fake_gl::muted = false;
    EXPECT_EQ(allocations, 0u);
    EXPECT_GE(draws, 20u) << "every pass draws the sprite";
    EXPECT_GE(uploads, 20u) << "every pass uploads the new picture";

    // The counter sees an allocation made on another thread.
    std::atomic<bool> go{false};
    std::thread other([&go] {
        while (!go.load()) {
            std::this_thread::yield();
        }
        allocation_sink = std::malloc(64);
        std::free(allocation_sink);
    });
    alloc_counter::start(true);
    go.store(true);
    other.join();
    EXPECT_EQ(alloc_counter::stop(), 1u);
}

// Each pass computes the next frame's picture in the background; the frame
// must still show exactly the picture of the state it arrives at, also when
// that state or the path changed after the background picture was started.
TEST_F(DEMO_LOOP, every_frame_shows_the_reference_picture_of_its_own_state) {
    int width = 0, height = 0;
    ASSERT_NE(demo_picture(&width, &height), nullptr);
    std::vector<uint32_t> expected(size_t(width) * size_t(height));
    for (int pass = 1; pass <= 6; ++pass) {
        if (pass == 4) {
            // Moved on behind the demonstration's back: the picture started
            // for the predicted state no longer applies.
            fractal_demo.phase += 0.5f;
            fractal_demo.drift = 1.25f;
        }
        if (pass == 6) {
            demo_use_path(FRACTAL_SCALAR);
        }
        FRACTAL_DEMO state = fractal_demo;
        const FRACTAL_FRAME frame = fractal_frame_advance(state, true, width, height);
        ASSERT_TRUE(fractal_render(frame, expected.data(), width, height, FRACTAL_FAST_ONE_THREAD));
        ASSERT_TRUE(loop_pass());
        const uint32_t* shown = demo_picture(&width, &height);
        ASSERT_NE(shown, nullptr);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), shown)) << "pass " << pass;
        EXPECT_EQ(fractal_demo.phase, state.phase) << "pass " << pass;
        EXPECT_EQ(fractal_demo.drift, state.drift) << "pass " << pass;
    }
}

// With the picture computation off, frames leave the picture as it is but do
// everything else (state, upload, drawing); the statistics account for every
// frame's picture.
TEST_F(DEMO_LOOP, picture_switch_leaves_the_picture_and_statistics_count_every_frame) {
    int width = 0, height = 0;
    for (int pass = 0; pass < 4; ++pass) {
        ASSERT_TRUE(loop_pass());
    }
    DEMO_PICTURE_STATS stats = demo_picture_stats();
    EXPECT_EQ(stats.from_background + stats.on_the_spot, 4u);
    EXPECT_EQ(stats.on_the_spot, 1u) << "only the first frame has no picture ahead";
    EXPECT_LE(stats.waited, stats.from_background);

    const uint32_t* shown = demo_picture(&width, &height);
    ASSERT_NE(shown, nullptr);
    const std::vector<uint32_t> before(shown, shown + size_t(width) * size_t(height));
    demo_compute_picture(false);
    const FRACTAL_DEMO state = fractal_demo;
    fake_gl::take();
    ASSERT_TRUE(loop_pass());
    const std::vector<std::string> log = fake_gl::take();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), demo_picture(&width, &height)));
    EXPECT_NE(fractal_demo.phase, state.phase);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& c) { return c.rfind("glTexImage2D", 0) == 0; }),
              1);
    EXPECT_EQ(frame_stats.draws, 1u);
    EXPECT_EQ(demo_picture_stats().from_background + demo_picture_stats().on_the_spot, 4u);

    // Back on, the next frame computes its own picture on the spot.
    demo_compute_picture(true);
    ASSERT_TRUE(loop_pass());
    EXPECT_EQ(demo_picture_stats().on_the_spot, 2u);
    EXPECT_FALSE(std::equal(before.begin(), before.end(), demo_picture(&width, &height)));
}

TEST_F(DEMO_LOOP, loop_pass_keeps_running_with_a_program_that_failed_to_build) {
    fake_gl::state().link_ok = false;
    testing::internal::CaptureStderr();
    build_program(program_sprites2d, "shaders/2d_sprites_vs.glsl", "shaders/2d_sprites_fs.glsl");
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    fake_gl::take();

    // GL refuses an unlinked program and keeps the previous one in use, so
    // the sprite would be drawn with whatever program came before; with no
    // program it would be drawn by fixed-function GL. It is not drawn.
    ASSERT_TRUE(loop_pass());
    const std::vector<std::string> log = fake_gl::take();
    EXPECT_EQ(std::count(log.begin(), log.end(), call("glUseProgram", 0u)), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), call("glUseProgram", program_sprites2d->program)),
              0);
    EXPECT_EQ(frame_stats.draws, 0u) << "the sprite is skipped";
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& l) { return l.rfind("glDrawElements", 0) == 0; }),
              0);

    // A rebuilt program is used by its own name again.
    fake_gl::state().link_ok = true;
    build_program(program_sprites2d, "shaders/2d_sprites_vs.glsl", "shaders/2d_sprites_fs.glsl");
    fake_gl::take();
    ASSERT_TRUE(loop_pass());
    const std::vector<std::string> rebuilt = fake_gl::take();
    EXPECT_EQ(std::count(rebuilt.begin(), rebuilt.end(),
                         call("glUseProgram", program_sprites2d->program)),
              1);
}

// Checks a late frame's constants and its picture at a small size: scalar
// reference and fast path agree, and every texel is the colour of some
// iteration count from 1 to 32 with alpha 255.
void expect_defined_picture(const FRACTAL_DEMO& state, int width, int height, long frame) {
    FRACTAL_DEMO copy = state;
    const FRACTAL_FRAME f = fractal_frame_advance(copy, true, width, height);
    for (float v : {f.phase, f.r0, f.r1, f.i0, f.i1, copy.drift}) {
        ASSERT_TRUE(std::isfinite(v)) << "frame " << frame;
    }
    if (width > 1 && height > 1) {
        ASSERT_TRUE(std::isfinite(f.dx) && std::isfinite(f.dy)) << "frame " << frame;
    }
    ASSERT_GE(f.colour_factor, 0);
    ASSERT_LE(f.colour_factor, 255);

    std::vector<uint32_t> scalar(size_t(width) * size_t(height), 0);
    std::vector<uint32_t> fast(scalar.size(), 1);
    ASSERT_TRUE(fractal_render(f, scalar.data(), width, height, FRACTAL_SCALAR));
    ASSERT_TRUE(fractal_render(f, fast.data(), width, height, FRACTAL_FAST_ALL_THREADS));
    ASSERT_EQ(scalar, fast) << "frame " << frame << ", " << width << " x " << height;

    uint32_t colours[FRACTAL_MAX_ITERATIONS];
    for (int k = 1; k <= FRACTAL_MAX_ITERATIONS; ++k) {
        colours[k - 1] = fractal_texel(k, f.phase, f.colour_factor);
    }
    for (uint32_t texel : scalar) {
        ASSERT_EQ(texel >> 24, 255u);
        ASSERT_NE(std::find(std::begin(colours), std::end(colours), texel), std::end(colours))
            << "frame " << frame << ": texel " << texel << " is no iteration count's colour";
    }
}

// The demonstration's GL stream, start-up and three loop passes, call for
// call as recorded in tests/unit/data/demo_gl_stream.txt: conveniences added
// to the engine must not change what the demonstration sends to GL.
// VEXA_WRITE_GL_STREAM=1 rewrites the file from the current engine.
TEST_F(DEMO_LOOP, the_demonstration_gl_stream_is_unchanged) {
    std::vector<std::string> stream = startup_log;
    for (int pass = 0; pass < 3; ++pass) {
        stream.push_back("-- pass");
        ASSERT_TRUE(loop_pass());
        for (const std::string& line : fake_gl::take()) {
            stream.push_back(line);
        }
    }
    const char* path = "tests/unit/data/demo_gl_stream.txt";
    if (std::getenv("VEXA_WRITE_GL_STREAM")) {
        std::ofstream out(path);
        for (const std::string& line : stream) {
            out << line << '\n';
        }
    }
    std::ifstream in(path);
    ASSERT_TRUE(in) << path;
    std::vector<std::string> expected;
    for (std::string line; std::getline(in, line);) {
        expected.push_back(line);
    }
    ASSERT_EQ(stream.size(), expected.size());
    for (size_t i = 0; i < stream.size(); ++i) {
        ASSERT_EQ(stream[i], expected[i]) << "call " << i;
    }
}

TEST(DEMO_SOAK, a_million_frames_keep_finite_constants_and_defined_pictures) {
    FRACTAL_DEMO state;
    float last_phase = 0.0f, last_drift = 0.0f;
    const long checkpoints[] = {100000, 250000, 500000, 750000, 1000000};
    long frame = 0;
    for (long checkpoint : checkpoints) {
        for (; frame < checkpoint; ++frame) {
            fractal_frame_advance(state, true, APP_WINDOW_WIDTH, 600);
        }
        ASSERT_TRUE(std::isfinite(state.phase) && std::isfinite(state.drift));
        // Both accumulators only grow (or stall once the step is below
        // half a unit in the last place).
        EXPECT_GE(state.phase, last_phase);
        EXPECT_GE(state.drift, last_drift);
        last_phase = state.phase;
        last_drift = state.drift;
        expect_defined_picture(state, 64, 40, frame);
        expect_defined_picture(state, 17, 3, frame);
        expect_defined_picture(state, 1, 1, frame);
    }
    // Far beyond normal play the view has flipped and widened again: the
    // picture spans hundreds of units and nearly every point escapes at once.
    EXPECT_GT(state.drift, 500.0f);
    EXPECT_GT(state.phase, 5000.0f);
}

} // namespace
