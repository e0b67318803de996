// Drawable images and 2D sprites: the quad as constructed, texture rectangles
// and flips, the 2D draw's corners and texture coordinates, a dirty picture
// uploaded once, hidden sprites, truncated positions, the shared quad's
// whole white picture, and a layer's batches: one upload, a draw per run.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/scene_objects.h"
#include "scene/sprite.h"
#include "shader/program.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using fake_gl::call;

class SPRITES : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        reset_shader_programs();
        scene_objects_reset();
        handle_tables_reset();
        render_state_reset();
        model_stack_create_global();
        math_reset();
        frame_stats_reset();
        program_sprites2d = new SHADER_PROGRAM; // deleted by reset_shader_programs
        program_sprites2d->program = 5;
        program_sprite3d = new SHADER_PROGRAM;
        ASSERT_TRUE(scene_objects_setup());
        fake_gl::take();
    }
    void TearDown() override {
        scene_objects_reset();
        reset_shader_programs();
    }
};

void expect_texcoords(const DRAWABLE_IMAGE_BASE& image, std::vector<float> expected) {
    const VERTEX* v = image.model.vertices.data;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v[i].texcoord0[0], expected[2 * i]) << "u of vertex " << i;
        EXPECT_EQ(v[i].texcoord0[1], expected[2 * i + 1]) << "v of vertex " << i;
    }
}

void expect_corners(const DRAWABLE_IMAGE_BASE& image, std::vector<float> expected) {
    const VERTEX* v = image.model.vertices.data;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(v[i].position[0], expected[2 * i]) << "x of vertex " << i;
        EXPECT_EQ(v[i].position[1], expected[2 * i + 1]) << "y of vertex " << i;
    }
}

size_t count_prefix(const std::vector<std::string>& log, const std::string& prefix) {
    return size_t(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
        return line.rfind(prefix, 0) == 0;
    }));
}

TEST_F(SPRITES, new_drawable_image_is_a_unit_quad_with_one_transparent_sprite_material) {
    SPRITE2D sprite(nullptr);
    expect_corners(sprite, {-0.5f, -0.5f, -0.5f, 0.5f, 0.5f, 0.5f, 0.5f, -0.5f});
    expect_texcoords(sprite, {0, 1, 0, 0, 1, 0, 1, 1});
    const VERTEX* v = sprite.model.vertices.data;
    EXPECT_EQ(v[0].normal[0], 30.0f);
    EXPECT_EQ(v[3].normal[2], 62.0f);
    EXPECT_EQ(v[2].position[2], 0.0f);
    EXPECT_EQ(v[2].position[3], 1.0f);
    EXPECT_FALSE(sprite.geometry_changed);
    EXPECT_EQ(sprite.model.vertices.usage, USAGE_STATIC);

    ASSERT_EQ(sprite.model.mesh_count, 1);
    MESH* mesh = sprite.model.meshes;
    const uint16_t* indices = mesh->indices.data;
    EXPECT_EQ(std::vector<uint16_t>(indices, indices + 6),
              (std::vector<uint16_t>{0, 1, 2, 0, 2, 3}));
    const MATERIAL& material = *mesh->material;
    EXPECT_EQ(material.program, program_sprite3d);
    EXPECT_EQ(material.cull_mode, CULL_NONE);
    EXPECT_EQ(material.depth_mode, DEPTH_TEST_ONLY);
    EXPECT_TRUE(material.transparent);
    ASSERT_EQ(material.texture_count, 1);
    EXPECT_EQ(material.textures[0]->slot, -1);
    EXPECT_EQ(drawable_image_texture(&sprite), material.textures[0]);
    EXPECT_EQ(sprite.scene, nullptr);
    EXPECT_STREQ(sprite.name, "Actor1"); // the default camera is Actor0
}

TEST_F(SPRITES, texture_rect_flips_exchange_left_right_and_top_bottom) {
    SPRITE2D sprite(nullptr);
    sprite.flip_horizontal = true;
    set_texture_rect(&sprite, 0, 1, 1, 0);
    expect_texcoords(sprite, {1, 1, 1, 0, 0, 0, 0, 1});

    sprite.flip_horizontal = false;
    sprite.flip_vertical = true;
    set_texture_rect(&sprite, 0, 1, 1, 0);
    expect_texcoords(sprite, {0, 0, 0, 1, 1, 1, 1, 0});

    set_quad_size(&sprite, 4, 2);
    expect_corners(sprite, {-2, -1, -2, 1, 2, 1, 2, -1});
    EXPECT_FALSE(sprite.geometry_changed);
}

TEST_F(SPRITES, draw_sprite_2d_writes_window_corners_and_source_texture_coordinates) {
    SPRITE2D sprite(nullptr);
    TEXTURE* texture = drawable_image_texture(&sprite);
    create_image(texture, 200, 100);

    draw_sprite_2d(&sprite, 10, 20, 1.0f, 2.0f, 200, 100);
    expect_corners(sprite, {10, 20, 10, 220, 210, 220, 210, 20});
    expect_texcoords(sprite, {0, 0, 0, 1, 1, 1, 1, 0});

    draw_sprite_2d(&sprite, 0, 0, 1.0f, 1.0f, 100, 100);
    expect_texcoords(sprite, {0, 0, 0, 1, 0.5f, 1, 0.5f, 0});

    // Flipped: the rectangle grows to the left of x, s = 0 stays at x.
    sprite.flip_horizontal = true;
    draw_sprite_2d(&sprite, 200, 0, 1.0f, 1.0f, 100, 100);
    expect_corners(sprite, {200, 0, 200, 100, 100, 100, 100, 0});
    expect_texcoords(sprite, {0, 0, 0, 1, 0.5f, 1, 0.5f, 0});
}

TEST_F(SPRITES, draw_uses_the_2d_program_and_uploads_a_dirty_picture_once) {
    SPRITE2D sprite(nullptr);
    TEXTURE* texture = drawable_image_texture(&sprite);
    create_image(texture, 8, 8);
    texture->dirty = true;
    fake_gl::take();

    draw_sprite2d_actor(&sprite);
    std::vector<std::string> first = fake_gl::take();
    EXPECT_EQ(current_program, program_sprites2d);
    EXPECT_EQ(count_prefix(first, "glUseProgram(5)"), 1u);
    EXPECT_EQ(count_prefix(first, "glTexImage2D"), 1u);
    EXPECT_EQ(
        count_prefix(first, "glBufferSubData(" + std::to_string(GL_ARRAY_BUFFER) + ", 0, 352"), 1u);
    EXPECT_EQ(first.back(), call("glDrawElements", GLenum(GL_TRIANGLES), 6,
                                 GLenum(GL_UNSIGNED_SHORT), static_cast<const void*>(nullptr)));
    EXPECT_FALSE(texture->dirty);

    draw_sprite2d_actor(&sprite);
    std::vector<std::string> second = fake_gl::take();
    EXPECT_EQ(count_prefix(second, "glTexImage2D"), 0u);
    EXPECT_EQ(count_prefix(second, "glUseProgram"), 0u);
    EXPECT_EQ(count_prefix(second, "glBindTexture"), 0u);
    EXPECT_EQ(count_prefix(second, "glBindBuffer"), 0u);
    EXPECT_EQ(count_prefix(second, "glBufferSubData"), 1u); // the quad is rewritten every draw
    EXPECT_EQ(frame_stats.draws, 2u);
}

TEST_F(SPRITES, hidden_sprite_issues_no_gl_call_and_positions_truncate_toward_zero) {
    SPRITE2D sprite(nullptr);
    create_image(drawable_image_texture(&sprite), 16, 8);
    fake_gl::take();

    sprite.hidden = true;
    int error_reads = fake_gl::state().error_reads;
    draw_sprite2d_actor(&sprite);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(fake_gl::state().error_reads, error_reads);

    sprite.hidden = false;
    sprite.position = VECTOR3{10.9f, -0.5f, 99.0f};
    draw_sprite2d_actor(&sprite);
    expect_corners(sprite, {10, 0, 10, 8, 26, 8, 26, 0});

    sprite.position = VECTOR3{-0.7f, 3.9f, 0.0f};
    sprite.scale = VECTOR3{2.0f, 1.0f, 1.0f};
    draw_sprite2d_actor(&sprite);
    expect_corners(sprite, {0, 3, 0, 11, 32, 11, 32, 3});
}

TEST_F(SPRITES, a_layer_draws_each_run_of_one_picture_once_from_one_stream_buffer) {
    TEXTURE* a = create_texture(8, 8);
    TEXTURE* b = create_texture(4, 4);
    SPRITE2D s1(nullptr), s2(nullptr), hidden(nullptr), s3(nullptr), s4(nullptr);
    SPRITE2D* list[] = {&s1, &s2, &hidden, &s3, &s4};
    TEXTURE* shows[] = {a, a, a, b, a};
    for (int i = 0; i < 5; ++i) {
        sprite_set_texture(list[i], shows[i]);
        list[i]->position = VECTOR3{float(10 * i), 5, 0};
        list[i]->next = i < 4 ? list[i + 1] : nullptr;
    }
    hidden.hidden = true;
    fake_gl::take();

    const std::string vertex_data = "glBufferData(" + std::to_string(GL_ARRAY_BUFFER) + ", ";
    const std::string stream = "glBufferSubData(" + std::to_string(GL_ARRAY_BUFFER) + ", 0, ";
    const auto draw = [](int indices, size_t offset) {
        return call("glDrawElements", GLenum(GL_TRIANGLES), indices, GLenum(GL_UNSIGNED_SHORT),
                    reinterpret_cast<const void*>(offset));
    };
    for (int frame = 0; frame < 2; ++frame) {
        frame_stats_reset();
        draw_sprite2d_list(&s1);
        const std::vector<std::string> log = fake_gl::take();
        // Four quads in one upload into fresh storage of their size (the
        // first frame also makes the buffer); none to a sprite's own quad.
        EXPECT_EQ(count_prefix(log, vertex_data), frame == 0 ? 2u : 1u);
        EXPECT_EQ(
            count_prefix(log, vertex_data + std::to_string(4 * 4 * sizeof(VERTEX)) + ", data"), 1u);
        EXPECT_EQ(count_prefix(log, stream), 0u);
        // Runs a a | b | a, in order.
        std::vector<std::string> draws;
        for (const std::string& line : log) {
            if (line.rfind("glDrawElements", 0) == 0) {
                draws.push_back(line);
            }
        }
        EXPECT_EQ(draws, (std::vector<std::string>{draw(12, 0), draw(6, 24), draw(6, 36)}));
        EXPECT_EQ(frame_stats.draws, 3u);
    }
    // A tint is a uniform: a sprite of another colour is a run of its own
    // (a | a tinted | b | a), and the tint goes back to white after it.
    fake_gl::state().uniform_locations["colour_complement"] = 7;
    s2.colour[1] = 0;
    draw_sprite2d_list(&s1);
    const std::vector<std::string> tinted = fake_gl::take();
    EXPECT_EQ(count_prefix(tinted, "glDrawElements"), 4u);
    EXPECT_EQ(count_prefix(tinted, "glUniform4fv"), 2u);
    s2.colour[1] = 1;
    // One sprite shown is not a batch: it draws from its own quad.
    hidden.next = nullptr;
    s2.hidden = true;
    draw_sprite2d_list(&s1);
    const std::vector<std::string> one = fake_gl::take();
    EXPECT_EQ(count_prefix(one, stream + std::to_string(4 * sizeof(VERTEX))), 1u);
    EXPECT_EQ(one.back(), draw(6, 0));
    draw_sprite2d_list(nullptr); // no sprites: nothing
    EXPECT_TRUE(fake_gl::take().empty());
    release_texture(a);
    release_texture(b);
}

TEST_F(SPRITES, sprite_without_a_picture_draws_nothing) {
    SPRITE2D sprite(nullptr);
    fake_gl::take();
    draw_sprite2d_actor(&sprite);
    EXPECT_TRUE(fake_gl::take().empty());
}

TEST_F(SPRITES, shared_quad_uploads_a_whole_16_by_16_white_picture) {
    scene_objects_reset();
    handle_tables_reset();
    fake_gl::reset();
    ASSERT_TRUE(scene_objects_setup());
    ASSERT_NE(shared_quad, nullptr);
    std::vector<std::string> log = fake_gl::take();
    const unsigned char some_pixels = 0; // any non-null pointer is logged as "data"
    auto upload =
        std::find(log.begin(), log.end(),
                  call("glTexImage2D", GLenum(GL_TEXTURE_2D), 0, GLint(GL_RGBA), 16, 16, 0,
                       GLenum(GL_RGBA), GLenum(GL_UNSIGNED_BYTE), fake_gl::DATA{&some_pixels}));
    ASSERT_NE(upload, log.end());
    // The upload is the last call: its bytes are the captured data.
    EXPECT_EQ(upload, log.end() - 1);
    const std::vector<unsigned char>& bytes = fake_gl::state().last_data;
    ASSERT_EQ(bytes.size(), 16u * 16u * 4u);
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](unsigned char b) { return b == 0xFF; }));
    EXPECT_EQ(count_prefix(log, call("glTexParameteri", GLenum(GL_TEXTURE_2D),
                                     GLenum(GL_TEXTURE_WRAP_S), GL_REPEAT)),
              1u);
    EXPECT_EQ(shared_quad->vertices.usage, USAGE_DYNAMIC);
    EXPECT_EQ(shared_quad->indices.count, 6);
    EXPECT_EQ(live_texture_count, 1);
}

} // namespace
