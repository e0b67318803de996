// Model actors and 3D sprites against the recording GL stand-in: what the
// draw walk queues (opacity down the tree, forced modes, hidden subtrees,
// list choice, program choice), the model stack after a walk, hierarchies
// deeper than the stack, billboard matrices, the update walk, and culling of
// actors outside the view.
#include "tests/support/engine_reset.h"
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/skin.h"
#include "shader/program.h"
#include "tests/support/fake_gl.h"
#include "tests/support/math_helpers.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class MODEL_ACTORS : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_engine_for_scene_tests();
        program_model = new SHADER_PROGRAM;
        program_skinned_model = new SHADER_PROGRAM;
        scene = std::make_unique<SCENE>();
    }
    void TearDown() override {
        scene.reset();
        delete program_model;
        delete program_skinned_model;
        program_model = nullptr;
        program_skinned_model = nullptr;
        gl_context_alive = false;
    }

    // A model of one triangle per mesh.
    std::unique_ptr<MODEL> make_model(int meshes, bool skinned = false) {
        const VERTEX vertices[3] = {};
        const uint16_t triangle[3] = {0, 1, 2};
        std::unique_ptr<MODEL> model(build_model(vertices, 3, skinned));
        for (int i = 0; i < meshes; ++i) {
            build_mesh(model.get(), triangle, 3);
        }
        return model;
    }

    void walk(MODEL_ACTOR* actor) {
        draw_actor_tree(actor, scene.get(), 1.0f, actor->depth_mode, actor->cull_mode,
                        actor->blend_mode);
    }

    std::unique_ptr<SCENE> scene;
};

} // namespace

TEST_F(MODEL_ACTORS, opacity_multiplies_down_the_tree) {
    auto parent_model = make_model(1);
    auto child_model = make_model(1);
    MODEL_ACTOR parent, child;
    parent.model = parent_model.get();
    child.model = child_model.get();
    parent.alpha = 0.5f;
    child.alpha = 0.5f;
    model_actor_add_child(&parent, &child);

    walk(&parent);

    // Each node's alpha is applied by its walk and once more when queuing.
    ASSERT_EQ(scene->transparent.count, 2);
    EXPECT_EQ(scene->opaque.count, 0);
    EXPECT_EQ(scene->transparent.entries[0].mesh, parent_model->meshes);
    EXPECT_FLOAT_EQ(scene->transparent.entries[0].properties.alpha, 0.25f);
    EXPECT_EQ(scene->transparent.entries[1].mesh, child_model->meshes);
    EXPECT_FLOAT_EQ(scene->transparent.entries[1].properties.alpha, 0.125f);
}

TEST_F(MODEL_ACTORS, list_choice_follows_draw_alpha_and_the_transparent_flag) {
    auto model = make_model(3);
    MESH* half = model->meshes;
    MESH* flagged = half->next;
    MESH* opaque = flagged->next;
    half->material->alpha = 0.5f;
    flagged->material->transparent = true;
    MODEL_ACTOR actor;
    actor.model = model.get();

    walk(&actor);

    ASSERT_EQ(scene->transparent.count, 2);
    ASSERT_EQ(scene->opaque.count, 1);
    EXPECT_EQ(scene->transparent.entries[0].mesh, half);
    EXPECT_FLOAT_EQ(scene->transparent.entries[0].properties.alpha, 0.5f);
    EXPECT_EQ(scene->transparent.entries[1].mesh, flagged);
    EXPECT_EQ(scene->opaque.entries[0].mesh, opaque);
    // The queued record: the world matrix is the stack top, its translation the key.
    const DRAW_ENTRY& e = scene->opaque.entries[0];
    EXPECT_EQ(e.program, program_model);
    EXPECT_EQ(e.skin, nullptr);
    EXPECT_FALSE(e.skin_on_cpu);
    EXPECT_EQ(e.properties.cull_mode, 1);
    EXPECT_EQ(e.properties.depth_mode, 3);
    EXPECT_EQ(e.properties.blend_mode, 0);
}

TEST_F(MODEL_ACTORS, an_ancestor_mode_forces_its_subtree_and_inherit_lets_each_decide) {
    auto parent_model = make_model(1);
    auto child_model = make_model(1);
    MODEL_ACTOR parent, child, grandchild;
    parent.model = parent_model.get();
    child.model = child_model.get();
    grandchild.model = child_model.get();
    model_actor_add_child(&parent, &child);
    model_actor_add_child(&child, &grandchild);
    child.depth_mode = 3;
    grandchild.depth_mode = 2;
    child.cull_mode = 2;

    parent.depth_mode = 1;
    walk(&parent);
    EXPECT_EQ(parent_model->meshes->material->depth_override, 1);
    EXPECT_EQ(child_model->meshes->material->depth_override, 1); // written last by grandchild
    EXPECT_EQ(child_model->meshes->material->cull_override, 2);  // from child, handed down
    EXPECT_EQ(parent_model->meshes->material->cull_override, INHERIT);
    clear_draw_lists(scene.get());

    parent.depth_mode = INHERIT;
    walk(&parent);
    EXPECT_EQ(parent_model->meshes->material->depth_override, INHERIT);
    // The child says 3 and hands 3 down: the grandchild's own 2 is overridden.
    EXPECT_EQ(child_model->meshes->material->depth_override, 3);
    child.depth_mode = INHERIT;
    clear_draw_lists(scene.get());
    walk(&parent);
    EXPECT_EQ(child_model->meshes->material->depth_override, 2);
}

TEST_F(MODEL_ACTORS, hidden_actor_hides_its_children_and_the_stack_depth_is_unchanged) {
    auto model = make_model(1);
    MODEL_ACTOR parent, child;
    child.model = model.get();
    model_actor_add_child(&parent, &child);
    parent.position = VECTOR3{1, 2, 3};
    int32_t depth = model_stack->depth;

    parent.hidden = true;
    walk(&parent);
    EXPECT_EQ(scene->opaque.count + scene->transparent.count, 0);

    parent.hidden = false;
    child.position = VECTOR3{10, 0, 0};
    walk(&parent);
    ASSERT_EQ(scene->opaque.count, 1);
    EXPECT_FLOAT_EQ(scene->opaque.entries[0].position.x, 11.0f);
    EXPECT_FLOAT_EQ(scene->opaque.entries[0].position.y, 2.0f);
    EXPECT_FLOAT_EQ(scene->opaque.entries[0].position.z, 3.0f);
    EXPECT_EQ(scene->opaque.entries[0].position.w, 1.0f);
    EXPECT_EQ(model_stack->depth, depth);
}

TEST_F(MODEL_ACTORS, hierarchy_deeper_than_the_stack_is_cut_without_overflowing_it) {
    auto model = make_model(1);
    std::vector<std::unique_ptr<MODEL_ACTOR>> chain;
    for (int i = 0; i < 100; ++i) {
        chain.push_back(std::make_unique<MODEL_ACTOR>());
        chain.back()->model = model.get();
        if (i > 0) {
            model_actor_add_child(chain[size_t(i) - 1].get(), chain.back().get());
        }
    }
    int32_t depth = model_stack->depth;
    walk(chain[0].get());
    EXPECT_EQ(model_stack->depth, depth);
    // One slot per level above the current top: 63 levels fit from depth 0.
    EXPECT_EQ(scene->opaque.count, int32_t(MODEL_STACK_CAPACITY) - 1 - depth);
}

TEST_F(MODEL_ACTORS, skinned_models_choose_their_program_by_where_they_are_skinned) {
    auto model = make_model(1, true);
    SKIN* skin = build_skin(1);
    MODEL_ACTOR actor;
    actor.model = model.get();
    actor.skin = skin;

    walk(&actor);
    actor.skin_on_cpu = true;
    walk(&actor);

    ASSERT_EQ(scene->opaque.count, 2);
    EXPECT_EQ(scene->opaque.entries[0].program, program_skinned_model);
    EXPECT_EQ(scene->opaque.entries[0].skin, skin);
    EXPECT_FALSE(scene->opaque.entries[0].skin_on_cpu);
    EXPECT_EQ(scene->opaque.entries[1].program, program_model);
    EXPECT_EQ(scene->opaque.entries[1].skin, skin);
    EXPECT_TRUE(scene->opaque.entries[1].skin_on_cpu);
    destroy_skin(skin);
}

TEST_F(MODEL_ACTORS, reference_points_follow_each_nodes_own_matrix_after_a_walk) {
    MODEL_ACTOR parent, child;
    model_actor_add_child(&parent, &child);
    parent.position = VECTOR3{1, 0, 0};
    child.position = VECTOR3{0, 5, 0};
    parent.reference_a = VECTOR4{0, 0, 1, 1};
    child.reference_b = VECTOR4{1, 1, 1, 1};
    walk(&parent);
    EXPECT_FLOAT_EQ(parent.transformed_a.x, 1.0f);
    EXPECT_FLOAT_EQ(parent.transformed_a.z, 1.0f);
    EXPECT_FLOAT_EQ(child.transformed_b.x, 1.0f);
    EXPECT_FLOAT_EQ(child.transformed_b.y, 6.0f);
}

TEST_F(MODEL_ACTORS, update_walk_advances_animations_of_hidden_actors_and_children) {
    auto model = make_model(1);
    ANIMATION texture_animation, animation;
    texture_animation.speed = 0.25f;
    animation.speed = 0.1f;
    model->meshes->material->texture_animation = &texture_animation;
    MODEL_ACTOR parent, child;
    parent.hidden = true;
    child.model = model.get();
    child.animation = &animation;
    model_actor_add_child(&parent, &child);

    update_actor_tree(&parent, 0.0f);
    update_actor_tree(&parent, 0.0f);

    EXPECT_FLOAT_EQ(texture_animation.playback_position, 0.5f);
    EXPECT_FLOAT_EQ(animation.playback_position, 0.2f);
    EXPECT_FLOAT_EQ(model->meshes->material->texture_offsets[0], 0.002f);
    EXPECT_FLOAT_EQ(model->meshes->material->texture_offsets[1], 0.002f);
    EXPECT_EQ(model->meshes->material->texture_offsets[2], 0.0f);
    model->meshes->material->texture_animation = nullptr;
}

TEST_F(MODEL_ACTORS, sprite3d_billboards_face_the_camera_and_queue_as_transparent) {
    SPRITE3D sprite(scene.get());
    sprite.emission[0] = 0.25f;
    current_camera->rotation = VECTOR3{10, 30, 5};
    MATERIAL* material = sprite.model.meshes->material;

    // The billboard undoes the camera's turns (clockwise-sense rotations of
    // the actor transforms): about y alone, or z, y and x in that order.
    sprite.billboard_mode = BILLBOARD_AXIS_Y;
    enqueue_sprite3d(&sprite, scene.get());
    EXPECT_TRUE(matrix_near(sprite.billboard, ref_rotation(1, -30), 1e-6));

    sprite.billboard_mode = BILLBOARD_FULL;
    enqueue_sprite3d(&sprite, scene.get());
    EXPECT_TRUE(matrix_near(
        sprite.billboard, ref_rotation(2, 5) * ref_rotation(1, -30) * ref_rotation(0, -10), 1e-6));

    // Any other mode keeps whatever billboard matrix the sprite holds.
    sprite.billboard_mode = 7;
    matrix_identity(sprite.billboard);
    sprite.position = VECTOR3{4, 0, 0};
    enqueue_sprite3d(&sprite, scene.get());

    ASSERT_EQ(scene->transparent.count, 3);
    EXPECT_EQ(scene->opaque.count, 0);
    const DRAW_ENTRY& e = scene->transparent.entries[2];
    EXPECT_FLOAT_EQ(e.properties.alpha, 0.5f);
    EXPECT_EQ(e.model, &sprite.model);
    EXPECT_EQ(e.mesh, sprite.model.meshes);
    EXPECT_EQ(e.program, material->program);
    EXPECT_FLOAT_EQ(e.position.x, 4.0f);
    EXPECT_FLOAT_EQ(material->emission.x, 0.25f);
    EXPECT_FLOAT_EQ(material->alpha, 0.5f);
    EXPECT_EQ(material->cull_override, sprite.cull_mode);
    EXPECT_EQ(material->depth_override, sprite.depth_mode);
}

TEST_F(MODEL_ACTORS, sprite3d_hidden_or_without_camera_queues_nothing) {
    SPRITE3D sprite(scene.get());
    int32_t depth = model_stack->depth;
    sprite.hidden = true;
    enqueue_sprite3d(&sprite, scene.get());
    sprite.hidden = false;
    current_camera = nullptr;
    enqueue_sprite3d(&sprite, scene.get());
    EXPECT_EQ(scene->transparent.count + scene->opaque.count, 0);
    EXPECT_EQ(model_stack->depth, depth);
}

// A parent/child cycle (a -> b -> a) and a sibling cycle (p's children c1,
// c2, c1, ...): the draw, update and point walks each end, leave the stack as
// it was, and reach every actor once.
TEST_F(MODEL_ACTORS, walks_stop_at_an_actor_they_reach_twice) {
    auto model = make_model(1);
    ANIMATION animation;
    animation.speed = 0.125f;
    testing::internal::CaptureStderr();
    for (int shape = 0; shape < 2; ++shape) {
        MODEL_ACTOR a, b, c;
        for (MODEL_ACTOR* actor : {&a, &b, &c}) {
            actor->model = model.get();
            actor->animation = &animation;
        }
        model_actor_add_child(&a, &b);
        if (shape == 0) {
            model_actor_add_child(&b, &a);
        } else {
            model_actor_add_child(&a, &c);
            c.next = &b;
        }
        const int32_t actors = shape == 0 ? 2 : 3;
        draw_list_clear(&scene->opaque);
        animation.playback_position = 0.0f;
        const int32_t depth = model_stack->depth;

        walk(&a);
        update_actor_tree(&a, 0.0f);
        update_actor_points(&a, nullptr);
        EXPECT_EQ(scene->opaque.count, actors) << "shape " << shape;
        EXPECT_FLOAT_EQ(animation.playback_position, 0.125f * float(actors)) << "shape " << shape;
        EXPECT_EQ(model_stack->depth, depth);
    }
    testing::internal::GetCapturedStderr();
}

TEST_F(MODEL_ACTORS,
       actors_wholly_outside_the_view_are_culled_and_counted_but_their_children_walked) {
    // A triangle around the origin with w = 1, so it has a bounding sphere.
    VERTEX vertices[3] = {};
    const float corners[3][2] = {{-1, -1}, {1, -1}, {0, 1}};
    for (int i = 0; i < 3; ++i) {
        vertices[i].position[0] = corners[i][0];
        vertices[i].position[1] = corners[i][1];
        vertices[i].position[3] = 1;
    }
    const uint16_t triangle[3] = {0, 1, 2};
    std::unique_ptr<MODEL> model(build_model(vertices, 3));
    std::unique_ptr<MODEL> skinned(build_model(vertices, 3, true));
    ASSERT_TRUE(build_mesh(model.get(), triangle, 3) && build_mesh(skinned.get(), triangle, 3));
    ASSERT_TRUE(camera_valid(current_camera));

    // The default camera looks down -z from the origin.
    MODEL_ACTOR seen, behind, aside, edge, child, skinned_behind;
    for (MODEL_ACTOR* a : {&seen, &behind, &aside, &edge, &child, &skinned_behind}) {
        a->model = model.get();
    }
    skinned_behind.model = skinned.get();
    seen.position = VECTOR3{0, 0, -10};
    behind.position = VECTOR3{0, 0, 10};
    aside.position = VECTOR3{100, 0, -10};
    // Its centre is above the top plane (10 tan 30 = 5.77 up at this depth)
    // but its sphere (radius 1.41) still reaches in.
    edge.position = VECTOR3{0, 6.57f, -10};
    child.position = VECTOR3{0, 0, -20}; // back in front, under `behind`
    skinned_behind.position = VECTOR3{0, 0, 10};
    model_actor_add_child(&behind, &child);

    frame_stats_reset();
    for (MODEL_ACTOR* a : {&seen, &behind, &aside, &edge, &skinned_behind}) {
        walk(a);
    }
    EXPECT_EQ(frame_stats.culled, 2u) << "behind and aside";
    ASSERT_EQ(scene->opaque.count, 4);
    EXPECT_FLOAT_EQ(scene->opaque.entries[0].world.m[14], -10.0f);
    EXPECT_FLOAT_EQ(scene->opaque.entries[1].world.m[14], -10.0f); // the child, +10 - 20
    EXPECT_FLOAT_EQ(scene->opaque.entries[2].world.m[13], 6.57f);
    EXPECT_EQ(scene->opaque.entries[3].model, skinned.get());
}
