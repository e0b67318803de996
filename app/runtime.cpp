// Start-up, main loop and exit (see runtime.h).
#include "app/runtime.h"

#include "app/input.h"
#include "app/pacer.h"
#include "app/platform.h"
#include "gfx/window.h"
#include "gfx/frame_clock.h"
#include "gfx/frame_stats.h"
#include "gfx/gl.h"
#include "gfx/gl_dialect.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/shapes.h"
#include "scene/window_size.h"
#include "scene/worker_pool.h"
#include "shader/program.h"
#include "app/shader_location.h"
#include "app/shader_watch.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

void (*before_present_hook)() = nullptr;
void (*frame_begin_hook)() = nullptr;
void (*frame_end_hook)() = nullptr;
void (*screenshot_present_hook)() = nullptr;
LOOP_TIMING loop_timing = {};

namespace {

APPLICATION application; // the description in use

// Runs before SDL_Quit at exit (registered after it): from here on no GL call
// may be made, which the destructors of global GL-owning objects check.
void mark_context_gone() {
    gl_context_alive = false;
}

// VEXA_GL=gles2 in the environment runs the engine on OpenGL ES 2.0 (through
// EGL on Mesa) instead of OpenGL 2.1.
bool choose_gl_dialect() {
    const char* value = std::getenv("VEXA_GL");
    if (!gl_dialect_parse(value, gl_dialect)) {
        std::fprintf(stderr, "vexa: VEXA_GL must be gl21 or gles2, not \"%s\"\n", value);
        return false;
    }
    return true;
}

// The scene app_run provides before the set-up callback, while it is still
// the one it made (see application_setup).
SCENE* provided_scene = nullptr;

bool scene_untouched(const SCENE* s) {
    const SCENE_LAYER* layers[2] = {&s->layer1, &s->layer2};
    for (const SCENE_LAYER* l : layers) {
        if (l->model_actors || l->sprites3d || l->sprites2d) {
            return false;
        }
    }
    return !s->lights && !s->cameras && !s->active_camera;
}

// A description without a shader folder gets the first that exists of
// ./shaders, the one beside the executable, the installed one and the one
// of the package the program was built against. With none the program could
// only show a blank window: one line, and false.
bool choose_shader_directory(APPLICATION& app) {
    if (app.shader_directory) {
        return true;
    }
    static std::string found;
    found = find_shader_directory();
    if (found.empty()) {
        std::fprintf(stderr,
                     "vexa: cannot run the application: no shader folder (none of ./shaders, "
                     "\"%s\", \"%s\"%s%s%s); set APPLICATION::shader_directory\n",
                     shaders_beside_executable().c_str(), installed_shader_directory().c_str(),
                     package_shader_directory() ? ", \"" : "",
                     package_shader_directory() ? package_shader_directory() : "",
                     package_shader_directory() ? "\"" : "");
        return false;
    }
    app.shader_directory = found.c_str();
    return true;
}

// A resizable or high-DPI window: the drawable's size is taken after the
// events that may have changed it, before anything is drawn. A fixed window
// (the demonstration's) never asks.
void follow_window_size() {
    if (!application.resizable && !application.high_dpi) {
        return;
    }
    int32_t old_width = 0, old_height = 0;
    if (window_follow_size(old_width, old_height)) {
        cameras_follow_window(old_width, old_height);
    }
}

} // namespace

const char* application_fault(const APPLICATION& app) {
    if (!app.title) {
        return "the window has no title";
    }
    if (app.width <= 0 || app.height <= 0) {
        return "the window size is not positive";
    }
    if (!app.frame) {
        return "there is no frame callback";
    }
    return nullptr;
}

void app_use(const APPLICATION& app) {
    application = app;
    // No folder named: the engine's own default until start-up finds one.
    shader_directory = app.shader_directory ? app.shader_directory : "shaders";
    event_listener = app.event;
    event_listener_user = app.user;
}

const APPLICATION& app_in_use() {
    return application;
}

bool runtime_startup() {
    pacer_defaults();
    if (!choose_gl_dialect()) {
        return false;
    }
    // The engine installs its own SIGTERM/SIGINT handlers (they end the loop
    // like closing the window); SDL's would only duplicate them. They go in
    // first: the window exists (hidden) long before the loop starts, and a
    // signal sent once it appears must still end the program with status 0.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    install_quit_signal_handlers();
    if (const char* driver = preferred_video_driver()) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, driver);
    }
    SDL_SetMainReady();
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "vexa: cannot initialise SDL video: %s\n", SDL_GetError());
        return false;
    }
    const uint32_t flags = (application.resizable ? SDL_WINDOW_RESIZABLE : 0) |
                           (application.high_dpi ? SDL_WINDOW_ALLOW_HIGHDPI : 0);
    if (!create_app_window(application.title, application.width, application.height, flags)) {
        SDL_Quit();
        return false;
    }
    // Gamepads are optional: without the subsystem none ever connects.
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    keyboard_create();
    mouse_create();
    gamepads_create();
    std::atexit(SDL_Quit);
    std::atexit(mark_context_gone);
    // The event set-up starts from clear flags; a signal taken during
    // start-up is kept for the first pump.
    const bool signalled = quit_signal_received();
    events_setup();
    if (signalled) {
        request_quit_from_signal();
    }
    return true;
}

void engine_setup() {
    gl_setup(app_window && app_window->samples > 0);
    render_state_defaults();
    create_screen_targets(app_window ? app_window->width : APP_WINDOW_WIDTH,
                          app_window ? app_window->height : APP_WINDOW_HEIGHT);
    model_stack_create_global();
    create_program_set();
    scene_objects_setup();
}

bool application_setup() {
    engine_setup();
    // The application scene exists before the set-up callback, so adding to
    // app_scene works without making one first. Its 4096 x 4096 target waits
    // until a render to texture needs it: a set-up that makes its own scene
    // (as the demonstration does) sends GL exactly what it sent before.
    if (!app_scene) {
        provided_scene = app_scene = new SCENE(false);
    }
    // A set-up that fails has said why itself (a model that did not load, a
    // file that is missing): a second line from here would only repeat it.
    const bool ready = !application.setup || application.setup(application.user);
    // Replaced and never used: nothing can reach it any more.
    if (provided_scene && app_scene != provided_scene && scene_untouched(provided_scene)) {
        delete provided_scene;
    }
    provided_scene = nullptr;
    return ready;
}

bool app_startup(const APPLICATION& app) {
    // Before any library opens a file: a closed standard descriptor would
    // otherwise become the X connection or a shader file.
    attach_console_output();
    if (const char* fault = application_fault(app)) {
        std::fprintf(stderr, "vexa: cannot run the application: %s\n", fault);
        return false;
    }
    APPLICATION chosen = app;
    if (!choose_shader_directory(chosen)) {
        return false;
    }
    app_use(chosen);
    if (!runtime_startup() || !application_setup()) {
        return false;
    }
    shader_watch_start(application.watch_shaders);
    raise_process_priority();
    SDL_ShowWindow(app_window->window);
    SDL_GL_SwapWindow(app_window->window);
    return true;
}

bool loop_pass() {
    // Between frames: a shader file saved since the last pass is rebuilt
    // before anything draws with it.
    shader_watch_step();
    // The first use_program of every frame reaches GL and resends the lights.
    current_program = nullptr;
    const uint64_t pass_start = time_source.counter();
    frame_stats_reset();
    keyboard_frame_reset();
    mouse_update();
    gamepads_frame_reset();
    event_pump();
    follow_window_size();
    if (app_paused) {
        // Minimised: nothing is drawn. Wait briefly for the next event
        // instead of spinning a core; closing still ends the program.
        // An event that arrives during the wait is handled at once, as the
        // pump would have.
        SDL_Event event;
        if (!app_quit && SDL_WaitEventTimeout(&event, 10)) {
            pump_event(event);
        }
        return !app_quit;
    }
    if (key_pressed(SDLK_ESCAPE)) {
        app_quit = true;
        return false;
    }
    APP_WINDOW* w = app_window;
    float red = application.clear_colour[0], green = application.clear_colour[1],
          blue = application.clear_colour[2];
    if (w) {
        w->clear_red = red;
        w->clear_green = green;
        w->clear_blue = blue;
    }
    const uint64_t update_start = time_source.counter();
    update_scene();
    const uint64_t update_end = time_source.counter();
    if (w) {
        red = w->clear_red;
        green = w->clear_green;
        blue = w->clear_blue;
    }
    clear_frame(red, green, blue);
    const uint64_t demo_start = time_source.counter();
    if (frame_begin_hook) {
        frame_begin_hook();
    }
    if (application.frame) {
        application.frame(application.user);
    }
    flush_shapes(); // the frame's last text and shapes, before a panel drawn over the frame
    if (frame_end_hook) {
        frame_end_hook();
    }
    const uint64_t demo_end = time_source.counter();
    loop_timing.work_ticks = demo_end - pass_start;
    loop_timing.update_ticks = update_end - update_start;
    loop_timing.demo_ticks = demo_end - demo_start;
    // Hand the frame's commands to the driver before sleeping, so a driver
    // that rasterises late (software GL) works while the pacer waits instead
    // of inside the present.
    const uint64_t flush_start = time_source.counter();
    glFlush();
    gl_check();
    loop_timing.flush_ticks = time_source.counter() - flush_start;
    const int32_t ms = pacer_step();
    if (ms > 0) {
        SDL_Delay(static_cast<uint32_t>(ms));
    }
    if (screenshot_present_hook) {
        screenshot_present_hook();
    }
    if (before_present_hook) {
        before_present_hook();
    }
    if (w && w->present) {
        const uint64_t swap_start = time_source.counter();
        SDL_GL_SwapWindow(w->window);
        loop_timing.swap_ticks = time_source.counter() - swap_start;
    }
    frame_clock_tick();
    return !app_quit;
}

int64_t run_loop(int64_t max_passes) {
    int64_t passes = 0;
    while (!app_quit && (max_passes < 0 || passes < max_passes)) {
        ++passes;
        if (!loop_pass()) {
            break;
        }
    }
    return passes;
}

#ifdef __EMSCRIPTEN__
namespace {

// The loop in a browser: one pass per animation frame, which also paces it,
// so the pacer's own rate is off. The page's "frames" parameter (vexa.html?
// frames=N) stops the loop after N passes, leaving frame N on the canvas, and
// reports the frame rate on the console and in the page title.
struct BROWSER_LOOP {
    int64_t frames_wanted = -1; // no limit
    int64_t passes = 0;
    double first_start_ms = 0.0;
    double last_start_ms = 0.0;
    double work_ms = 0.0;  // summed: input, update, clear, the application's frame
    double frame_ms = 0.0; // summed: the application's frame alone
};
BROWSER_LOOP browser_loop;

void browser_report() {
    const BROWSER_LOOP& b = browser_loop;
    const double span_ms = b.last_start_ms - b.first_start_ms;
    const double fps =
        b.passes > 1 && span_ms > 0.0 ? double(b.passes - 1) * 1000.0 / span_ms : 0.0;
    std::printf("vexa: %.1f frames per second over %lld frames; per frame %.2f ms of work, "
                "%.2f ms in the application's frame\n",
                fps, static_cast<long long>(b.passes), b.work_ms / double(b.passes),
                b.frame_ms / double(b.passes));
    std::printf("frame %lld done\n", static_cast<long long>(b.passes));
    EM_ASM({ document.title = "frame " + $0 + " done, " + $1.toFixed(1) + " fps"; },
           double(b.passes), fps);
}

void browser_pass() {
    BROWSER_LOOP& b = browser_loop;
    const double start = emscripten_get_now();
    b.first_start_ms = b.passes == 0 ? start : b.first_start_ms;
    b.last_start_ms = start;
    ++b.passes;
    const bool running = loop_pass();
    const double frequency = double(time_source.frequency());
    b.work_ms += double(loop_timing.work_ticks) * 1000.0 / frequency;
    b.frame_ms += double(loop_timing.demo_ticks) * 1000.0 / frequency;
    if (!running || b.passes == b.frames_wanted) {
        emscripten_cancel_main_loop();
        if (b.frames_wanted > 0) {
            browser_report();
        }
    }
}

void run_browser_loop() {
    browser_loop = BROWSER_LOOP{};
    browser_loop.frames_wanted = EM_ASM_DOUBLE({
        const n = Number(new URLSearchParams(location.search).get("frames"));
        return Number.isInteger(n) && n > 0 ? n : -1;
    });
    frame_pacer.target_rate = 0;
#ifdef __EMSCRIPTEN_PTHREADS__
    const int threads = worker_pool_thread_count();
    std::printf("vexa: cross-origin isolated: the picture runs on %d thread%s\n", threads,
                threads == 1 ? "" : "s");
#else
    std::printf("vexa: %s\n",
                EM_ASM_INT({ return self.crossOriginIsolated ? 1 : 0; })
                    ? "cross-origin isolated, but this build runs the picture on one thread"
                    : "not cross-origin isolated: the picture runs on one thread");
#endif
    emscripten_set_main_loop(browser_pass, 0, 1);
}

} // namespace
#endif

int app_run(const APPLICATION& app) {
    if (!app_startup(app)) {
#ifdef __EMSCRIPTEN__
        // The page shows the line that said why in place of the canvas.
        EM_ASM({
            if (Module.vexaFailed)
                Module.vexaFailed();
        });
#endif
        return 1;
    }
#ifdef __EMSCRIPTEN__
    run_browser_loop(); // returns to the browser, which calls the passes
#else
    run_loop();
#endif
    return 0;
}
