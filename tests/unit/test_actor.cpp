// Actors: naming from the global counter, local transforms folded into the
// model stack, and animation playback stepping and wrapping.
#include "math/matrix_stack.h"
#include "scene/actor.h"
#include "scene/scene_objects.h"

#include <gtest/gtest.h>

namespace {

class ACTORS : public ::testing::Test {
  protected:
    void SetUp() override {
        scene_objects_reset();
        model_stack_create_global();
        math_reset();
    }
};

TEST_F(ACTORS, actors_are_named_from_the_counter_and_set_name_null_clears_the_name) {
    ACTOR first;
    ACTOR second;
    EXPECT_STREQ(first.name, "Actor0");
    EXPECT_STREQ(second.name, "Actor1");
    EXPECT_EQ(actor_counter, 2u);

    set_name(&second, "player");
    EXPECT_STREQ(second.name, "player");
    set_name(&second, nullptr);
    EXPECT_EQ(second.name, nullptr);

    actors_reset();
    ACTOR again;
    EXPECT_STREQ(again.name, "Actor0");
}

TEST_F(ACTORS, apply_local_transform_multiplies_the_translation_into_the_model_stack_top) {
    MATRIX4 start;
    matrix_identity(start);
    start.m[12] = 10.0f; // the top already carries a parent translation
    matrix_stack_load(model_stack, start);

    ACTOR actor;
    actor.position = VECTOR3{1, 2, 3};
    apply_local_transform(&actor);

    EXPECT_EQ(actor.local.m[12], 1.0f);
    EXPECT_EQ(actor.local.m[13], 2.0f);
    EXPECT_EQ(actor.local.m[14], 3.0f);
    const MATRIX4& top = *model_stack->top;
    EXPECT_EQ(top.m[12], 11.0f);
    EXPECT_EQ(top.m[13], 2.0f);
    EXPECT_EQ(top.m[14], 3.0f);
    EXPECT_EQ(top.m[0], 1.0f);
    EXPECT_EQ(top.m[5], 1.0f);
    EXPECT_EQ(top.m[10], 1.0f);
}

TEST_F(ACTORS, advance_animation_wraps_in_the_direction_of_its_speed_and_rate_zero_pauses) {
    ANIMATION forward;
    forward.speed = 0.25f;
    forward.playback_position = 0.9f;
    advance_animation(&forward);
    EXPECT_FLOAT_EQ(forward.playback_position, 0.15f);
    EXPECT_TRUE(forward.wrapped);
    EXPECT_EQ(forward.advanced, 1);

    ANIMATION backward;
    backward.speed = -0.25f;
    backward.playback_position = 0.1f;
    advance_animation(&backward);
    EXPECT_FLOAT_EQ(backward.playback_position, 0.85f);
    EXPECT_TRUE(backward.wrapped);

    ANIMATION inside;
    inside.speed = 0.25f;
    inside.playback_position = 0.5f;
    advance_animation(&inside);
    EXPECT_EQ(inside.playback_position, 0.75f);
    EXPECT_FALSE(inside.wrapped);

    ANIMATION paused;
    paused.rate = 0.0f;
    paused.speed = 0.25f;
    paused.playback_position = 0.9f;
    advance_animation(&paused);
    EXPECT_EQ(paused.playback_position, 0.9f);
    EXPECT_FALSE(paused.wrapped);
    EXPECT_EQ(paused.advanced, 1);
}

} // namespace
