// Keyboard and mouse records, the event pump and the loop's reaction to
// input, with SDL's dummy video driver (no display) and the GL recorder.
#include "app/input.h"
#include "app/pacer.h"
#include "app/runtime.h"
#include "gfx/window.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

int poll_x = 0, poll_y = 0;
uint32_t poll_buttons = 0;
uint32_t read_mouse(int* x, int* y) {
    *x = poll_x;
    *y = poll_y;
    return poll_buttons;
}

class INPUT_TEST : public ::testing::Test {
  protected:
    void SetUp() override {
        // The dummy driver gives SDL its key map and event queue without a display.
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "dummy");
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_VIDEO), 0) << SDL_GetError();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
        use_fake_clock(1000); // one tick per millisecond
        fake_clock_now = 1000000;
        // A deadline left by an earlier test on another clock would make a
        // drawing pass sleep until it.
        pacer_reset();
        poll_x = poll_y = 0;
        poll_buttons = 0;
        mouse_state_source = read_mouse;
        keyboard_create();
        mouse_create();
        events_setup();
        fake_gl::reset();
    }
    void TearDown() override {
        time_source_use_sdl();
        mouse_state_source = SDL_GetMouseState;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    static void push_key(SDL_EventType type, SDL_Keycode key, int repeat = 0) {
        SDL_Event e{};
        e.type = type;
        e.key.keysym.sym = key;
        e.key.repeat = uint8_t(repeat);
        SDL_PushEvent(&e);
    }
    static void push_window(SDL_WindowEventID what) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.event = uint8_t(what);
        SDL_PushEvent(&e);
    }
    static void push_button(SDL_EventType type, int button) {
        SDL_Event e{};
        e.type = type;
        e.button.button = uint8_t(button);
        SDL_PushEvent(&e);
    }
    static void pass_input() {
        keyboard_frame_reset();
        mouse_update();
        event_pump();
    }
    static bool cleared() {
        const auto& log = fake_gl::log();
        return std::any_of(log.begin(), log.end(),
                           [](const std::string& s) { return s.rfind("glClear(", 0) == 0; });
    }
};

} // namespace

TEST_F(INPUT_TEST, a_held_key_is_pressed_once_and_repeats_in_frames_16_and_19) {
    const int s = key_scancode(SDLK_a);
    ASSERT_GT(s, 0);
    std::vector<int> pressed, repeated;
    for (int frame = 0; frame < 20; ++frame) {
        if (frame == 0) {
            push_key(SDL_KEYDOWN, SDLK_a);
        } else {
            push_key(SDL_KEYDOWN, SDLK_a, 1); // the OS's own repeats change nothing
        }
        pass_input();
        EXPECT_TRUE(keyboard.held[s]);
        if (keyboard.pressed[s]) {
            pressed.push_back(frame);
        }
        if (keyboard.repeated[s]) {
            repeated.push_back(frame);
        }
    }
    EXPECT_EQ(pressed, std::vector<int>{0});
    EXPECT_EQ(repeated, (std::vector<int>{0, 16, 19}));
}

TEST_F(INPUT_TEST, a_key_pressed_and_released_in_one_frame_is_seen_once_without_repeats) {
    const int s = key_scancode(SDLK_SPACE);
    push_key(SDL_KEYDOWN, SDLK_SPACE);
    push_key(SDL_KEYUP, SDLK_SPACE);
    pass_input();
    EXPECT_TRUE(keyboard.pressed[s] && keyboard.repeated[s]);
    EXPECT_FALSE(keyboard.held[s]);
    for (int frame = 0; frame < 30; ++frame) {
        pass_input();
        EXPECT_FALSE(keyboard.pressed[s] || keyboard.repeated[s]);
    }
    EXPECT_EQ(keyboard.repeat_key, SDLK_SPACE); // stays set after release
}

TEST_F(INPUT_TEST, the_click_that_gives_focus_is_not_a_press_and_a_later_one_is) {
    push_window(SDL_WINDOWEVENT_FOCUS_GAINED);
    push_button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    pass_input();
    EXPECT_TRUE(app_has_focus);
    EXPECT_FALSE(mouse.pressed[SDL_BUTTON_LEFT]);
    EXPECT_FALSE(mouse.held[SDL_BUTTON_LEFT]);

    fake_clock_now += 100;
    push_button(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT);
    push_button(SDL_MOUSEBUTTONDOWN, 0);  // never a button
    push_button(SDL_MOUSEBUTTONDOWN, 12); // beyond the arrays
    pass_input();
    EXPECT_TRUE(mouse.pressed[SDL_BUTTON_LEFT]);
    EXPECT_TRUE(mouse.held[SDL_BUTTON_LEFT]);
    EXPECT_FALSE(mouse.pressed[0]);

    // Held and polled: still held, not pressed again.
    poll_buttons = SDL_BUTTON(SDL_BUTTON_LEFT);
    for (int i = 0; i < 40; ++i) {
        pass_input();
        EXPECT_TRUE(mouse.held[SDL_BUTTON_LEFT]);
        EXPECT_FALSE(mouse.pressed[SDL_BUTTON_LEFT]);
    }
    push_window(SDL_WINDOWEVENT_FOCUS_LOST);
    push_button(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT);
    poll_buttons = 0;
    pass_input();
    EXPECT_FALSE(app_has_focus);
    EXPECT_FALSE(mouse.held[SDL_BUTTON_LEFT]);
}

TEST_F(INPUT_TEST, the_mouse_is_clamped_to_the_window_while_dx_dy_keep_the_real_motion) {
    poll_x = 100;
    poll_y = 50;
    pass_input();
    poll_x = 1500;
    poll_y = -20;
    pass_input();
    EXPECT_EQ(mouse.x, 1023);
    EXPECT_EQ(mouse.y, 0);
    EXPECT_EQ(mouse.dx, 1400);
    EXPECT_EQ(mouse.dy, -70);
    EXPECT_TRUE(mouse.moved);
    EXPECT_EQ(mouse.previous_x, 1023);
    pass_input();
    EXPECT_EQ(mouse.dx, 1500 - 1023); // motion since the last (clamped) position
}

TEST_F(INPUT_TEST, wheel_flags_last_one_frame_and_quit_and_minimise_set_the_run_flags) {
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.x = -1;
    e.wheel.y = 2;
    SDL_PushEvent(&e);
    pass_input();
    EXPECT_TRUE(mouse.wheel_up && mouse.wheel_left);
    EXPECT_FALSE(mouse.wheel_down || mouse.wheel_right);
    pass_input();
    EXPECT_FALSE(mouse.wheel_up || mouse.wheel_left);

    push_window(SDL_WINDOWEVENT_MINIMIZED);
    pass_input();
    EXPECT_TRUE(app_paused);
    push_window(SDL_WINDOWEVENT_RESTORED);
    pass_input();
    EXPECT_FALSE(app_paused);
}

TEST_F(INPUT_TEST, the_wheel_amount_sums_the_frames_events_and_starts_again_each_frame) {
    for (float notches : {1.0f, 2.0f, -1.5f}) {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.y = int32_t(notches);
        e.wheel.preciseY = notches;
        e.wheel.preciseX = 1.0f;
        SDL_PushEvent(&e);
    }
    SDL_Event broken{}; // a non-finite amount is dropped, not summed
    broken.type = SDL_MOUSEWHEEL;
    broken.wheel.preciseY = NAN;
    SDL_PushEvent(&broken);
    pass_input();
    EXPECT_EQ(mouse.wheel_y, 1.5f);
    EXPECT_EQ(mouse.wheel_x, 3.0f);
    EXPECT_TRUE(mouse.wheel_up && mouse.wheel_down);
    pass_input();
    EXPECT_EQ(mouse.wheel_y, 0.0f);
}

namespace {
// Device index n opens as instance 100 + n; index 9 cannot be opened.
int32_t open_fake_pad(int32_t device_index, SDL_GameController** controller) {
    *controller = nullptr;
    return device_index == 9 ? -1 : 100 + device_index;
}
void push_pad(uint32_t type, int32_t which, int what = 0, int16_t value = 0) {
    SDL_Event e{};
    e.type = type;
    if (type == SDL_CONTROLLERAXISMOTION) {
        e.caxis.which = which;
        e.caxis.axis = uint8_t(what);
        e.caxis.value = value;
    } else if (type == SDL_CONTROLLERBUTTONDOWN || type == SDL_CONTROLLERBUTTONUP) {
        e.cbutton.which = which;
        e.cbutton.button = uint8_t(what);
    } else {
        e.cdevice.which = which;
    }
    SDL_PushEvent(&e);
}
} // namespace

TEST_F(INPUT_TEST, gamepads_connect_press_hold_move_and_read_released_once_removed) {
    const auto sdl_open = gamepad_open_source;
    gamepad_open_source = open_fake_pad;
    gamepads_create();
    const auto pass = [] {
        gamepads_frame_reset();
        pass_input();
    };
    push_pad(SDL_CONTROLLERDEVICEADDED, 0);
    push_pad(SDL_CONTROLLERDEVICEADDED, 9); // cannot be opened: ignored
    push_pad(SDL_CONTROLLERDEVICEADDED, 1);
    push_pad(SDL_CONTROLLERDEVICEADDED, 1); // announced twice, one slot
    push_pad(SDL_CONTROLLERBUTTONDOWN, 101, SDL_CONTROLLER_BUTTON_A);
    push_pad(SDL_CONTROLLERAXISMOTION, 101, SDL_CONTROLLER_AXIS_LEFTX, -32768);
    push_pad(SDL_CONTROLLERAXISMOTION, 101, SDL_CONTROLLER_AXIS_LEFTY, 6000); // in the dead zone
    push_pad(SDL_CONTROLLERAXISMOTION, 100, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, 16384);
    push_pad(SDL_CONTROLLERBUTTONDOWN, 555, SDL_CONTROLLER_BUTTON_B); // no such pad
    pass();
    EXPECT_TRUE(gamepad_connected(0) && gamepad_connected(1));
    EXPECT_FALSE(gamepad_connected(2));
    EXPECT_TRUE(gamepad_pressed(1, SDL_CONTROLLER_BUTTON_A));
    EXPECT_FALSE(gamepad_pressed(0, SDL_CONTROLLER_BUTTON_A));
    EXPECT_EQ(gamepad_axis(1, SDL_CONTROLLER_AXIS_LEFTX), -1.0f);
    EXPECT_EQ(gamepad_axis(1, SDL_CONTROLLER_AXIS_LEFTY), 0.0f);
    EXPECT_NEAR(gamepad_axis(0, SDL_CONTROLLER_AXIS_TRIGGERRIGHT), 0.375f, 1e-4f);
    pass();
    EXPECT_FALSE(gamepad_pressed(1, SDL_CONTROLLER_BUTTON_A));
    EXPECT_TRUE(gamepad_held(1, SDL_CONTROLLER_BUTTON_A));
    // Pulled out while held: released and centred; a new pad takes the slot.
    push_pad(SDL_CONTROLLERDEVICEREMOVED, 101);
    pass();
    EXPECT_FALSE(gamepad_connected(1));
    EXPECT_FALSE(gamepad_held(1, SDL_CONTROLLER_BUTTON_A));
    EXPECT_EQ(gamepad_axis(1, SDL_CONTROLLER_AXIS_LEFTX), 0.0f);
    EXPECT_FALSE(gamepad_held(7, SDL_CONTROLLER_BUTTON_A));
    push_pad(SDL_CONTROLLERDEVICEADDED, 2);
    pass();
    EXPECT_EQ(gamepads[1].instance_id, 102);
    gamepads_create();
    gamepad_open_source = sdl_open;
}

int presents = 0;

TEST_F(INPUT_TEST, escape_ends_the_loop_in_its_own_pass_without_drawing) {
    // A window record that presents; its null SDL window makes a swap leave
    // SDL's error text behind, so a swap is seen even without a display.
    APP_WINDOW window{};
    window.width = APP_WINDOW_WIDTH;
    window.height = APP_WINDOW_HEIGHT;
    window.present = true;
    app_window = &window;
    presents = 0;
    before_present_hook = [] { ++presents; };
    SDL_ClearError();
    push_key(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_FALSE(loop_pass());
    EXPECT_TRUE(app_quit);
    EXPECT_FALSE(cleared());
    EXPECT_EQ(presents, 0);
    EXPECT_STREQ(SDL_GetError(), "") << "a swap reached SDL";

    // The next pass, without Escape, clears, presents and swaps.
    app_quit = false;
    EXPECT_TRUE(loop_pass());
    EXPECT_TRUE(cleared());
    EXPECT_EQ(presents, 1);
    EXPECT_STRNE(SDL_GetError(), "");
    app_window = nullptr;
    before_present_hook = nullptr;
}

SDL_free_func sdl_free = nullptr;
void* last_freed = nullptr;
void remember_free(void* p) {
    if (p) {
        last_freed = p;
    }
    sdl_free(p);
}

TEST_F(INPUT_TEST, every_drop_event_payload_is_freed) {
    SDL_malloc_func m;
    SDL_calloc_func c;
    SDL_realloc_func r;
    SDL_GetMemoryFunctions(&m, &c, &r, &sdl_free);
    SDL_SetMemoryFunctions(m, c, r, remember_free);
    for (Uint32 type : {SDL_DROPFILE, SDL_DROPTEXT, SDL_DROPBEGIN, SDL_DROPCOMPLETE}) {
        SDL_Event e{};
        e.type = type;
        e.drop.file = SDL_strdup("payload");
        last_freed = nullptr;
        handle_event(e);
        EXPECT_EQ(last_freed, e.drop.file) << "event type " << type;
    }
    SDL_SetMemoryFunctions(m, c, r, sdl_free);
}

TEST_F(INPUT_TEST, closing_finishes_the_pass_and_ends_the_loop_at_the_next_test) {
    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    EXPECT_EQ(run_loop(5), 1);
    EXPECT_TRUE(app_quit);
    EXPECT_TRUE(cleared());
}

TEST_F(INPUT_TEST, while_minimised_escape_is_ignored_and_nothing_is_drawn_but_closing_ends) {
    push_window(SDL_WINDOWEVENT_MINIMIZED);
    push_key(SDL_KEYDOWN, SDLK_ESCAPE);
    EXPECT_TRUE(loop_pass());
    EXPECT_FALSE(app_quit);
    EXPECT_FALSE(cleared());

    SDL_Event e{};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    EXPECT_FALSE(loop_pass());
    EXPECT_FALSE(cleared());
}

TEST_F(INPUT_TEST, a_quit_signal_ends_the_loop_like_closing_the_window) {
    request_quit_from_signal();
    EXPECT_EQ(run_loop(5), 1);
    EXPECT_TRUE(app_quit);
}
