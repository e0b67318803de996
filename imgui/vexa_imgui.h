// Dear ImGui over the engine (vexa::imgui, an optional part of the package):
// ImGui with its SDL2 and OpenGL back ends on the engine's window and
// context. Once started it sees every event the engine's pump drains, begins
// its frame before the application's frame callback and draws what the
// callback built after it, over the scene; then it tells the engine's GL
// caches that their state is unknown (app/foreign_gl.h). Owns the ImGui
// context it makes; relies on the runtime's event and frame hooks.
#pragma once

// Starts ImGui on the engine's window: call it from the set-up callback or
// any time after start-up. From the next pass on the frame callback may call
// ImGui's functions (ImGui::Begin ...). Writes no imgui.ini. False, with one
// line on stderr, when there is no window or a back end does not start;
// true at once when already running. Stopped at exit if the program does not
// stop it first.
bool imgui_start();
// Removes the hooks and frees ImGui and its GL objects (while the GL context
// exists). Nothing happens when it is not running.
void imgui_stop();
bool imgui_running();

// True while ImGui uses the mouse (over or dragging one of its windows) or
// the keyboard (a text field has focus), as of this pass's events: the
// application should then leave the mouse or the keyboard alone. False when
// ImGui is not running.
bool imgui_wants_mouse();
bool imgui_wants_keyboard();

// ImGui's draw data of the last pass's frame held vertices (something was
// drawn over the scene).
bool imgui_drew_last_frame();
