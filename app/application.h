// The description an application hands the runtime: window, shader
// directory and the callbacks the runtime calls from its start-up and loop.
// The runtime owns the loop; the application only sees its callbacks.
#pragma once

#include <SDL.h>

#include <cstdint>

struct APPLICATION {
    const char* title = "Vexa Engine";
    int32_t width = 1024;
    int32_t height = 600;
    // Where the GLSL files are read from; relative paths are taken from the
    // working directory. Null (the default): the first that exists of
    // ./shaders, a shaders folder beside the executable, the installed one
    // beside an installed program and the package's the program was built
    // against (app/shader_location.h); with none, start-up ends with one
    // line and status 1.
    const char* shader_directory = nullptr;
    // Every loop pass starts by clearing to this colour (red, green, blue);
    // the scene update may still change it for its pass through app_window.
    float clear_colour[3] = {1.0f, 0.0f, 0.0f};
    // A window the user can resize; the viewport, the cameras that cover the
    // whole window and the 2D pass follow its size.
    bool resizable = false;
    // Drawing at the display's full pixel density where it has more pixels
    // than screen points (the window keeps its size in points; app_window's
    // width and height are the drawable's pixels).
    bool high_dpi = false;
    // Live shader editing: the shader folder is watched and programs whose
    // files change are rebuilt between frames (a failing file keeps the
    // running program and is reported once). VEXA_WATCH_SHADERS=1 in the
    // environment does the same for any program.
    bool watch_shaders = false;
    // Once, after the engine set-up and before the priority raise and the
    // window is shown. Returning false ends start-up with status 1 before the
    // window appears; the callback says why on stderr. Optional.
    bool (*setup)(void* user) = nullptr;
    // Once per running loop pass, after the scene update and the clear.
    // Required.
    void (*frame)(void* user) = nullptr;
    // Each SDL event, after the event pump has recorded it. Optional.
    void (*event)(const SDL_Event& event, void* user) = nullptr;
    void* user = nullptr;
};

// Start-up with app's description, the loop until Escape or the window
// closes; the exit status (1 when the description is refused or start-up
// fails, with one line on stderr). app_scene exists (an empty SCENE) when
// the set-up callback runs, unless the program made one before.
int app_run(const APPLICATION& app);

// Notes the GLSL folder of the installed package a program was built
// against, where a description without a shader_directory finds it. A
// program built against the package sees that folder as VEXA_SHADER_DIR,
// and each of its files that includes this header notes it before main.
void app_note_package_shaders(const char* directory);
#if defined(VEXA_SHADER_DIR)
namespace {
[[maybe_unused]] const bool vexa_package_shaders_noted =
    (app_note_package_shaders(VEXA_SHADER_DIR), true);
} // namespace
#endif
