// Gamepad slots (see gamepad.h).
#include "app/gamepad.h"

#include <cmath>
#include <cstring>

GAMEPAD_STATE gamepads[GAMEPAD_COUNT];
float gamepad_dead_zone = 0.2f;

namespace {

int32_t open_through_sdl(int32_t device_index, SDL_GameController** controller) {
    *controller = SDL_GameControllerOpen(device_index);
    if (!*controller) {
        return -1;
    }
    return SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(*controller));
}

void free_slot(GAMEPAD_STATE& pad) {
    if (pad.controller) {
        SDL_GameControllerClose(pad.controller);
    }
    std::memset(&pad, 0, sizeof pad);
    pad.instance_id = -1;
}

GAMEPAD_STATE* slot_of(int32_t instance_id) {
    for (GAMEPAD_STATE& pad : gamepads) {
        if (pad.connected && pad.instance_id == instance_id) {
            return &pad;
        }
    }
    return nullptr;
}

void connect(int32_t device_index) {
    SDL_GameController* controller = nullptr;
    const int32_t id = gamepad_open_source(device_index, &controller);
    if (id < 0) {
        return;
    }
    // SDL announces the pads present at start-up as additions too, and each
    // open takes a reference: a pad already in a slot keeps it, the extra
    // reference is dropped.
    if (slot_of(id)) {
        if (controller) {
            SDL_GameControllerClose(controller);
        }
        return;
    }
    for (GAMEPAD_STATE& pad : gamepads) {
        if (!pad.connected) {
            pad.connected = true;
            pad.instance_id = id;
            pad.controller = controller;
            return;
        }
    }
    if (controller) { // every slot taken: this pad is not tracked
        SDL_GameControllerClose(controller);
    }
}

// SDL's −32768..32767 to −1..1 with the dead zone cut out and the rest
// stretched over the full range.
float axis_value(int16_t raw) {
    const float v = raw < 0 ? float(raw) / 32768.0f : float(raw) / 32767.0f;
    const float magnitude = std::fabs(v);
    const float dz = gamepad_dead_zone >= 0.0f && gamepad_dead_zone < 1.0f ? gamepad_dead_zone : 0;
    if (magnitude <= dz) {
        return 0.0f;
    }
    const float scaled = (magnitude - dz) / (1.0f - dz);
    return v < 0 ? -scaled : scaled;
}

} // namespace

int32_t (*gamepad_open_source)(int32_t device_index,
                               SDL_GameController** controller) = open_through_sdl;

void gamepads_create() {
    for (GAMEPAD_STATE& pad : gamepads) {
        free_slot(pad);
    }
}

void gamepads_frame_reset() {
    for (GAMEPAD_STATE& pad : gamepads) {
        std::memset(pad.pressed, 0, sizeof pad.pressed);
    }
}

void gamepad_event(const SDL_Event& event) {
    switch (event.type) {
    case SDL_CONTROLLERDEVICEADDED:
        connect(event.cdevice.which);
        break;
    case SDL_CONTROLLERDEVICEREMOVED:
        // Removed mid-game: everything reads released from here on.
        if (GAMEPAD_STATE* pad = slot_of(event.cdevice.which)) {
            free_slot(*pad);
        }
        break;
    case SDL_CONTROLLERBUTTONDOWN:
    case SDL_CONTROLLERBUTTONUP: {
        GAMEPAD_STATE* pad = slot_of(event.cbutton.which);
        const int b = event.cbutton.button;
        if (pad && b < GAMEPAD_BUTTON_COUNT) {
            const bool down = event.type == SDL_CONTROLLERBUTTONDOWN;
            pad->held[b] = down;
            pad->pressed[b] |= down;
        }
        break;
    }
    case SDL_CONTROLLERAXISMOTION: {
        GAMEPAD_STATE* pad = slot_of(event.caxis.which);
        const int a = event.caxis.axis;
        if (pad && a < GAMEPAD_AXIS_COUNT) {
            pad->axis[a] = axis_value(event.caxis.value);
        }
        break;
    }
    default:
        break;
    }
}

bool gamepad_connected(int pad) {
    return pad >= 0 && pad < GAMEPAD_COUNT && gamepads[pad].connected;
}

bool gamepad_held(int pad, SDL_GameControllerButton button) {
    return gamepad_connected(pad) && button >= 0 && button < GAMEPAD_BUTTON_COUNT &&
           gamepads[pad].held[button];
}

bool gamepad_pressed(int pad, SDL_GameControllerButton button) {
    return gamepad_connected(pad) && button >= 0 && button < GAMEPAD_BUTTON_COUNT &&
           gamepads[pad].pressed[button];
}

float gamepad_axis(int pad, SDL_GameControllerAxis axis) {
    return gamepad_connected(pad) && axis >= 0 && axis < GAMEPAD_AXIS_COUNT
               ? gamepads[pad].axis[axis]
               : 0.0f;
}
