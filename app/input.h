// Keyboard and mouse records, the run flags and the event pump. Owns the
// global KEYBOARD_STATE, MOUSE_STATE, the focus stopwatch and the quit,
// paused and has-focus flags. Relies on SDL's event queue and mouse state,
// and on the stopwatch of the pacer.
#pragma once

#include "app/gamepad.h"
#include "app/pacer.h"

#include <SDL.h>

#include <cstdint>

constexpr int KEY_COUNT = 512;  // SDL scan codes 0..511
constexpr int BUTTON_COUNT = 9; // SDL buttons 1..8; index 0 is never used

struct KEYBOARD_STATE {
    uint8_t held[KEY_COUNT];
    uint8_t pressed[KEY_COUNT];
    uint8_t repeated[KEY_COUNT];
    int32_t repeat_key; // SDL key code of the last key pressed; 0 = none
    int32_t repeat_delay;
    int32_t repeat_interval;
    int32_t delay_countdown;
    int32_t interval_countdown;
    const int32_t* watched_keys; // always null: every key is tracked
};

struct MOUSE_STATE {
    bool moved;
    int32_t x, y;
    int32_t previous_x, previous_y;
    int32_t dx, dy;
    uint8_t held[BUTTON_COUNT];
    uint8_t pressed[BUTTON_COUNT];
    uint8_t repeated[BUTTON_COUNT];
    int32_t repeat_button;
    int32_t repeat_delay;
    int32_t repeat_interval;
    int32_t delay_countdown;
    int32_t interval_countdown;
    bool wheel_up, wheel_down, wheel_left, wheel_right;
    // The wheel's travel this frame, summed over the frame's wheel events, in
    // notches (fractions from smooth wheels and touchpads): y positive away
    // from the user, x positive to the right.
    float wheel_x, wheel_y;
};

extern KEYBOARD_STATE keyboard;
extern MOUSE_STATE mouse;
extern STOPWATCH focus_stopwatch;
extern bool app_quit;
extern bool app_paused;
extern bool app_has_focus;

// Where the mouse update polls position and buttons; tests install their own.
extern uint32_t (*mouse_state_source)(int* x, int* y);

void keyboard_create();
void mouse_create();
// Clears the run flags, creates the focus stopwatch, enables file drops.
void events_setup();

// Per loop pass, in this order.
void keyboard_frame_reset();
void mouse_update();
void event_pump();

// Applies one event to the records and flags and releases a dropped file's
// name.
void handle_event(const SDL_Event& event);

// Sees each event the pump drains, after it has been applied to the records
// and flags (the application's event callback); null: none. A dropped
// file's name is valid until the listener returns.
extern void (*event_listener)(const SDL_Event& event, void* user);
extern void* event_listener_user;
// Sees each event the pump drains after the records and before the
// listener: a layer between the engine and the application (vexa::imgui)
// installs itself here, leaving the listener to the application. Null: none.
extern void (*event_hook)(const SDL_Event& event);
// What the pump does with each event: apply it, show it to the listener,
// release a dropped file's name.
void pump_event(const SDL_Event& event);

// The scan code of an SDL key code, or -1 when it has none inside the arrays.
int key_scancode(int32_t key);
// True when the key (an SDL key code) was pressed in this pass.
bool key_pressed(int32_t key);
// True while the key (an SDL key code) is held down.
bool key_held(int32_t key);

// Set from a SIGTERM or SIGINT handler; the next pump turns it into quit.
void request_quit_from_signal();
// True when a quit signal has been taken and not yet cleared by events_setup.
bool quit_signal_received();
// True once the program has been asked to end (a quit signal, the window's
// close button) even before the pump has seen it, for work that holds the
// loop up (a model import) to stop early. Leaves the events queued.
bool quit_pending();
