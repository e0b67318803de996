// vexa-view: shows a model file in the engine's window, framed, lit and
// playing its first animation, with an orbit camera. With --frames it runs
// a fixed number of loop passes and can write the window's picture (and
// report per-frame CPU time), which works headless. Relies on the
// application interface of the runtime and on viewer/viewer.h.
#include "app/application.h"
#include "app/input.h"
#include "app/platform.h"
#include "app/runtime.h"
#include "app/shader_location.h"
#include "assets/model_import.h"
#include "viewer/fixed_passes.h"
#include "viewer/viewer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

int usage() {
    std::fprintf(stderr, "usage: vexa-view [--frames N] [--window FILE.png] [--cpu-skinning] "
                         "[--timings] [--shaders DIR] [--decoder-memory MB] [--decoder-seconds S] "
                         "[--in-process] MODEL\n");
    return 1;
}

// The GLSL folder: --shaders DIR, else ./shaders where it exists (the source
// tree, like vexa), else the installed one beside the executable, so the
// installed viewer opens models from any folder and after its prefix has
// moved. Without one the viewer could only show a blank window: one line,
// and false.
bool choose_shader_directory(const char* chosen, std::string* directory) {
    std::error_code error;
    if (chosen) {
        *directory = chosen;
        if (std::filesystem::is_directory(*directory, error)) {
            return true;
        }
        std::fprintf(stderr, "vexa-view: no shader folder \"%s\"\n", chosen);
        return false;
    }
    *directory = find_shader_directory();
    if (!directory->empty()) {
        return true;
    }
    std::fprintf(stderr, "vexa-view: no shader folder: neither ./shaders nor \"%s\" exists\n",
                 installed_shader_directory().c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    int64_t frames = 0;
    const char* window_path = nullptr;
    const char* model_path = nullptr;
    bool timings = false;
    const char* shaders_chosen = nullptr;
    for (int i = 1; i < argc; ++i) {
        const bool has_value = i + 1 < argc;
        if (!std::strcmp(argv[i], "--frames") && has_value) {
            char* end = nullptr;
            frames = std::strtoll(argv[++i], &end, 10);
            if (*end || frames < 1) {
                return usage();
            }
        } else if (!std::strcmp(argv[i], "--window") && has_value) {
            window_path = argv[++i];
        } else if (!std::strcmp(argv[i], "--cpu-skinning")) {
            viewer.cpu_skinning = true;
        } else if (!std::strcmp(argv[i], "--shaders") && has_value) {
            shaders_chosen = argv[++i];
        } else if (!std::strcmp(argv[i], "--decoder-memory") && has_value) {
            char* end = nullptr;
            const long long megabytes = std::strtoll(argv[++i], &end, 10);
            if (*end || megabytes < 1 || megabytes > (int64_t(1) << 40)) {
                return usage();
            }
            import_options.memory_limit_bytes = uint64_t(megabytes) << 20;
        } else if (!std::strcmp(argv[i], "--decoder-seconds") && has_value) {
            char* end = nullptr;
            import_options.seconds_limit = std::strtod(argv[++i], &end);
            if (*end ||
                !(import_options.seconds_limit > 0.0 && import_options.seconds_limit < 1e6)) {
                return usage();
            }
        } else if (!std::strcmp(argv[i], "--in-process")) {
            import_options.in_process = true;
        } else if (!std::strcmp(argv[i], "--timings")) {
            timings = true;
        } else if (argv[i][0] != '-' && !model_path) {
            model_path = argv[i];
        } else {
            return usage();
        }
    }
    if (!model_path) {
        return usage();
    }
    if (!viewer_fixed_passes_supported(window_path, timings)) {
        return 1;
    }
    std::string shader_directory;
    if (!choose_shader_directory(shaders_chosen, &shader_directory)) {
        return 1;
    }
    viewer.path = model_path;
    APPLICATION app;
    app.title = file_name_of(model_path);
    app.shader_directory = shader_directory.c_str();
    app.setup = viewer_setup;
    app.frame = viewer_frame;
    app.event = viewer_event;
    // A model reads better on grey than on the engine's red.
    app.clear_colour[0] = 0.23f;
    app.clear_colour[1] = 0.24f;
    app.clear_colour[2] = 0.27f;
    if (!frames && (window_path || timings)) {
        frames = 1;
    }
    // The decoder server's socket must not take a closed standard descriptor.
    attach_console_output();
    // The decoder loads its libraries while the window and GL start.
    prepare_model_decoder();
    if (!frames) {
        // Until Escape or the window closes; in a browser the page calls the
        // passes and this returns at once. A start that failed: the importer
        // or the program check has said why, unless the program was asked to
        // end while the model was loading, which ends it as it always does.
        const int status = app_run(app);
        viewer_release();
        return status != 0 && quit_pending() ? 0 : status;
    }
    if (!app_startup(app)) {
        return quit_pending() ? 0 : 1;
    }
    // A fixed number of passes, the picture read back before the last one
    // is presented.
    const bool ok = viewer_run_fixed_passes(frames, window_path, timings);
    viewer_release();
    return ok ? 0 : 1;
}
