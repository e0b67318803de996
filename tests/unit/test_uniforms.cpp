// Per-draw uniforms: lights per slot (type 0 for unfilled slots, the
// direction of a light on its target stays finite), matrices with the camera
// position sent once per program per frame, and joint matrices up to the
// shader's joint limit.
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/lighting.h"
#include "scene/scene_objects.h"
#include "scene/skin.h"
#include "shader/program.h"
#include "scene/uniforms.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

namespace {

using fake_gl::call;

class UNIFORMS : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        reset_shader_programs();
        scene_objects_reset();
        handle_tables_reset();
        render_state_reset();
        model_stack_create_global();
        math_reset();
        program.program = 7;
    }
    void TearDown() override {
        program_skinned_model = nullptr;
        current_program = nullptr;
        lighting_scene = nullptr;
    }

    // Light member locations: slot * 10 + member (type 1, diffuse 2, ...).
    void give_light_locations() {
        for (int slot = 0; slot < MAX_LIGHTS; ++slot) {
            LIGHT_LOCATIONS& l = program.light_locations[slot];
            int base = slot * 10;
            l.type = base + 1;
            l.diffuse = base + 2;
            l.position = base + 3;
            l.direction = base + 4;
            l.attenuation_start = base + 5;
            l.attenuation_end = base + 6;
            l.hotspot_beam = base + 7;
            l.falloff = base + 8;
        }
        program.ambient_location = 99;
    }

    // The log of switching to the program, without the glUseProgram line.
    std::vector<std::string> switch_and_take() {
        current_program = nullptr;
        fake_gl::take();
        use_program(&program);
        std::vector<std::string> log = fake_gl::take();
        EXPECT_FALSE(log.empty());
        if (!log.empty()) {
            EXPECT_EQ(log.front(), call("glUseProgram", 7u));
            log.erase(log.begin());
        }
        return log;
    }

    SHADER_PROGRAM program;
    SCENE_LIGHTING scene;
};

void place(LIGHT& light, float x, float y, float z) {
    light.local.m[12] = x;
    light.local.m[13] = y;
    light.local.m[14] = z;
}

TEST_F(UNIFORMS, without_a_lighting_scene_a_switch_sends_no_light_data) {
    give_light_locations();
    EXPECT_TRUE(switch_and_take().empty());
}

TEST_F(UNIFORMS, point_light_fills_its_slot_and_every_other_slot_gets_type_none) {
    give_light_locations();
    LIGHT light;
    light.type = 1;
    light.slot = 2;
    light.colour[0] = 1.0f;
    light.colour[1] = 0.5f;
    light.colour[2] = 0.25f;
    light.intensity = 2.0f;
    light.attenuation_start = 3.0f;
    light.attenuation_end = 9.0f;
    place(light, 4, 5, 6);
    scene.ambient[0] = 0.1f;
    scene.ambient[1] = 0.2f;
    scene.ambient[2] = 0.3f;
    scene.lights = &light;
    lighting_scene = &scene;

    std::vector<std::string> expected = {
        call("glUniform3f", 99, 0.1f, 0.2f, 0.3f),
        call("glUniform1i", 21, 1),
        call("glUniform3f", 22, 2.0f, 1.0f, 0.5f),
        call("glUniform3f", 23, 4.0f, 5.0f, 6.0f),
        call("glUniform1f", 25, 3.0f),
        call("glUniform1f", 26, 9.0f),
        call("glUniform1i", 1, 0),
        call("glUniform1i", 11, 0),
        call("glUniform1i", 31, 0),
        call("glUniform1i", 41, 0),
    };
    EXPECT_EQ(switch_and_take(), expected);
}

TEST_F(UNIFORMS,
       directional_and_spot_lights_send_their_members_and_a_light_on_its_target_stays_finite) {
    give_light_locations();
    LIGHT directional;
    directional.type = 3;
    directional.slot = 0;
    place(directional, 0, 10, 0);
    directional.target = VECTOR3{0, 0, 0};

    LIGHT spot;
    spot.type = 2;
    spot.slot = 1;
    spot.hotspot_beam = 30.0f;
    spot.falloff = 50.0f;
    place(spot, 3, 0, 4);
    spot.target = VECTOR3{0, 0, 0};
    directional.next = &spot;

    LIGHT on_target; // position equals target: no direction
    on_target.type = 3;
    on_target.slot = 3;
    place(on_target, 2, 2, 2);
    on_target.target = VECTOR3{2, 2, 2};
    spot.next = &on_target;

    LIGHT beyond; // slots outside 0..4 are ignored, negative ones too
    beyond.type = 1;
    beyond.slot = 5;
    on_target.next = &beyond;
    LIGHT negative;
    negative.type = 1;
    negative.slot = -1;
    beyond.next = &negative;

    scene.lights = &directional;
    lighting_scene = &scene;
    program.ambient_location = -1;

    std::vector<std::string> expected = {
        call("glUniform1i", 1, 3),
        call("glUniform3f", 2, 1.0f, 1.0f, 1.0f),
        call("glUniform3f", 4, 0.0f, 1.0f, 0.0f),
        call("glUniform1i", 11, 2),
        call("glUniform3f", 12, 1.0f, 1.0f, 1.0f),
        call("glUniform3f", 13, 3.0f, 0.0f, 4.0f),
        call("glUniform1f", 15, 0.0f),
        call("glUniform1f", 16, 0.0f),
        call("glUniform3f", 14, 0.6f, 0.0f, 0.8f),
        call("glUniform1f", 17, 15.0f),
        call("glUniform1f", 18, 25.0f),
        call("glUniform1i", 31, 3),
        call("glUniform3f", 32, 1.0f, 1.0f, 1.0f),
        call("glUniform3f", 34, 0.0f, 0.0f, 0.0f),
        call("glUniform1i", 21, 0),
        call("glUniform1i", 41, 0),
    };
    EXPECT_EQ(switch_and_take(), expected);
}

TEST_F(UNIFORMS, two_lights_in_one_slot_both_send_in_list_order) {
    give_light_locations();
    program.ambient_location = -1;
    LIGHT first;
    first.type = 1;
    first.slot = 4;
    LIGHT second;
    second.type = 3;
    second.slot = 4;
    place(second, 0, 0, 1);
    first.next = &second;
    scene.lights = &first;
    lighting_scene = &scene;

    std::vector<std::string> log = switch_and_take();
    auto first_type = std::find(log.begin(), log.end(), call("glUniform1i", 41, 1));
    auto second_type = std::find(log.begin(), log.end(), call("glUniform1i", 41, 3));
    ASSERT_NE(first_type, log.end());
    ASSERT_NE(second_type, log.end());
    EXPECT_LT(first_type - log.begin(), second_type - log.begin());
    EXPECT_EQ(std::count(log.begin(), log.end(), call("glUniform1i", 41, 0)), 0);
}

TEST_F(UNIFORMS, camera_position_and_projection_go_once_per_program_per_frame) {
    program.matrix_locations.model_view_projection = 1;
    program.matrix_locations.projection = 2;
    program.matrix_locations.world = 3;
    program.camera_position_location = 4;
    CAMERA3D camera;
    current_camera = &camera;
    camera.position = VECTOR3{1, 2, 3};

    use_program(&program);
    fake_gl::take();
    upload_matrices(&program);
    std::vector<std::string> first = fake_gl::take();
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0].rfind("glUniformMatrix4fv(1, 1, 0, ", 0), 0u);
    EXPECT_EQ(first[1], "glUniform3fv(4, 1, 1, 2, 3)");
    EXPECT_EQ(first[2].rfind("glUniformMatrix4fv(2, 1, 0, ", 0), 0u);
    EXPECT_EQ(first[3].rfind("glUniformMatrix4fv(3, 1, 0, ", 0), 0u);

    // The camera moves within the frame: a new MVP, but no position or projection.
    camera.position = VECTOR3{7, 8, 9};
    camera_update(&camera);
    upload_matrices(&program);
    std::vector<std::string> second = fake_gl::take();
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0].rfind("glUniformMatrix4fv(1, 1, 0, ", 0), 0u);
    EXPECT_NE(second[0], first[0]);
    EXPECT_EQ(second[1].rfind("glUniformMatrix4fv(3, 1, 0, ", 0), 0u);

    // Next frame: the current program is emptied, the first switch re-arms the camera values.
    current_program = nullptr;
    use_program(&program);
    fake_gl::take();
    upload_matrices(&program);
    std::vector<std::string> next_frame = fake_gl::take();
    ASSERT_EQ(next_frame.size(), 4u);
    EXPECT_EQ(next_frame[1].rfind("glUniform3fv(4, 1, 7, 8, 9)", 0), 0u);
}

TEST_F(UNIFORMS, mvp_is_projection_times_view_times_world_and_normal_matrix_is_inverse_transpose) {
    program.matrix_locations.model_view_projection = 1;
    program.matrix_locations.normal = 5;
    CAMERA3D camera;
    current_camera = &camera;
    MATRIX4 world;
    matrix_identity(world);
    matrix_scale(world, 2, 4, 8);
    matrix_stack_load(model_stack, world);

    upload_matrices(&program);
    std::vector<std::string> log = fake_gl::take();
    ASSERT_EQ(log.size(), 2u);
    const MATRIX4& p = *camera.projection_stack->top;
    std::string mvp_start = "glUniformMatrix4fv(1, 1, 0, " + fake_gl::arg(p.m[0] * 2.0f) + ", ";
    EXPECT_EQ(log[0].rfind(mvp_start, 0), 0u) << log[0];
    EXPECT_EQ(
        log[1],
        "glUniformMatrix4fv(5, 1, 0, 0.5, 0, 0, 0, 0, 0.25, 0, 0, 0, 0, 0.125, 0, 0, 0, 0, 1)");

    // A singular world matrix cannot be inverted: its transpose is sent.
    MATRIX4 flat;
    matrix_identity(flat);
    flat.m[0] = 0.0f;
    flat.m[12] = 3.0f;
    matrix_stack_load(model_stack, flat);
    upload_matrices(&program);
    log = fake_gl::take();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1],
              "glUniformMatrix4fv(5, 1, 0, 0, 0, 0, 3, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1)");
}

TEST_F(UNIFORMS, joints_send_matrices_up_to_index_39_and_children_of_skipped_joints_still_send) {
    program_skinned_model = &program;
    auto& locations = fake_gl::state().uniform_locations;
    locations["bind_shape_matrix"] = 1;
    for (int i = 0; i < 60; ++i) {
        locations["transformation_matrix[" + std::to_string(i) + "]"] = 100 + i;
        locations["inverse_bind_matrix[" + std::to_string(i) + "]"] = 200 + i;
    }
    // 45 root joints chained as siblings, indices 0..44; joint 44 has a child with index 3.
    std::vector<JOINT> joints(46);
    for (int i = 0; i < 45; ++i) {
        joints[i].index = i;
        joints[i].next_sibling = i + 1 < 45 ? &joints[i + 1] : nullptr;
    }
    joints[45].index = 3;
    joints[44].first_child = &joints[45];
    SKIN_ROOT root;
    root.joint = &joints[0];
    SKIN skin;
    matrix_identity(skin.bind_shape_matrix);
    skin.roots = &root;

    upload_joint_matrices(&skin);
    std::vector<std::string> log = fake_gl::take();
    int sends = 0;
    int child_sends = 0;
    for (const std::string& line : log) {
        if (line.rfind("glUniformMatrix4fv(", 0) != 0) {
            continue;
        }
        ++sends;
        int location = std::stoi(line.substr(std::string("glUniformMatrix4fv(").size()));
        EXPECT_TRUE(location == 1 || (location >= 100 && location < 140) ||
                    (location >= 200 && location < 240))
            << line;
        child_sends += location == 103 || location == 203;
    }
    EXPECT_EQ(sends, 1 + 40 * 2 + 2);
    EXPECT_EQ(child_sends, 4); // joint 3 itself and the child with index 3

    // The same traversal again asks GL for no location: every name is cached.
    upload_joint_matrices(&skin);
    log = fake_gl::take();
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(),
                      [](const std::string& l) { return l.rfind("glGetUniformLocation", 0) == 0; }),
        0);
}

} // namespace
