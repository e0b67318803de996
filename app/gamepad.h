// Gamepads through SDL's game-controller interface. Owns the global
// GAMEPAD_STATE slots and the controllers opened into them; relies on the
// event pump (input.cpp hands it every event) and on SDL's game-controller
// subsystem, which the runtime starts beside video.
#pragma once

#include <SDL.h>

#include <cstdint>

constexpr int GAMEPAD_COUNT = 4;
constexpr int GAMEPAD_BUTTON_COUNT = SDL_CONTROLLER_BUTTON_MAX;
constexpr int GAMEPAD_AXIS_COUNT = SDL_CONTROLLER_AXIS_MAX;

// One slot per connected pad, the first free slot taken on connection. A
// pad that is removed leaves its slot all released and disconnected; the
// next pad to arrive may take it.
struct GAMEPAD_STATE {
    bool connected;
    int32_t instance_id; // SDL's joystick instance id; -1 for a free slot
    SDL_GameController* controller;
    uint8_t held[GAMEPAD_BUTTON_COUNT];    // indexed by SDL_GameControllerButton
    uint8_t pressed[GAMEPAD_BUTTON_COUNT]; // a button-down arrived this frame
    // Indexed by SDL_GameControllerAxis: sticks −1..1 (y positive downwards,
    // as SDL reports them), triggers 0..1; inside the dead zone exactly 0, and
    // rescaled beyond it so the stick's full travel still reaches 1.
    float axis[GAMEPAD_AXIS_COUNT];
};

extern GAMEPAD_STATE gamepads[GAMEPAD_COUNT];
// The part of each axis's travel read as 0 (0.2 by default): worn sticks do
// not rest exactly at the centre.
extern float gamepad_dead_zone;

// Opens the controller of a newly added device; returns its instance id, or
// -1 when it cannot be opened (then the pad is ignored). Tests install their
// own; the default opens it through SDL.
extern int32_t (*gamepad_open_source)(int32_t device_index, SDL_GameController** controller);

// Every slot free (controllers still open are closed).
void gamepads_create();
// Per loop pass, before the pump: clears the pressed flags.
void gamepads_frame_reset();
// Applies a controller event (added, removed, button, axis); others are
// ignored.
void gamepad_event(const SDL_Event& event);

// Readers for slot pad (0..GAMEPAD_COUNT − 1); a slot out of range or
// without a pad reads as released and centred.
bool gamepad_connected(int pad);
bool gamepad_held(int pad, SDL_GameControllerButton button);
bool gamepad_pressed(int pad, SDL_GameControllerButton button);
float gamepad_axis(int pad, SDL_GameControllerAxis axis);
