// libFuzzer target for the event pump: the input is read as a sequence of SDL
// events (known and unknown types, huge key codes, button numbers 0 and above
// 8, wheel values, focus and minimise storms, drops of files and text, gamepads
// arriving, pressing, moving and leaving, also mid-press) interleaved with
// frame resets and mouse updates. After every step the input records must
// stay consistent: flags 0 or 1, the repeat button inside its array, the
// mouse inside the window, gamepad axes inside -1..1 and a pad that is gone
// all released.
#include "app/input.h"
#include "app/pacer.h"
#include "tests/support/fake_clock.h"

#include <SDL.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

int poll_x = 0, poll_y = 0;
uint32_t poll_buttons = 0;
// Pads are opened without hardware: device index n is instance n % 8, and
// indices 8 and above cannot be opened.
int32_t open_pad(int32_t device_index, SDL_GameController** controller) {
    *controller = nullptr;
    return device_index >= 0 && device_index < 8 ? device_index : -1;
}
uint32_t read_mouse(int* x, int* y) {
    *x = poll_x;
    *y = poll_y;
    return poll_buttons;
}

struct READER {
    const uint8_t* p;
    size_t left;
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4 && left; ++i, --left) {
            v = (v << 8) | *p++;
        }
        return v;
    }
    uint8_t u8() { return left ? (--left, *p++) : 0; }
};

void check_flags(const uint8_t* flags, int count) {
    for (int i = 0; i < count; ++i) {
        if (flags[i] > 1) {
            std::abort();
        }
    }
}

void check_records() {
    check_flags(keyboard.held, KEY_COUNT);
    check_flags(keyboard.pressed, KEY_COUNT);
    check_flags(keyboard.repeated, KEY_COUNT);
    check_flags(mouse.held, BUTTON_COUNT);
    check_flags(mouse.pressed, BUTTON_COUNT);
    check_flags(mouse.repeated, BUTTON_COUNT);
    if (mouse.repeat_button < 0 || mouse.repeat_button >= BUTTON_COUNT) {
        std::abort();
    }
    if (mouse.x < 0 || mouse.x >= 1024 || mouse.y < 0 || mouse.y >= 600) {
        std::abort();
    }
    for (int p = 0; p < GAMEPAD_COUNT; ++p) {
        const GAMEPAD_STATE& pad = gamepads[p];
        check_flags(pad.held, GAMEPAD_BUTTON_COUNT);
        check_flags(pad.pressed, GAMEPAD_BUTTON_COUNT);
        for (float a : pad.axis) {
            if (!(a >= -1.0f && a <= 1.0f) || (!pad.connected && a != 0.0f)) {
                std::abort();
            }
        }
        for (int b = 0; b < GAMEPAD_BUTTON_COUNT; ++b) {
            if (!pad.connected && (pad.held[b] || pad.pressed[b])) {
                std::abort();
            }
        }
    }
}

SDL_Event make_event(READER& r) {
    SDL_Event e;
    std::memset(&e, 0, sizeof e);
    const uint8_t kind = r.u8();
    switch (kind % 10) {
    case 0:
        e.type = SDL_KEYDOWN;
        e.key.keysym.sym = static_cast<SDL_Keycode>(r.u32());
        e.key.repeat = r.u8() & 1;
        break;
    case 1:
        e.type = SDL_KEYUP;
        e.key.keysym.sym = static_cast<SDL_Keycode>(r.u32());
        break;
    case 2:
        e.type = SDL_MOUSEBUTTONDOWN;
        e.button.button = r.u8();
        break;
    case 3:
        e.type = SDL_MOUSEBUTTONUP;
        e.button.button = r.u8();
        break;
    case 4:
        e.type = SDL_MOUSEWHEEL;
        e.wheel.x = static_cast<int32_t>(r.u32());
        e.wheel.y = static_cast<int32_t>(r.u32());
        break;
    case 5:
        e.type = SDL_WINDOWEVENT;
        e.window.event = r.u8();
        break;
    case 6:
        e.type = SDL_QUIT;
        break;
    case 7: {
        // Every kind of drop, each with a payload of up to 255 bytes from the input.
        const Uint32 drops[4] = {SDL_DROPFILE, SDL_DROPTEXT, SDL_DROPBEGIN, SDL_DROPCOMPLETE};
        e.type = drops[r.u8() % 4];
        char payload[256];
        const uint8_t length = r.u8();
        for (int i = 0; i < length; ++i) {
            payload[i] = char(r.u8());
        }
        payload[length] = '\0';
        e.drop.file = SDL_strdup(payload);
        break;
    }
    case 9: {
        // Gamepads: arrivals (device indices, some that cannot be opened),
        // removals, buttons and axes of any pad number and any value.
        const Uint32 pads[5] = {SDL_CONTROLLERDEVICEADDED, SDL_CONTROLLERDEVICEREMOVED,
                                SDL_CONTROLLERBUTTONDOWN, SDL_CONTROLLERBUTTONUP,
                                SDL_CONTROLLERAXISMOTION};
        e.type = pads[r.u8() % 5];
        const int32_t which = r.u8() % 12;
        if (e.type == SDL_CONTROLLERAXISMOTION) {
            e.caxis.which = which;
            e.caxis.axis = r.u8();
            e.caxis.value = static_cast<int16_t>(r.u32());
        } else if (e.type == SDL_CONTROLLERBUTTONDOWN || e.type == SDL_CONTROLLERBUTTONUP) {
            e.cbutton.which = which;
            e.cbutton.button = r.u8();
        } else {
            e.cdevice.which = which;
        }
        break;
    }
    default:
        e.type = r.u32(); // anything at all, including unknown types
        break;
    }
    return e;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
    SDL_Init(SDL_INIT_VIDEO);
    use_fake_clock(1000); // one tick per millisecond
    mouse_state_source = read_mouse;
    gamepad_open_source = open_pad;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    keyboard_create();
    mouse_create();
    gamepads_create();
    events_setup();
    READER r{data, size};
    while (r.left) {
        const uint8_t step = r.u8();
        if (step % 4 == 0) {
            fake_clock_now += r.u8();
            poll_x = static_cast<int32_t>(r.u32());
            poll_y = static_cast<int32_t>(r.u32());
            poll_buttons = r.u32();
            keyboard_frame_reset();
            mouse_update();
            gamepads_frame_reset();
        } else {
            handle_event(make_event(r)); // a drop event's payload is released here
        }
        check_records();
    }
    return 0;
}
