// The perspective camera: projection and frustum from the window size, view
// rebuild with its un-negated z, advance and basis vectors, the 2D pass's
// matrices and render state, and a camera whose stacks could not be made.
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/scene_objects.h"
#include "tests/support/fake_gl.h"
#include "tests/support/math_helpers.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class CAMERAS : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        scene_objects_reset();
        handle_tables_reset();
        render_state_reset();
        model_stack_create_global();
        math_reset();
    }
    void TearDown() override { matrix_stack_assert_on_refusal = true; }
};

void expect_vector(const VECTOR3& v, float x, float y, float z, float tolerance = 1e-6f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

bool is_identity(const MATRIX4& m) {
    MATRIX4 identity;
    matrix_identity(identity);
    return std::memcmp(&m, &identity, sizeof m) == 0;
}

TEST_F(CAMERAS, new_camera_has_the_window_frustum_and_an_identity_view) {
    CAMERA3D camera;
    ASSERT_TRUE(camera_valid(&camera));
    EXPECT_STREQ(camera.name, "Actor0");
    EXPECT_EQ(camera.viewport, &camera.rectangle);
    EXPECT_EQ(camera.rectangle.width, 1024);
    EXPECT_EQ(camera.rectangle.height, 600);
    EXPECT_EQ(camera.near_plane, 0.10000000149011612);
    EXPECT_EQ(camera.far_plane, 10000.0);
    EXPECT_EQ(camera.fovy, 60.0);
    EXPECT_DOUBLE_EQ(camera.aspect, 1024.0 / 600.0);
    EXPECT_NEAR(camera.top, 0.0577350, 1e-6);
    EXPECT_NEAR(camera.right, 0.0985344, 1e-6);
    EXPECT_EQ(camera.bottom, -camera.top);
    EXPECT_EQ(camera.left, -camera.right);

    const MATRIX4& p = *camera.projection_stack->top;
    EXPECT_NEAR(p.m[0], 1.0148735f, 1e-6f);
    EXPECT_NEAR(p.m[5], 1.7320508f, 1e-6f);
    EXPECT_NEAR(p.m[10], -1.00002f, 1e-6f);
    EXPECT_EQ(p.m[11], -1.0f);
    EXPECT_NEAR(p.m[14], -0.200002f, 1e-6f);
    EXPECT_EQ(p.m[15], 0.0f);
    EXPECT_TRUE(is_identity(*camera.view_stack->top));
    EXPECT_EQ(camera.view_dirty, 1);
}

TEST_F(CAMERAS, fov_of_90_gives_top_equal_to_near_and_right_near_times_aspect) {
    CAMERA3D camera;
    camera_set_fov(&camera, 90.0);
    EXPECT_NEAR(camera.top, camera.near_plane, 1e-12);
    EXPECT_NEAR(camera.right, camera.near_plane * 1024.0 / 600.0, 1e-12);
    EXPECT_NEAR(camera.projection_stack->top->m[5], 1.0f, 1e-6f);
}

TEST_F(CAMERAS, rebuilt_view_with_zero_angles_translates_by_minus_x_minus_y_plus_z) {
    CAMERA3D camera;
    camera.position = VECTOR3{1, 2, 3};
    camera_update(&camera);
    const MATRIX4& v = *camera.view_stack->top;
    EXPECT_FLOAT_EQ(v.m[12], -1.0f);
    EXPECT_FLOAT_EQ(v.m[13], -2.0f);
    EXPECT_FLOAT_EQ(v.m[14], 3.0f);
    EXPECT_FLOAT_EQ(v.m[0], 1.0f);
    EXPECT_FLOAT_EQ(v.m[5], 1.0f);
    EXPECT_FLOAT_EQ(v.m[10], 1.0f);
    EXPECT_EQ(camera.view_dirty, 0);

    // The update rebuilds from the identity, so a second update gives the same view.
    MATRIX4 first = v;
    camera_update(&camera);
    EXPECT_EQ(std::memcmp(&first, camera.view_stack->top, sizeof first), 0);
}

// Pitch and yaw turn counter-clockwise, roll clockwise, then the stored
// position moves by (-x, -y, +z): V = Rx(20) Ry(35) Rz(-50) T(-1, -2, 3).
TEST_F(CAMERAS, rebuilt_view_with_pitch_yaw_and_roll_matches_the_reference) {
    CAMERA3D camera;
    camera.position = VECTOR3{1, 2, 3};
    camera.rotation = VECTOR3{20, 35, 50};
    camera_update(&camera);
    const REF4 expected = ref_rotation(0, 20) * ref_rotation(1, 35) * ref_rotation(2, -50) *
                          ref_translation(-1, -2, 3);
    EXPECT_TRUE(matrix_near(*camera.view_stack->top, expected, 1e-5));
}

TEST_F(CAMERAS, advance_moves_along_the_pitch_yaw_direction) {
    CAMERA3D camera;
    camera_advance(&camera, 2.0f);
    expect_vector(camera.position, 0, 0, 2);
    EXPECT_EQ(camera.view_dirty, 1);

    CAMERA3D turned;
    turned.rotation = VECTOR3{30, 45, 0};
    camera_advance(&turned, 1.0f);
    expect_vector(turned.position, 0.6123724f, -0.5f, 0.6123724f);
}

TEST_F(CAMERAS, basis_vectors_follow_the_angles_and_switch_up_when_looking_straight_down) {
    CAMERA3D level;
    camera_update_basis(&level);
    expect_vector(level.forward, 0, 0, 1);
    expect_vector(level.up, 0, 1, 0);
    expect_vector(level.side, 1, 0, 0);
    EXPECT_EQ(level.view_dirty, 1);

    CAMERA3D down;
    down.rotation.x = 90;
    camera_update_basis(&down);
    expect_vector(down.forward, 0, -1, 0, 1e-5f);
    expect_vector(down.up, 0, 0, 1, 1e-5f);

    CAMERA3D up;
    up.rotation.x = -90;
    camera_update_basis(&up);
    expect_vector(up.forward, 0, 1, 0, 1e-5f);
    expect_vector(up.up, 0, 0, -1, 1e-5f);
}

TEST_F(CAMERAS, two_d_pass_uses_window_pixels_and_leaves_both_stacks_as_they_were) {
    CAMERA3D camera;
    current_camera = &camera;
    camera.position = VECTOR3{4, 5, 6};
    camera_update(&camera);
    MATRIX4 view = *camera.view_stack->top;
    MATRIX4 projection = *camera.projection_stack->top;
    int32_t view_depth = camera.view_stack->depth;
    int32_t projection_depth = camera.projection_stack->depth;

    begin_2d_pass();
    const MATRIX4& ortho = *camera.view_stack->top;
    EXPECT_NEAR(ortho.m[0], 2.0f / 1023.0f, 1e-7f);
    EXPECT_NEAR(ortho.m[5], -2.0f / 599.0f, 1e-7f);
    EXPECT_EQ(ortho.m[10], 1.0f);
    EXPECT_EQ(ortho.m[14], 0.0f);
    EXPECT_EQ(ortho.m[12], -1.0f); // x = 0 is the left edge
    EXPECT_EQ(ortho.m[13], 1.0f);  // y = 0 is the top edge
    EXPECT_TRUE(is_identity(*camera.projection_stack->top));
    EXPECT_EQ(render_state.cull_mode, CULL_NONE);
    EXPECT_EQ(render_state.blend_mode, BLEND_ALPHA);
    EXPECT_EQ(render_state.depth_bits & DEPTH_BIT_TEST, 0u);

    end_2d_pass();
    EXPECT_EQ(camera.view_stack->depth, view_depth);
    EXPECT_EQ(camera.projection_stack->depth, projection_depth);
    EXPECT_EQ(std::memcmp(&view, camera.view_stack->top, sizeof view), 0);
    EXPECT_EQ(std::memcmp(&projection, camera.projection_stack->top, sizeof projection), 0);
    EXPECT_EQ(render_state.cull_mode, CULL_BACK);
    EXPECT_EQ(render_state.blend_mode, BLEND_OPAQUE);
    EXPECT_NE(render_state.depth_bits & DEPTH_BIT_TEST, 0u);
}

TEST_F(CAMERAS, two_d_pass_on_a_full_view_stack_pops_only_what_it_pushed) {
    CAMERA3D camera;
    current_camera = &camera;
    matrix_stack_assert_on_refusal = false;
    // Fill the view stack to its last slot, each level marked by its depth.
    while (uint32_t(camera.view_stack->depth) + 1u < camera.view_stack->capacity) {
        matrix_stack_push(camera.view_stack);
        camera.view_stack->top->m[12] = float(camera.view_stack->depth);
    }
    int32_t view_depth = camera.view_stack->depth;
    int32_t projection_depth = camera.projection_stack->depth;

    begin_2d_pass(); // the view push is refused, the projection push is taken
    EXPECT_EQ(camera.view_stack->depth, view_depth);
    EXPECT_EQ(camera.view_stack->top->m[12], float(view_depth));
    EXPECT_TRUE(is_identity(*camera.projection_stack->top));
    end_2d_pass();

    // The 3D view underneath is neither overwritten nor popped.
    EXPECT_EQ(camera.view_stack->depth, view_depth);
    EXPECT_EQ(camera.view_stack->top->m[12], float(view_depth));
    EXPECT_EQ(camera.projection_stack->depth, projection_depth);
}

TEST_F(CAMERAS, camera_without_stacks_is_rejected_and_its_operations_do_nothing) {
    CAMERA3D camera(0); // no room: the stacks cannot be made
    EXPECT_FALSE(camera_valid(&camera));
    EXPECT_EQ(camera.view_stack, nullptr);
    EXPECT_EQ(camera.projection_stack, nullptr);
    EXPECT_NEAR(camera.top, 0.0577350, 1e-6); // the frustum numbers are still kept

    camera.position = VECTOR3{1, 2, 3};
    camera_update(&camera);
    camera_set_perspective(&camera, 45.0, 1.0, 1.0, 100.0);
    current_camera = &camera;
    begin_2d_pass(); // still switches the render state
    EXPECT_EQ(render_state.blend_mode, BLEND_ALPHA);
    end_2d_pass();
    EXPECT_EQ(render_state.blend_mode, BLEND_OPAQUE);
}

TEST_F(CAMERAS, setup_creates_the_default_camera_first_and_makes_it_current) {
    ASSERT_TRUE(scene_objects_setup());
    ASSERT_NE(default_camera, nullptr);
    EXPECT_EQ(current_camera, default_camera);
    EXPECT_STREQ(default_camera->name, "Actor0");
    scene_objects_reset();
    EXPECT_EQ(default_camera, nullptr);
    EXPECT_EQ(current_camera, nullptr);
}

} // namespace
