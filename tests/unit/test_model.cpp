// Models and materials: material modes with and without overrides, the
// uniform values a material sends, draw_mesh's own depth, cull and blend
// handling, bind caches across identical draws, skinned layout, textures
// without a GL texture, and model destruction.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "math/matrix_stack.h"
#include "scene/model.h"
#include "scene/scene_objects.h"
#include "scene/skin.h"
#include "shader/program.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace {

using fake_gl::call;

class MODELS : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        reset_shader_programs();
        scene_objects_reset();
        handle_tables_reset();
        render_state_reset();
        render_state_defaults(); // depth test and writes on, opaque, back-face culling
        model_stack_create_global();
        math_reset();
        frame_stats_reset();
        program.program = 7;
        MATERIAL_LOCATIONS& l = program.material_locations;
        l.emission = 1;
        l.specular = 2;
        l.transparency = 3;
        l.num_textures = 4;
        l.offset_animacion0 = 5;
        l.offset_animacion1 = 6;
        fake_gl::take();
    }
    void TearDown() override {
        current_program = nullptr;
        program_skinned_model = nullptr;
    }

    // A one-mesh model with 3 vertices and 3 indices drawn with `program`.
    MESH* build(MODEL& model) {
        model.vertices.reserve(3, USAGE_STATIC);
        MESH* mesh = add_mesh(&model);
        mesh->indices.reserve(3);
        mesh->material = new MATERIAL;
        mesh->material->program = &program;
        return mesh;
    }

    static size_t count_prefix(const std::vector<std::string>& log, const std::string& prefix) {
        return size_t(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
            return line.rfind(prefix, 0) == 0;
        }));
    }

    SHADER_PROGRAM program;
};

TEST_F(MODELS, half_alpha_material_under_half_draw_alpha_sends_transparency_quarter) {
    MATERIAL material;
    material.program = &program;
    material.alpha = 0.5f;
    material.emission = VECTOR4{0.1f, 0.2f, 0.3f, 1};
    material.specular = VECTOR4{0.4f, 0.5f, 0.6f, 1};
    material.texture_offsets[0] = 0.001f;
    material.texture_offsets[3] = 0.5f;

    apply_material(&material, 0.5f);
    std::vector<std::string> expected = {
        call("glUseProgram", 7u),
        call("glEnable", GLenum(GL_BLEND)), // automatic blend: alpha below 1
        call("glBlendFunc", GLenum(GL_SRC_ALPHA), GLenum(GL_ONE_MINUS_SRC_ALPHA)),
        call("glUniform1i", 4, 0),
        "glUniform3fv(1, 1, 0.100000001, 0.200000003, 0.300000012)",
        "glUniform3fv(2, 1, 0.400000006, 0.5, 0.600000024)",
        call("glUniform1f", 3, 0.25f),
        call("glUniform2f", 5, 0.001f, 0.0f),
        call("glUniform2f", 6, 0.0f, 0.5f),
    };
    EXPECT_EQ(fake_gl::take(), expected);
    EXPECT_EQ(render_state.blend_mode, BLEND_ALPHA);
}

TEST_F(MODELS, apply_material_takes_overrides_before_its_own_modes) {
    MATERIAL material;
    material.transparent = true;

    // Own blend 0 is automatic: transparent asks for alpha blending.
    apply_material(&material, 1.0f);
    EXPECT_EQ(render_state.blend_mode, BLEND_ALPHA);
    // An override of 0 is taken literally as opaque.
    material.blend_override = 0;
    apply_material(&material, 1.0f);
    EXPECT_EQ(render_state.blend_mode, BLEND_OPAQUE);
    // Values outside the three modes change nothing.
    material.blend_override = 7;
    apply_material(&material, 1.0f);
    EXPECT_EQ(render_state.blend_mode, BLEND_OPAQUE);

    // Own depth 2: test off, writes on.
    material.depth_mode = DEPTH_WRITE_ONLY;
    apply_material(&material, 1.0f);
    EXPECT_EQ(render_state.depth_bits, DEPTH_BIT_WRITE);
    material.depth_override = DEPTH_TEST_ONLY;
    apply_material(&material, 1.0f);
    EXPECT_EQ(render_state.depth_bits, DEPTH_BIT_TEST);

    // Cull 1 is back-face culling, every other value none.
    material.cull_mode = 0;
    apply_material(&material, 1.0f);
    EXPECT_EQ(render_state.cull_mode, CULL_NONE);
    material.cull_override = CULL_BACK;
    apply_material(&material, 1.0f);
    EXPECT_EQ(render_state.cull_mode, CULL_BACK);
}

TEST_F(MODELS, draw_mesh_uses_own_depth_and_cull_modes_and_always_blends_with_alpha) {
    MODEL model;
    MESH* mesh = build(model);
    MATERIAL& material = *mesh->material;
    material.depth_mode = DEPTH_WRITE_ONLY;
    material.depth_override = DEPTH_TEST_WRITE;
    material.cull_mode = 0;
    material.blend_override = 0;
    fake_gl::take();

    draw_mesh(mesh, &model, nullptr, false, 1.0f);
    std::vector<std::string> log = fake_gl::take();
    // The cache records the override, GL gets the material's own mode.
    EXPECT_EQ(render_state.depth_bits, DEPTH_BIT_TEST | DEPTH_BIT_WRITE);
    EXPECT_EQ(render_state.cull_mode, CULL_NONE);
    EXPECT_EQ(render_state.cull_face_disabled, 0);
    EXPECT_EQ(render_state.blend_mode, BLEND_OPAQUE);
    EXPECT_EQ(render_state.blend_enabled, 1);
    EXPECT_EQ(render_state.blend_function, 0);

    std::vector<std::string> tail(log.end() - 6, log.end());
    std::vector<std::string> expected = {
        call("glDisable", GLenum(GL_DEPTH_TEST)),
        call("glEnable", GLenum(GL_BLEND)),
        call("glBlendFunc", GLenum(GL_SRC_ALPHA), GLenum(GL_ONE_MINUS_SRC_ALPHA)),
        call("glEnable", GLenum(GL_CULL_FACE)),
        call("glDrawElements", GLenum(GL_TRIANGLES), 3, GLenum(GL_UNSIGNED_SHORT),
             static_cast<const void*>(nullptr)),
    };
    tail.erase(tail.begin());
    EXPECT_EQ(tail, expected);
    EXPECT_EQ(frame_stats.draws, 1u);
}

// A negative scale mirrors the triangles, so their front faces turn
// clockwise; the winding goes through the cache and changes only when the
// mirroring does.
TEST_F(MODELS, mirrored_world_matrix_draws_with_clockwise_front_faces_only_while_it_mirrors) {
    MODEL model;
    MESH* mesh = build(model);
    MATRIX4 mirrored, plain;
    matrix_identity(mirrored);
    matrix_scale(mirrored, -2.0f, 1.0f, 1.0f);
    matrix_identity(plain);
    matrix_scale(plain, -1.0f, -1.0f, 3.0f); // two negative scales: a rotation, not a mirror
    auto front_faces = [&](const MATRIX4& world, int draws) {
        matrix_stack_load(model_stack, world);
        for (int i = 0; i < draws; ++i) {
            draw_mesh(mesh, &model, nullptr, false, 1.0f);
        }
        std::vector<std::string> log = fake_gl::take(), faces;
        std::copy_if(log.begin(), log.end(), std::back_inserter(faces),
                     [](const std::string& line) { return line.rfind("glFrontFace", 0) == 0; });
        return faces;
    };
    fake_gl::take();
    EXPECT_EQ(front_faces(plain, 1), std::vector<std::string>{});
    EXPECT_EQ(front_faces(mirrored, 2),
              std::vector<std::string>{call("glFrontFace", GLenum(GL_CW))});
    EXPECT_EQ(render_state.front_face_clockwise, 1);
    EXPECT_EQ(front_faces(plain, 2), std::vector<std::string>{call("glFrontFace", GLenum(GL_CCW))});
    EXPECT_EQ(render_state.front_face_clockwise, 0);
}

TEST_F(MODELS, second_identical_mesh_draw_issues_no_program_texture_or_buffer_bind) {
    MODEL model;
    MESH* mesh = build(model);
    TEXTURE* texture = new TEXTURE;
    create_image(texture, 2, 2);
    material_add_texture(mesh->material, texture);
    MESH* second = add_mesh(&model);
    second->indices.reserve(3);
    second->material = new MATERIAL;
    second->material->program = &program;
    TEXTURE* shared = texture;
    material_add_texture(second->material, shared);
    shared->borrowed = 1; // listed by both materials, owned by the first
    bind_cache = BIND_CACHE{};
    fake_gl::take();

    draw_mesh(mesh, &model, nullptr, false, 1.0f);
    std::vector<std::string> first = fake_gl::take();
    EXPECT_EQ(count_prefix(first, "glUseProgram"), 1u);
    EXPECT_EQ(count_prefix(first, "glBindBuffer"), 2u);

    draw_mesh(mesh, &model, nullptr, false, 1.0f);
    draw_mesh(second, &model, nullptr, false, 1.0f);
    std::vector<std::string> again = fake_gl::take();
    EXPECT_EQ(count_prefix(again, "glUseProgram"), 0u);
    EXPECT_EQ(count_prefix(again, "glBindTexture"), 0u);
    EXPECT_EQ(count_prefix(again, "glActiveTexture"), 0u);
    // The second mesh has its own index buffer: only that one is bound.
    EXPECT_EQ(count_prefix(again, "glBindBuffer"), 1u);
    EXPECT_EQ(count_prefix(again, "glDrawElements"), 2u);
    // The program holds both materials' values already; a change is sent.
    EXPECT_EQ(count_prefix(again, "glUniform3fv"), 0u);
    EXPECT_EQ(count_prefix(again, "glUniform1"), 0u);
    second->material->emission.x = 0.5f;
    draw_mesh(second, &model, nullptr, false, 1.0f);
    EXPECT_EQ(count_prefix(fake_gl::take(), "glUniform3fv(1, 1, 0.5, 0, 0)"), 1u);
    shared->borrowed = 0;
    second->material->textures[0] = nullptr; // the first material releases it
}

// GL has no program in use for it, so the mesh would be drawn untransformed
// by fixed-function GL; the next mesh with a working program still draws.
TEST_F(MODELS, mesh_whose_program_failed_to_build_is_not_drawn) {
    MODEL model;
    MESH* mesh = build(model);
    program.build_failed = true;
    fake_gl::take();
    draw_mesh(mesh, &model, nullptr, false, 1.0f);
    EXPECT_EQ(count_prefix(fake_gl::take(), "glDrawElements"), 0u);
    EXPECT_EQ(frame_stats.draws, 0u);
    program.build_failed = false;
    current_program = nullptr;
    draw_mesh(mesh, &model, nullptr, false, 1.0f);
    EXPECT_EQ(count_prefix(fake_gl::take(), "glDrawElements"), 1u);
}

TEST_F(MODELS, material_texture_without_gl_texture_is_skipped) {
    MATERIAL material;
    material.program = &program;
    TEXTURE* texture = new TEXTURE; // no create_image: slot -1
    texture->dirty = true;
    material_add_texture(&material, texture);

    apply_material(&material, 1.0f);
    std::vector<std::string> log = fake_gl::take();
    EXPECT_EQ(count_prefix(log, "glBindTexture"), 0u);
    EXPECT_EQ(count_prefix(log, "glTexImage2D"), 0u);
    EXPECT_NE(std::find(log.begin(), log.end(), call("glUniform1i", 4, 1)), log.end());
}

TEST_F(MODELS, material_holds_at_most_two_textures) {
    MATERIAL material;
    TEXTURE* a = new TEXTURE;
    TEXTURE* b = new TEXTURE;
    TEXTURE c;
    EXPECT_TRUE(material_add_texture(&material, a));
    EXPECT_TRUE(material_add_texture(&material, b));
    EXPECT_FALSE(material_add_texture(&material, &c));
    EXPECT_EQ(material.texture_count, 2);
}

TEST_F(MODELS, skinned_model_binds_joint_attributes_and_uploads_joints_only_on_the_gpu_path) {
    program.joint_indices_location = 3;
    program.joint_weights_location = 4;
    program_skinned_model = &program;
    fake_gl::state().uniform_locations["bind_shape_matrix"] = 9;
    SKIN skin;
    matrix_identity(skin.bind_shape_matrix);

    MODEL model;
    MESH* mesh = build(model);
    model.skinned = true;
    draw_mesh(mesh, &model, &skin, false, 1.0f);
    std::vector<std::string> log = fake_gl::take();
    std::vector<std::string> attributes = {
        call("glVertexAttribPointer", 3u, 4, GLenum(GL_FLOAT), GLboolean(GL_FALSE), 88,
             reinterpret_cast<const void*>(44)),
        call("glEnableVertexAttribArray", 3u),
        call("glVertexAttribPointer", 4u, 4, GLenum(GL_FLOAT), GLboolean(GL_FALSE), 88,
             reinterpret_cast<const void*>(60)),
        call("glEnableVertexAttribArray", 4u),
    };
    auto at = std::search(log.begin(), log.end(), attributes.begin(), attributes.end());
    EXPECT_NE(at, log.end());
    EXPECT_EQ(count_prefix(log, "glUniformMatrix4fv(9, "), 1u);

    // Skinned on the CPU: the layout is the same, no joint upload.
    draw_mesh(mesh, &model, &skin, true, 1.0f);
    EXPECT_EQ(count_prefix(fake_gl::take(), "glUniformMatrix4fv(9, "), 0u);

    // A static model never uploads joints, even when given a skin.
    model.skinned = false;
    draw_mesh(mesh, &model, &skin, false, 1.0f);
    log = fake_gl::take();
    EXPECT_EQ(count_prefix(log, "glUniformMatrix4fv(9, "), 0u);
    EXPECT_EQ(count_prefix(log, "glVertexAttribPointer"), 0u);
    // ...and turns off the joint arrays the skinned draws left pointing into
    // their buffer, once.
    EXPECT_EQ(count_prefix(log, "glDisableVertexAttribArray(3)"), 1u);
    EXPECT_EQ(count_prefix(log, "glDisableVertexAttribArray(4)"), 1u);
    draw_mesh(mesh, &model, &skin, false, 1.0f);
    EXPECT_EQ(count_prefix(fake_gl::take(), "glDisableVertexAttribArray"), 0u);

    // Without a current program the skinned layout binds nothing at all.
    current_program = nullptr;
    bind_skinned_vertex_format();
    EXPECT_TRUE(fake_gl::take().empty());
}

TEST_F(MODELS, destroy_model_releases_owned_textures_and_leaves_borrowed_ones) {
    MODEL model;
    MESH* mesh = build(model);
    TEXTURE* owned = new TEXTURE;
    create_image(owned, 2, 2);
    TEXTURE borrowed;
    borrowed.borrowed = 1;
    create_image(&borrowed, 2, 2);
    material_add_texture(mesh->material, owned);
    material_add_texture(mesh->material, &borrowed);
    add_mesh(&model);
    EXPECT_EQ(model.mesh_count, 2);
    EXPECT_EQ(live_texture_count, 2);
    EXPECT_EQ(live_texture_objects, 2);

    destroy_model(&model);
    EXPECT_EQ(model.meshes, nullptr);
    EXPECT_EQ(model.mesh_count, 0);
    EXPECT_EQ(model.vertices.slot, -1);
    EXPECT_EQ(model.vertices.data, nullptr);
    EXPECT_EQ(live_texture_count, 1);
    EXPECT_EQ(live_texture_objects, 1);
    EXPECT_NE(borrowed.slot, -1);
    EXPECT_EQ(slot_find(index_buffer_table, 0)->kind, SLOT_FREE);

    destroy_model(&model); // a second destroy finds nothing to do
    EXPECT_EQ(live_texture_objects, 1);
}

} // namespace
