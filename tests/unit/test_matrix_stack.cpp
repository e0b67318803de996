// Matrix stacks: creation, push/pop/mult/load, refusal at both bounds without touching memory
// outside the slots, a stack whose slots could not be allocated, and the global model stack.
#include "tests/support/math_helpers.h"
#include "math/matrix_stack.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

bool same_bits(const MATRIX4& a, const MATRIX4& b) {
    return std::memcmp(a.m, b.m, sizeof a.m) == 0;
}

class matrix_stack : public ::testing::Test {
  protected:
    void SetUp() override { math_reset(); }
    void TearDown() override { math_reset(); }
};

} // namespace

TEST_F(matrix_stack, new_stack_has_identity_slots_and_top_at_bottom) {
    MATRIX_STACK* s = matrix_stack_create(64, new MATRIX_STACK);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->magic, MATRIX_STACK_MAGIC);
    EXPECT_EQ(s->capacity, 64u);
    EXPECT_EQ(s->depth, 0);
    EXPECT_EQ(s->top, s->slots);
    EXPECT_EQ(s->changed, 1);
    for (uint32_t i = 0; i < s->capacity; ++i) {
        EXPECT_TRUE(same_bits(s->slots[i], identity())) << "slot " << i;
    }
    matrix_stack_destroy(s);
}

TEST_F(matrix_stack, push_then_pop_restores_depth_top_and_contents) {
    MATRIX_STACK* s = matrix_stack_create(4, new MATRIX_STACK);
    ASSERT_NE(s, nullptr);
    matrix_stack_load(s, translation(5, 6, 7));
    s->changed = 0;

    ASSERT_TRUE(matrix_stack_push(s));
    EXPECT_EQ(s->depth, 1);
    EXPECT_EQ(s->top, s->slots + 1);
    EXPECT_EQ(s->changed, 1);
    EXPECT_TRUE(same_bits(*s->top, translation(5, 6, 7)));

    // mult folds the factor in on the right; the slot below is untouched.
    matrix_stack_mult(s, translation(1, 0, 0));
    EXPECT_EQ(s->top->m[12], 6.0f);
    EXPECT_TRUE(same_bits(s->slots[0], translation(5, 6, 7)));
    const MATRIX4 pushed = *s->top;

    s->changed = 0;
    ASSERT_TRUE(matrix_stack_pop(s));
    EXPECT_EQ(s->depth, 0);
    EXPECT_EQ(s->top, s->slots);
    EXPECT_EQ(s->changed, 1);
    EXPECT_TRUE(same_bits(*s->top, translation(5, 6, 7)));
    EXPECT_TRUE(same_bits(s->slots[1], pushed));

    // load overwrites the top without raising the flag; mult raises it.
    s->changed = 0;
    matrix_stack_load(s, identity());
    EXPECT_EQ(s->changed, 0);
    matrix_stack_mult(s, translation(1, 0, 0));
    EXPECT_EQ(s->changed, 1);
    EXPECT_TRUE(same_bits(*s->top, translation(1, 0, 0)));
    matrix_stack_destroy(s);
}

TEST_F(matrix_stack, push_at_last_slot_and_pop_at_bottom_are_refused) {
    // A refused request leaves depth, top and contents as they were.
    MATRIX_STACK* s = matrix_stack_create(2, new MATRIX_STACK);
    ASSERT_NE(s, nullptr);
    matrix_stack_assert_on_refusal = false;

    EXPECT_FALSE(matrix_stack_pop(s));
    EXPECT_EQ(s->depth, 0);
    EXPECT_EQ(s->top, s->slots);

    ASSERT_TRUE(matrix_stack_push(s));
    matrix_stack_mult(s, translation(2, 0, 0));
    const MATRIX4 top = *s->top;
    EXPECT_FALSE(matrix_stack_push(s));
    EXPECT_EQ(s->depth, 1);
    EXPECT_EQ(s->top, s->slots + 1);
    EXPECT_TRUE(same_bits(*s->top, top));

    ASSERT_TRUE(matrix_stack_pop(s));
    EXPECT_FALSE(matrix_stack_pop(s));
    EXPECT_EQ(s->depth, 0);
    EXPECT_TRUE(same_bits(*s->top, identity()));
    matrix_stack_destroy(s);
}

TEST_F(matrix_stack, capacity_one_stack_takes_mult_and_load_but_no_push) {
    MATRIX_STACK* s = matrix_stack_create(1, new MATRIX_STACK);
    ASSERT_NE(s, nullptr);
    matrix_stack_mult(s, translation(1, 2, 3));
    EXPECT_TRUE(same_bits(*s->top, translation(1, 2, 3)));
    matrix_stack_load(s, translation(4, 5, 6));
    EXPECT_TRUE(same_bits(s->slots[0], translation(4, 5, 6)));

    matrix_stack_assert_on_refusal = false;
    EXPECT_FALSE(matrix_stack_push(s));
    EXPECT_EQ(s->depth, 0);
    EXPECT_EQ(s->top, s->slots);
    matrix_stack_destroy(s);
}

#ifndef NDEBUG
TEST_F(matrix_stack, refused_request_stops_debug_builds_at_an_assertion) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MATRIX_STACK* s = matrix_stack_create(1, new MATRIX_STACK);
    ASSERT_NE(s, nullptr);
    EXPECT_DEATH(matrix_stack_push(s), "push beyond the last slot");
    EXPECT_DEATH(matrix_stack_pop(s), "pop below the bottom slot");
    matrix_stack_destroy(s);
}
#endif

TEST_F(matrix_stack, stack_without_slots_is_reported_and_refuses_everything) {
    MATRIX_STACK* record = new MATRIX_STACK;
    testing::internal::CaptureStderr();
    EXPECT_EQ(matrix_stack_create(0, record), nullptr);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot allocate"), std::string::npos);
    EXPECT_EQ(record->magic, MATRIX_STACK_MAGIC);
    EXPECT_EQ(record->capacity, 0u);
    EXPECT_EQ(record->top, nullptr);
    EXPECT_EQ(record->slots, nullptr);

    matrix_stack_assert_on_refusal = false;
    EXPECT_FALSE(matrix_stack_push(record));
    EXPECT_FALSE(matrix_stack_pop(record));
    matrix_stack_mult(record, translation(1, 0, 0));
    matrix_stack_load(record, identity());
    EXPECT_EQ(record->depth, 0);
    EXPECT_EQ(record->top, nullptr);
    matrix_stack_destroy(record);
    matrix_stack_destroy(nullptr);
}

TEST_F(matrix_stack, global_model_stack_is_created_once_and_reset_to_identity) {
    MATRIX_STACK* s = model_stack_create_global();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s, model_stack);
    EXPECT_EQ(model_stack_create_global(), s);
    EXPECT_EQ(s->capacity, MODEL_STACK_CAPACITY);

    ASSERT_TRUE(matrix_stack_push(s));
    matrix_stack_load(s, translation(1, 2, 3));
    s->changed = 0;
    math_reset();
    EXPECT_EQ(model_stack, s);
    EXPECT_EQ(s->depth, 0);
    EXPECT_EQ(s->top, s->slots);
    EXPECT_EQ(s->changed, 1);
    EXPECT_TRUE(same_bits(s->slots[1], identity()));
    EXPECT_TRUE(matrix_stack_assert_on_refusal);
}
