// Frame pacer and frame timers, driven by an injected counter and frequency.
#include "app/pacer.h"
#include "tests/support/fake_clock.h"

#include <gtest/gtest.h>

namespace {

class PACER_TEST : public ::testing::Test {
  protected:
    void SetUp() override {
        use_fake_clock(1000000); // one tick per microsecond
        pacer_reset();
        pacer_defaults();
    }
    void TearDown() override { time_source_use_sdl(); }
    static constexpr uint64_t P = 1000000 / 60; // 16666 ticks, truncated
};

} // namespace

TEST_F(PACER_TEST, first_step_is_behind_and_lands_on_the_next_period_boundary) {
    fake_clock_now = 5 * P + 123;
    EXPECT_EQ(pacer_step(), 0);
    EXPECT_EQ(frame_pacer.yield_countdown, 3);
    EXPECT_EQ(frame_pacer.next_deadline, 6 * P);
}

TEST_F(PACER_TEST, on_time_frames_sleep_the_truncated_milliseconds_left) {
    fake_clock_now = 10;
    pacer_step(); // deadline P
    // Finishing 10.9 ms before the next deadline sleeps 10 ms and resets the countdown.
    fake_clock_now = 2 * P - 10900;
    frame_pacer.yield_countdown = 2;
    EXPECT_EQ(pacer_step(), 10);
    EXPECT_EQ(frame_pacer.yield_countdown, 4);
    // Less than 1 ms before the deadline: no sleep, the countdown runs down
    // by one per frame and wraps back to 4 without a sleep.
    const int32_t countdown[4] = {3, 2, 1, 4};
    for (int i = 0; i < 4; ++i) {
        fake_clock_now = (3 + i) * P - 500;
        EXPECT_EQ(pacer_step(), 0) << "frame " << i;
        EXPECT_EQ(frame_pacer.yield_countdown, countdown[i]) << "frame " << i;
    }
}

TEST_F(PACER_TEST, four_late_frames_give_0_0_0_1_and_a_stall_drops_frames_without_a_burst) {
    fake_clock_now = 1;
    pacer_step(); // deadline P, countdown 3
    frame_pacer.yield_countdown = 4;
    int32_t late[4];
    for (int i = 0; i < 4; ++i) {
        fake_clock_now = frame_pacer.next_deadline + P + 100; // behind the next deadline
        late[i] = pacer_step();
    }
    EXPECT_EQ(late[0], 0);
    EXPECT_EQ(late[1], 0);
    EXPECT_EQ(late[2], 0);
    EXPECT_EQ(late[3], 1);

    // A stall of ten periods: the deadline jumps past now, and the very next
    // frame finishing early sleeps again instead of racing to catch up.
    const uint64_t before = frame_pacer.next_deadline;
    fake_clock_now = before + 10 * P + 7;
    pacer_step();
    EXPECT_GT(frame_pacer.next_deadline, fake_clock_now);
    EXPECT_EQ((frame_pacer.next_deadline - before) % P, 0u);
    fake_clock_now += 1000;
    EXPECT_GT(pacer_step(), 0);
}

TEST_F(PACER_TEST, frame_timer_fills_slots_1_to_9_then_0_and_tracks_min_and_max) {
    FRAME_TIMER t;
    ASSERT_TRUE(frame_timer_create(t));
    for (int32_t s : {0, 1, 9}) {
        EXPECT_EQ(t.samples[s], -1);
    }
    for (int i = 1; i <= 10; ++i) {
        frame_timer_begin(t);
        frame_timer_begin(t); // ignored: one measurement is running
        fake_clock_now += uint64_t(i) * 100;
        frame_timer_end(t);
        frame_timer_end(t); // ignored: not running
        EXPECT_EQ(t.index, i % 10);
        EXPECT_EQ(t.samples[i % 10], i * 100);
    }
    EXPECT_EQ(t.minimum, 100);
    EXPECT_EQ(t.maximum, 1000);
    frame_timer_reset(t);
    EXPECT_EQ(t.samples[3], -1);
    EXPECT_EQ(t.maximum, INT32_MIN);
    EXPECT_EQ(t.minimum, INT32_MAX);
    frame_timer_destroy(t);
    EXPECT_EQ(t.samples, nullptr);
}

TEST_F(PACER_TEST, stopwatch_elapsed_counts_from_restart) {
    STOPWATCH w;
    fake_clock_now = 5000;
    stopwatch_create(w);
    fake_clock_now = 5000 + 99999;
    EXPECT_EQ(stopwatch_elapsed_ms(w), 99);
    stopwatch_restart(w);
    fake_clock_now += 100000;
    EXPECT_EQ(stopwatch_elapsed_ms(w), 100);
}
