// Skeletal posing and CPU skinning: frame selection (including positions
// outside 0..1 and animations without frames), the joint walk with animated
// and bind-pose joints, re-posing only on a change of frame, the vertex
// upload of CPU skinning, refusal of hierarchies deeper than the model
// stack, and the skinning arithmetic with its edge cases.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/builders.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/skeleton.h"
#include "shader/program.h"
#include "scene/uniforms.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

class SKELETON : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        render_targets_reset();
        handle_tables_reset();
        model_stack_create_global();
        math_reset();
        gl_context_alive = true;
    }
    void TearDown() override {
        destroy_skin(skin);
        gl_context_alive = false;
    }

    // A skin of n joints, joint i with index i, all at the identity.
    void make_skin(int n) {
        skin = build_skin(n);
        joints.resize(size_t(n));
        for (int i = 0; i < n; ++i) {
            joint_init(&joints[size_t(i)], i);
            skin->joints[i] = &joints[size_t(i)];
        }
    }

    SKIN* skin = nullptr;
    std::vector<JOINT> joints;
};

MATRIX4 translation(float x, float y, float z) {
    MATRIX4 m;
    matrix_identity(m);
    matrix_translate(m, x, y, z);
    return m;
}

VERTEX vertex(float x, float y, float z, const float (&index)[4], const float (&weight)[4]) {
    VERTEX v{};
    v.position[0] = x;
    v.position[1] = y;
    v.position[2] = z;
    v.position[3] = 1.0f;
    v.normal[2] = 1.0f;
    v.texcoord0[0] = 0.75f;
    for (int k = 0; k < 4; ++k) {
        v.joint_indices[k] = index[k];
        v.joint_weights[k] = weight[k];
    }
    return v;
}

bool finite(const VERTEX& v) {
    for (float f : v.position) {
        if (!std::isfinite(f)) {
            return false;
        }
    }
    for (float f : v.normal) {
        if (!std::isfinite(f)) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(ANIMATION_FRAMES, frame_is_the_truncated_position_clamped_to_the_frames) {
    ANIMATION_FRAME frames[10];
    ANIMATION a;
    a.frame_count = 10;
    a.frames = frames;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<std::pair<float, int>> cases = {
        {0.0f, 0}, {0.99f, 8}, {1.0f, 9}, {0.5f, 4}, {-0.5f, 0}, {1.5f, 9}, {nan, 0}, {1e30f, 9}};
    for (auto [position, expected] : cases) {
        a.playback_position = position;
        EXPECT_EQ(select_animation_frame(&a), &frames[expected]) << "position " << position;
    }
    a.frame_count = 0;
    EXPECT_EQ(select_animation_frame(&a), nullptr);
    a.frame_count = 3;
    a.frames = nullptr;
    EXPECT_EQ(select_animation_frame(&a), nullptr);
    EXPECT_EQ(select_animation_frame(nullptr), nullptr);
}

TEST_F(SKELETON, animated_joints_take_the_frame_and_the_others_their_bind_transform) {
    make_skin(3);
    // root (animated) -> child (not animated) -> grandchild (animated)
    joints[0].animated = true;
    joints[2].animated = true;
    joints[1].bind_local_transform = translation(1, 0, 0);
    joints[2].bind_local_transform = translation(100, 0, 0);
    joint_add_child(&joints[0], &joints[1]);
    joint_add_child(&joints[1], &joints[2]);
    skin_add_root(skin, &joints[0]);
    MATRIX4 locals[3] = {translation(0, 5, 0), translation(50, 50, 50), translation(0, 0, 2)};
    ANIMATION_FRAME frame;
    frame.joint_locals = locals;
    ANIMATION animation;
    animation.frame_count = 1;
    animation.frames = &frame;
    MODEL_ACTOR actor;
    actor.skin = skin;
    actor.animation = &animation;
    int32_t depth = model_stack->depth;

    update_skeleton_pose(&actor);

    EXPECT_EQ(actor.current_frame, &frame);
    EXPECT_FLOAT_EQ(joints[0].current_transform.m[13], 5.0f);
    EXPECT_FLOAT_EQ(joints[1].current_transform.m[12], 1.0f); // bind local, under the root
    EXPECT_FLOAT_EQ(joints[1].current_transform.m[13], 5.0f);
    EXPECT_FLOAT_EQ(joints[2].current_transform.m[12], 1.0f); // frame, under the child
    EXPECT_FLOAT_EQ(joints[2].current_transform.m[14], 2.0f);
    EXPECT_EQ(model_stack->depth, depth);

    // Same frame again: nothing is recomputed.
    joints[1].bind_local_transform = translation(7, 0, 0);
    update_skeleton_pose(&actor);
    EXPECT_FLOAT_EQ(joints[1].current_transform.m[12], 1.0f);

    // Without an animation the frame is null: posed once from the bind transforms.
    actor.animation = nullptr;
    update_skeleton_pose(&actor);
    EXPECT_EQ(actor.current_frame, nullptr);
    EXPECT_FLOAT_EQ(joints[0].current_transform.m[13], 0.0f);
    EXPECT_FLOAT_EQ(joints[1].current_transform.m[12], 7.0f);
}

TEST_F(SKELETON, actor_without_animation_gets_its_bind_pose_on_the_first_update) {
    make_skin(1);
    joints[0].bind_local_transform = translation(0, 3, 0);
    joints[0].current_transform.m[13] = -1.0f;
    skin_add_root(skin, &joints[0]);
    MODEL_ACTOR actor;
    actor.skin = skin;
    update_skeleton_pose(&actor);
    EXPECT_FLOAT_EQ(joints[0].current_transform.m[13], 3.0f);
}

TEST_F(SKELETON, hierarchy_deeper_than_the_stack_room_is_refused_untouched) {
    make_skin(80);
    for (int i = 1; i < 80; ++i) {
        joint_add_child(&joints[size_t(i) - 1], &joints[size_t(i)]);
    }
    skin_add_root(skin, &joints[0]);
    joints[0].bind_local_transform = translation(1, 0, 0);
    MODEL_ACTOR actor;
    actor.skin = skin;
    int32_t depth = model_stack->depth;

    update_skeleton_pose(&actor);
    EXPECT_EQ(model_stack->depth, depth);
    EXPECT_FALSE(actor.posed);
    EXPECT_FLOAT_EQ(joints[0].current_transform.m[12], 0.0f);

    // 62 levels plus the skeleton's own slot fit in a stack of 64 at depth 0.
    joints[61].first_child = nullptr;
    update_skeleton_pose(&actor);
    EXPECT_TRUE(actor.posed);
    EXPECT_FLOAT_EQ(joints[61].current_transform.m[12], 1.0f);
    EXPECT_EQ(model_stack->depth, depth);
}

TEST_F(SKELETON, cpu_skinning_reuploads_the_vertices_only_when_the_frame_changes) {
    make_skin(1);
    skin_add_root(skin, &joints[0]);
    joints[0].animated = true;
    MATRIX4 locals[2] = {translation(0, 1, 0), translation(0, 2, 0)};
    ANIMATION_FRAME frames[2];
    frames[0].joint_locals = &locals[0];
    frames[1].joint_locals = &locals[1];
    ANIMATION animation;
    animation.frame_count = 2;
    animation.frames = frames;
    const VERTEX source[2] = {vertex(1, 0, 0, {0, -1, -1, -1}, {1, 0, 0, 0}),
                              vertex(0, 0, 0, {0, -1, -1, -1}, {1, 0, 0, 0})};
    std::unique_ptr<MODEL> model(build_model(source, 2, true));
    MODEL_ACTOR actor;
    actor.model = model.get();
    actor.skin = skin;
    actor.animation = &animation;

    // GPU skinning: the pose changes, the vertex buffer does not.
    fake_gl::take();
    update_skeleton_pose(&actor);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_FLOAT_EQ(model->vertices.data[0].position[1], 0.0f);

    actor.skin_on_cpu = true;
    animation.playback_position = 1.0f;
    update_skeleton_pose(&actor);
    std::vector<std::string> log = fake_gl::take();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), fake_gl::call("glBufferSubData", GLenum(GL_ARRAY_BUFFER), 0LL,
                                        (long long)(2 * sizeof(VERTEX)), fake_gl::DATA{source}));
    EXPECT_FLOAT_EQ(model->vertices.data[0].position[0], 1.0f);
    EXPECT_FLOAT_EQ(model->vertices.data[0].position[1], 2.0f);
    EXPECT_EQ(model->vertices.data[0].texcoord0[0], 0.75f); // untouched
    EXPECT_EQ(model->source_vertices.data[0].position[1], 0.0f);

    update_skeleton_pose(&actor);
    EXPECT_TRUE(fake_gl::take().empty());
}

TEST_F(SKELETON, skinning_arithmetic_and_its_edge_cases) {
    make_skin(2);
    // B = T(1, 2, 3) · S(2)
    matrix_identity(skin->bind_shape_matrix);
    matrix_translate(skin->bind_shape_matrix, 1, 2, 3);
    matrix_scale(skin->bind_shape_matrix, 2, 2, 2);
    // Both joints at their bind pose: current = inverse of inverse bind.
    joints[0].inverse_bind_matrix = translation(-4, 0, 0);
    joints[0].current_transform = translation(4, 0, 0);
    joints[1].inverse_bind_matrix = translation(0, -8, 0);
    joints[1].current_transform = translation(0, 8, 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const VERTEX source[] = {
        vertex(1, 1, 1, {-1, 0, 0, 0}, {1, 0, 0, 0}),      // bind shape only
        vertex(1, 1, 1, {0, 1, 0, 0}, {0.5f, 0.5f, 0, 0}), // two joints at bind pose
        vertex(1, 1, 1, {-1, 1, 0, 0}, {1, -0.5f, 0, 0}),  // negative weight ignored
        vertex(1, 1, 1, {7, 1e30f, nan, -5}, {0.25f, 0.25f, 0.25f, 0.25f}), // bad indices
        vertex(1, 1, 1, {-1, 0, 0, 0}, {nan, 0, 0, 0}), // NaN weight: nothing at all
    };
    constexpr int N = int(sizeof source / sizeof source[0]);
    std::unique_ptr<MODEL> model(build_model(source, N, true));
    MODEL_ACTOR actor;
    actor.model = model.get();
    actor.skin = skin;

    skin_vertices_cpu(&actor);

    const VERTEX* d = model->vertices.data;
    for (int v = 0; v < 4; ++v) {
        EXPECT_NEAR(d[v].position[0], 3.0f, 1e-5f) << "vertex " << v;
        EXPECT_NEAR(d[v].position[1], 4.0f, 1e-5f) << "vertex " << v;
        EXPECT_NEAR(d[v].position[2], 5.0f, 1e-5f) << "vertex " << v;
        EXPECT_NEAR(d[v].position[3], 1.0f, 1e-6f) << "vertex " << v;
        EXPECT_NEAR(d[v].normal[2], 1.0f, 1e-6f) << "vertex " << v;
    }
    EXPECT_EQ(d[4].position[0], 0.0f);
    EXPECT_EQ(d[4].position[3], 0.0f);
    for (int v = 0; v < N; ++v) {
        EXPECT_TRUE(finite(d[v])) << "vertex " << v;
    }
}

TEST_F(SKELETON, skin_counting_no_joints_names_none_for_an_index_just_above_minus_one) {
    make_skin(1);
    joints[0].current_transform = translation(5, 0, 0); // moves the vertex if it is read
    skin->joint_count = 0;
    const VERTEX source[] = {vertex(1, 1, 1, {-0.5f, 0, 0, 0}, {1, 0, 0, 0})};
    std::unique_ptr<MODEL> model(build_model(source, 1, true));
    MODEL_ACTOR actor;
    actor.model = model.get();
    actor.skin = skin;

    skin_vertices_cpu(&actor);

    EXPECT_EQ(model->vertices.data[0].position[0], 1.0f);
}

TEST_F(SKELETON, normals_that_cancel_fall_back_to_the_bind_shape_normal) {
    make_skin(2);
    matrix_identity(skin->bind_shape_matrix);
    // Joint 1 mirrors the normal: half of each sums to exactly zero.
    matrix_identity(joints[1].current_transform);
    matrix_scale(joints[1].current_transform, -1, -1, -1);
    const VERTEX source[] = {vertex(0, 0, 0, {0, 1, 0, 0}, {0.5f, 0.5f, 0, 0})};
    std::unique_ptr<MODEL> model(build_model(source, 1, true));
    MODEL_ACTOR actor;
    actor.model = model.get();
    actor.skin = skin;

    skin_vertices_cpu(&actor);

    const VERTEX& d = model->vertices.data[0];
    EXPECT_TRUE(finite(d));
    EXPECT_FLOAT_EQ(d.normal[0], 0.0f);
    EXPECT_FLOAT_EQ(d.normal[2], 1.0f);
}

// An owned root list closed into a circle (third -> second) is freed node by
// node, once each, and takes no further root.
TEST_F(SKELETON, a_root_list_in_a_circle_is_freed_once_and_takes_no_root) {
    make_skin(4);
    for (int i = 0; i < 3; ++i) {
        skin_add_root(skin, &joints[size_t(i)]);
    }
    skin->roots->next->next->next = skin->roots->next;
    testing::internal::CaptureStderr();
    skin_add_root(skin, &joints[3]);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexa: a skin's root list runs in a circle; no root is added\n");
    destroy_skin(skin); // leaks or frees twice under the sanitizers if wrong
    skin = nullptr;
}

// A parent/child cycle (0 -> 1 -> 0), a sibling cycle (1 -> 2 -> 1 under 0)
// and a root list that runs in a circle, on every path that walks the
// joints: depth, pose, GPU upload, the CPU skinning update, and the draw of a
// mesh skinned either way. Every walk ends and the skin moves no vertex,
// sends nothing a draw would use, draws nothing.
TEST_F(SKELETON, cyclic_joint_hierarchies_are_refused_on_every_path) {
    program_skinned_model = new SHADER_PROGRAM;
    const VERTEX source[3] = {vertex(1, 0, 0, {0, -1, -1, -1}, {1, 0, 0, 0}),
                              vertex(0, 1, 0, {1, -1, -1, -1}, {1, 0, 0, 0}),
                              vertex(0, 0, 1, {2, -1, -1, -1}, {1, 0, 0, 0})};
    std::unique_ptr<MODEL> model(build_model(source, 3, true));
    const uint16_t triangle[3] = {0, 1, 2};
    MESH* mesh = build_mesh(model.get(), triangle, 3);
    mesh->material->program = program_skinned_model;
    testing::internal::CaptureStderr();
    SKIN_ROOT circle; // no joint, next is itself
    circle.next = &circle;
    for (int shape = 0; shape < 3; ++shape) {
        make_skin(3);
        joints[0].bind_local_transform = translation(5, 0, 0);
        joint_add_child(&joints[0], &joints[1]);
        if (shape == 0) {
            joints[1].first_child = &joints[0];
        } else if (shape == 1) {
            joint_add_child(&joints[0], &joints[2]);
            joints[2].next_sibling = &joints[1];
        }
        skin_add_root(skin, &joints[0]);
        if (shape == 2) {
            skin->roots->next = &circle;
        }
        MODEL_ACTOR actor;
        actor.model = model.get();
        actor.skin = skin;
        actor.skin_on_cpu = true;
        const int32_t depth = model_stack->depth;
        fake_gl::take();

        EXPECT_EQ(skeleton_depth(skin, 60), SKELETON_CYCLE) << "shape " << shape;
        update_skeleton_pose(&actor);
        if (shape < 2) {
            pose_joint(&joints[0], nullptr);
        }
        EXPECT_FALSE(actor.posed);
        EXPECT_EQ(joints[0].current_transform.m[12], 0.0f) << "shape " << shape;
        EXPECT_EQ(model->vertices.data[0].position[0], 1.0f);
        EXPECT_EQ(model_stack->depth, depth);
        EXPECT_FALSE(upload_joint_matrices(skin)) << "shape " << shape;
        draw_mesh(mesh, model.get(), skin, false, 1.0f);
        draw_mesh(mesh, model.get(), skin, true, 1.0f);
        const std::vector<std::string> log = fake_gl::take();
        EXPECT_EQ(std::count_if(log.begin(), log.end(),
                                [](const std::string& l) {
                                    return l.rfind("glDrawElements", 0) == 0 ||
                                           l.rfind("glBufferSubData", 0) == 0;
                                }),
                  0)
            << "shape " << shape;
        skin->roots->next = nullptr;
        destroy_skin(skin);
        skin = nullptr;
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 2) << err;
    delete program_skinned_model;
    reset_shader_programs();
}
