// Input records and the event pump (see input.h).
#include "app/input.h"

#include "gfx/window.h"

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstring>

KEYBOARD_STATE keyboard;
MOUSE_STATE mouse;
STOPWATCH focus_stopwatch;
bool app_quit = false;
bool app_paused = false;
bool app_has_focus = false;
uint32_t (*mouse_state_source)(int* x, int* y) = SDL_GetMouseState;
void (*event_listener)(const SDL_Event& event, void* user) = nullptr;
void* event_listener_user = nullptr;
void (*event_hook)(const SDL_Event& event) = nullptr;

namespace {

// Set from a signal handler, or on Windows from the thread the console's
// events run on: a lock-free atomic serves both.
std::atomic<int> quit_signalled{0};

// The engine-side auto-repeat shared by keys and buttons: a countdown of
// `delay` frames, then a repeat every `interval + 1` frames while held.
void auto_repeat(int32_t& delay_countdown, int32_t& interval_countdown, int32_t interval,
                 uint8_t& repeated) {
    if (delay_countdown > 0) {
        --delay_countdown;
    } else if (interval_countdown > 0) {
        --interval_countdown;
    } else {
        repeated = 1;
        interval_countdown = interval;
    }
}

// SDL reports the mouse in screen points; a high-DPI window draws (and
// places its 2D pass) in more pixels than that, so positions are taken into
// drawable pixels. The same size both ways (every other window) changes
// nothing.
void scale_to_drawable(int& x, int& y) {
    const APP_WINDOW* w = app_window;
    if (!w || w->window_width <= 0 || w->window_height <= 0 ||
        (w->window_width == w->width && w->window_height == w->height)) {
        return;
    }
    x = int(int64_t(x) * w->width / w->window_width);
    y = int(int64_t(y) * w->height / w->window_height);
}

bool button_accepted(int button) {
    return app_has_focus && stopwatch_elapsed_ms(focus_stopwatch) >= 100 && button > 0 &&
           button < BUTTON_COUNT;
}

void accept_button(int button) {
    mouse.held[button] = 1;
    mouse.repeat_button = button;
    mouse.delay_countdown = mouse.repeat_delay;
    mouse.interval_countdown = 0;
}

void key_down(int32_t key) {
    const int s = key_scancode(key);
    if (s < 0) {
        return;
    }
    keyboard.held[s] = keyboard.pressed[s] = keyboard.repeated[s] = 1;
    keyboard.repeat_key = key;
    keyboard.delay_countdown = keyboard.repeat_delay;
    keyboard.interval_countdown = 0;
}

void window_event(const SDL_WindowEvent& w) {
    switch (w.event) {
    case SDL_WINDOWEVENT_MINIMIZED:
        app_paused = true;
        break;
    case SDL_WINDOWEVENT_RESTORED:
        app_paused = false;
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        app_has_focus = true;
        stopwatch_restart(focus_stopwatch);
        break;
    case SDL_WINDOWEVENT_FOCUS_LOST:
        app_has_focus = false;
        break;
    default:
        break;
    }
}

// SDL's precise amounts carry a smooth wheel's fractions; a value that is
// not finite (nothing a real wheel sends) would poison the frame's sum and
// is dropped.
void add_wheel_travel(const SDL_MouseWheelEvent& wheel) {
    if (std::isfinite(wheel.preciseX) && std::isfinite(wheel.preciseY)) {
        mouse.wheel_x += wheel.preciseX;
        mouse.wheel_y += wheel.preciseY;
    }
}

} // namespace

int key_scancode(int32_t key) {
    const int s = static_cast<int>(SDL_GetScancodeFromKey(key));
    return s >= 0 && s < KEY_COUNT ? s : -1;
}

bool key_pressed(int32_t key) {
    const int s = key_scancode(key);
    return s >= 0 && keyboard.pressed[s];
}

bool key_held(int32_t key) {
    const int s = key_scancode(key);
    return s >= 0 && keyboard.held[s];
}

void keyboard_create() {
    std::memset(&keyboard, 0, sizeof keyboard);
    keyboard.repeat_delay = 15;
    keyboard.repeat_interval = 2;
}

void mouse_create() {
    std::memset(&mouse, 0, sizeof mouse);
    mouse.repeat_delay = 15;
    mouse.repeat_interval = 2;
}

void events_setup() {
    app_quit = false;
    app_paused = false;
    app_has_focus = false;
    quit_signalled = 0;
    stopwatch_create(focus_stopwatch);
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
}

void keyboard_frame_reset() {
    std::memset(keyboard.pressed, 0, sizeof keyboard.pressed);
    std::memset(keyboard.repeated, 0, sizeof keyboard.repeated);
    if (keyboard.repeat_key != 0 && keyboard.repeat_delay > 0) {
        const int s = key_scancode(keyboard.repeat_key);
        if (s >= 0 && keyboard.held[s]) {
            auto_repeat(keyboard.delay_countdown, keyboard.interval_countdown,
                        keyboard.repeat_interval, keyboard.repeated[s]);
        }
    }
}

void mouse_update() {
    MOUSE_STATE& m = mouse;
    m.previous_x = m.x;
    m.previous_y = m.y;
    int x = m.x, y = m.y;
    const uint32_t buttons = mouse_state_source(&x, &y);
    scale_to_drawable(x, y);
    m.x = x;
    m.y = y;
    // dx and dy keep the unclamped motion; the difference wraps instead of
    // overflowing for positions far outside the window.
    m.dx = static_cast<int32_t>(static_cast<uint32_t>(m.x) - static_cast<uint32_t>(m.previous_x));
    m.dy = static_cast<int32_t>(static_cast<uint32_t>(m.y) - static_cast<uint32_t>(m.previous_y));
    const int32_t width = app_window ? app_window->width : 1024;
    const int32_t height = app_window ? app_window->height : 600;
    if (m.x >= width) {
        m.x = width - 1;
    }
    if (m.x < 0) {
        m.x = 0;
    }
    if (m.y >= height) {
        m.y = height - 1;
    }
    if (m.y < 0) {
        m.y = 0;
    }
    // Polled buttons: a held, accepted button restarts the repeat countdown
    // every frame, so while the window has focus a held mouse button stays
    // held without auto-repeating; its press is reported once, by the event.
    for (int b = 1; b < BUTTON_COUNT; ++b) {
        if ((buttons & SDL_BUTTON(b)) && button_accepted(b)) {
            accept_button(b);
        }
    }
    m.moved = m.previous_x != m.x || m.previous_y != m.y;
    std::memset(m.pressed, 0, sizeof m.pressed);
    std::memset(m.repeated, 0, sizeof m.repeated);
    m.wheel_up = m.wheel_down = m.wheel_left = m.wheel_right = false;
    m.wheel_x = m.wheel_y = 0.0f;
    const int rb = m.repeat_button;
    if (rb > 0 && rb < BUTTON_COUNT && m.repeat_delay > 0 && m.held[rb]) {
        auto_repeat(m.delay_countdown, m.interval_countdown, m.repeat_interval, m.repeated[rb]);
    }
    m.previous_x = m.x;
    m.previous_y = m.y;
}

namespace {

// Applies one event to the records and flags; a dropped file's name is left
// to the caller.
void record_event(const SDL_Event& event) {
    switch (event.type) {
    case SDL_QUIT:
        app_quit = true;
        break;
    case SDL_WINDOWEVENT:
        window_event(event.window);
        break;
    case SDL_KEYDOWN:
        // The operating system's own key repeat is ignored; the engine
        // repeats held keys itself.
        if (event.key.repeat == 0) {
            key_down(event.key.keysym.sym);
        }
        break;
    case SDL_KEYUP: {
        const int s = key_scancode(event.key.keysym.sym);
        if (s >= 0) {
            keyboard.held[s] = 0;
        }
        break;
    }
    case SDL_MOUSEBUTTONDOWN: {
        const int b = event.button.button;
        if (button_accepted(b)) {
            accept_button(b);
            mouse.pressed[b] = mouse.repeated[b] = 1;
        }
        break;
    }
    case SDL_MOUSEBUTTONUP: {
        const int b = event.button.button;
        if (b < BUTTON_COUNT) {
            mouse.held[b] = 0;
        }
        break;
    }
    case SDL_MOUSEWHEEL:
        if (event.wheel.y > 0) {
            mouse.wheel_up = true;
        }
        if (event.wheel.y < 0) {
            mouse.wheel_down = true;
        }
        if (event.wheel.x < 0) {
            mouse.wheel_left = true;
        }
        if (event.wheel.x > 0) {
            mouse.wheel_right = true;
        }
        add_wheel_travel(event.wheel);
        break;
    default:
        gamepad_event(event);
        break;
    }
}

// SDL allocates the payload of every drop event (null for begin and complete
// from SDL itself) and leaves freeing it to the receiver.
void free_drop_payload(const SDL_Event& event) {
    switch (event.type) {
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
    case SDL_DROPBEGIN:
    case SDL_DROPCOMPLETE:
        SDL_free(event.drop.file);
        break;
    default:
        break;
    }
}

} // namespace

void handle_event(const SDL_Event& event) {
    record_event(event);
    free_drop_payload(event);
}

void pump_event(const SDL_Event& event) {
    record_event(event);
    if (event_hook) {
        event_hook(event);
    }
    if (event_listener) {
        event_listener(event, event_listener_user);
    }
    free_drop_payload(event);
}

void event_pump() {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        pump_event(event);
    }
    if (quit_signalled) {
        app_quit = true;
    }
}

void request_quit_from_signal() {
    quit_signalled = 1;
}

bool quit_signal_received() {
    return quit_signalled != 0;
}

bool quit_pending() {
    if (app_quit || quit_signalled) {
        return true;
    }
    if (SDL_WasInit(SDL_INIT_VIDEO) == 0) {
        return false;
    }
    SDL_PumpEvents();
    return SDL_HasEvent(SDL_QUIT) == SDL_TRUE;
}
