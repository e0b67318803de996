// Dear ImGui over the engine (see vexa_imgui.h).
#include "imgui/vexa_imgui.h"

#include "app/foreign_gl.h"
#include "app/input.h"
#include "app/runtime.h"
#include "gfx/gl.h"
#include "gfx/gl_dialect.h"
#include "gfx/render_target.h"
#include "gfx/window.h"

#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct IMGUI_LAYER {
    bool running = false;
    bool frame_open = false; // NewFrame ran and Render has not yet
    bool drew = false;
    bool exit_handler = false;
};
IMGUI_LAYER layer;

void see_event(const SDL_Event& event) {
    ImGui_ImplSDL2_ProcessEvent(&event);
}

void begin_frame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
    layer.frame_open = true;
}

void end_frame() {
    if (!layer.frame_open) {
        return;
    }
    layer.frame_open = false;
    ImGui::Render();
    ImDrawData* data = ImGui::GetDrawData();
    layer.drew = data && data->TotalVtxCount > 0;
    // A frame with no ImGui window sends GL nothing, so a program that
    // starts ImGui but shows nothing keeps its GL stream.
    if (!layer.drew) {
        return;
    }
    // Over the window, even when the frame left a render texture bound.
    framebuffer_unbind();
    ImGui_ImplOpenGL3_RenderDrawData(data);
    forget_engine_gl_state();
}

void stop_at_exit() {
    imgui_stop();
}

} // namespace

bool imgui_start() {
    if (layer.running) {
        return true;
    }
    if (!app_window || !app_window->window || !app_window->context) {
        std::fprintf(stderr, "vexa: cannot start ImGui: the engine has no window yet\n");
        return false;
    }
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    // The engine writes no files of its own accord.
    ImGui::GetIO().IniFilename = nullptr;
    ImGui::StyleColorsDark();
    // GLSL 1.20 on OpenGL 2.1, GLSL ES 1.00 on ES 2.0: the versions the
    // engine's own shaders are written in.
    const char* glsl = gl_dialect_es() ? "#version 100" : "#version 120";
    if (!ImGui_ImplSDL2_InitForOpenGL(app_window->window, app_window->context)) {
        ImGui::DestroyContext();
        std::fprintf(stderr, "vexa: cannot start ImGui: its SDL back end did not start\n");
        return false;
    }
    if (!ImGui_ImplOpenGL3_Init(glsl)) {
        ImGui_ImplSDL2_Shutdown();
        ImGui::DestroyContext();
        std::fprintf(stderr, "vexa: cannot start ImGui: its OpenGL back end did not start\n");
        return false;
    }
    layer.running = true;
    layer.frame_open = layer.drew = false;
    event_hook = see_event;
    frame_begin_hook = begin_frame;
    frame_end_hook = end_frame;
    // Registered after the runtime's SDL_Quit, so it runs first, while the
    // GL context still exists.
    if (!layer.exit_handler) {
        layer.exit_handler = true;
        std::atexit(stop_at_exit);
    }
    return true;
}

void imgui_stop() {
    if (!layer.running) {
        return;
    }
    if (event_hook == see_event) {
        event_hook = nullptr;
    }
    if (frame_begin_hook == begin_frame) {
        frame_begin_hook = nullptr;
    }
    if (frame_end_hook == end_frame) {
        frame_end_hook = nullptr;
    }
    if (layer.frame_open) {
        ImGui::EndFrame();
    }
    // Its shaders, buffers and font texture are deleted with GL calls, and
    // it binds and unbinds on the way; without a context there is nothing
    // left to delete.
    if (gl_context_alive) {
        ImGui_ImplOpenGL3_Shutdown();
        forget_engine_gl_state();
    }
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    const bool registered = layer.exit_handler;
    layer = IMGUI_LAYER{};
    layer.exit_handler = registered;
}

bool imgui_running() {
    return layer.running;
}

bool imgui_wants_mouse() {
    return layer.running && ImGui::GetIO().WantCaptureMouse;
}

bool imgui_wants_keyboard() {
    return layer.running && ImGui::GetIO().WantCaptureKeyboard;
}

bool imgui_drew_last_frame() {
    return layer.running && layer.drew;
}
