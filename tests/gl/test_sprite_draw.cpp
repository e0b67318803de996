// 2D sprites on real OpenGL: a known picture drawn through the 2D pass lands
// on the expected window pixels, first picture row at the top, at the
// truncated position, and mirrored when flipped; a layer drawn in batches
// reads back the same bytes as drawn sprite by sprite.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/scene_objects.h"
#include "scene/sprite.h"
#include "scene/text.h"
#include "shader/program.h"
#include "tests/support/gl_fixture.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

class SPRITE_DRAW : public GL_TEST {
  protected:
    void SetUp() override {
        GL_TEST::SetUp();
        if (IsSkipped()) {
            return;
        }
        reset_shader_programs();
        scene_objects_reset();
        handle_tables_reset();
        render_state_reset();
        gl_setup(false);
        render_state_defaults();
        model_stack_create_global();
        math_reset();
        create_program_set();
        ASSERT_NE(program_sprites2d, nullptr);
        ASSERT_TRUE(scene_objects_setup());
        set_viewport(0, 0, 1024, 600);
        clear_frame(0, 0, 0);
    }
    void TearDown() override {
        scene_objects_reset();
        reset_shader_programs();
    }
};

// 64 x 64: top-left red, top-right green, bottom-left blue, bottom-right white.
void paint_quadrants(TEXTURE* texture) {
    ASSERT_TRUE(create_image(texture, 64, 64));
    IMAGE& image = *texture->image;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = image.pixels + y * image.stride + x * 4;
            bool right = x >= 32;
            bool bottom = y >= 32;
            p[0] = (!right && !bottom) || (right && bottom) ? 255 : 0;
            p[1] = (right && !bottom) || (right && bottom) ? 255 : 0;
            p[2] = (!right && bottom) || (right && bottom) ? 255 : 0;
            p[3] = 255;
        }
    }
    texture->dirty = true;
}

void expect_colour(int x, int y, int r, int g, int b) {
    RGBA p = gl_pixel(x, y);
    EXPECT_NEAR(p.r, r, 2) << "at " << x << ", " << y;
    EXPECT_NEAR(p.g, g, 2) << "at " << x << ", " << y;
    EXPECT_NEAR(p.b, b, 2) << "at " << x << ", " << y;
}

void draw_in_2d_pass(SPRITE2D& sprite) {
    begin_2d_pass();
    MATRIX4 root;
    matrix_identity(root);
    matrix_stack_load(model_stack, root);
    draw_sprite2d_actor(&sprite);
    end_2d_pass();
}

TEST_F(SPRITE_DRAW, picture_appears_at_the_truncated_position_with_its_first_row_on_top) {
    SPRITE2D sprite(nullptr);
    paint_quadrants(drawable_image_texture(&sprite));
    sprite.position = VECTOR3{100.7f, 50.2f, 0.0f};
    draw_in_2d_pass(sprite);

    expect_colour(116, 66, 255, 0, 0);     // top-left quadrant
    expect_colour(148, 66, 0, 255, 0);     // top-right
    expect_colour(116, 98, 0, 0, 255);     // bottom-left
    expect_colour(148, 98, 255, 255, 255); // bottom-right
    // Edges at x = 100 and y = 50: truncated, not rounded up to 101 and 50.
    expect_colour(100, 60, 255, 0, 0);
    expect_colour(99, 60, 0, 0, 0);
    expect_colour(110, 50, 255, 0, 0);
    expect_colour(110, 49, 0, 0, 0);
    expect_colour(163, 113, 255, 255, 255);
    expect_colour(165, 113, 0, 0, 0);
    expect_colour(150, 115, 0, 0, 0);
}

TEST_F(SPRITE_DRAW, flipped_sprite_grows_left_of_its_position_and_is_mirrored) {
    SPRITE2D sprite(nullptr);
    paint_quadrants(drawable_image_texture(&sprite));
    sprite.position = VECTOR3{400.0f, 50.0f, 0.0f};
    sprite.flip_horizontal = true;
    draw_in_2d_pass(sprite);

    expect_colour(352, 66, 0, 255, 0); // the picture's right half now on the left
    expect_colour(384, 66, 255, 0, 0);
    expect_colour(352, 98, 255, 255, 255);
    expect_colour(384, 98, 0, 0, 255);
    expect_colour(399, 66, 255, 0, 0);
    expect_colour(401, 66, 0, 0, 0);
    expect_colour(334, 66, 0, 0, 0);

    sprite.flip_horizontal = false;
    sprite.flip_vertical = true;
    sprite.position = VECTOR3{600.0f, 200.0f, 0.0f};
    draw_in_2d_pass(sprite);
    expect_colour(616, 152, 0, 0, 255); // the bottom rows now on top, above y = 200
    expect_colour(616, 184, 255, 0, 0);
    expect_colour(616, 202, 0, 0, 0);
}

// Drawn anyway, the quad would go through fixed-function GL: window
// coordinates taken as clip coordinates fill the upper-right quarter white.
TEST_F(SPRITE_DRAW, sprite_whose_program_failed_to_build_leaves_the_clear_colour) {
    testing::internal::CaptureStderr();
    build_program(program_sprites2d, "shaders/absent_vs.glsl", "shaders/absent_fs.glsl");
    testing::internal::GetCapturedStderr();
    ASSERT_TRUE(program_sprites2d->build_failed);
    SPRITE2D sprite(nullptr);
    paint_quadrants(drawable_image_texture(&sprite));
    draw_in_2d_pass(sprite);
    expect_colour(16, 16, 0, 0, 0);
    expect_colour(48, 48, 0, 0, 0);
    expect_colour(800, 150, 0, 0, 0);
}

} // namespace

namespace {

std::vector<uint8_t> draw_layer_and_read(SPRITE2D* first, bool batched) {
    clear_frame(0, 0, 0);
    begin_2d_pass();
    MATRIX4 root;
    matrix_identity(root);
    matrix_stack_load(model_stack, root);
    if (batched) {
        draw_sprite2d_list(first);
    } else {
        for (ACTOR* a = first; a; a = a->next) {
            draw_sprite2d_actor(static_cast<SPRITE2D*>(a));
        }
    }
    end_2d_pass();
    return gl_read_pixels(0, 0, 1024, 600);
}

} // namespace

TEST_F(SPRITE_DRAW, a_batched_layer_reads_back_the_same_bytes_as_sprite_by_sprite) {
    TEXTURE* quadrants = create_texture(64, 64);
    paint_quadrants(quadrants);
    // Half-transparent blue-green: where it overlaps, drawing order shows.
    TEXTURE* glass = create_texture(16, 16);
    for (int p = 0; p < 16 * 16; ++p) {
        const uint8_t rgba[4] = {0, 128, 255, 100};
        std::memcpy(glass->image->pixels + p * 4, rgba, 4);
    }
    glass->dirty = true;
    SPRITE2D sprites[7] = {SPRITE2D(nullptr), SPRITE2D(nullptr), SPRITE2D(nullptr),
                           SPRITE2D(nullptr), SPRITE2D(nullptr), SPRITE2D(nullptr),
                           SPRITE2D(nullptr)};
    TEXTURE* shows[7] = {quadrants, glass, quadrants, quadrants, glass, glass, quadrants};
    for (int i = 0; i < 7; ++i) {
        sprite_set_texture(&sprites[i], shows[i]);
        sprites[i].position = VECTOR3{100.0f + 23.5f * float(i), 80.0f + 11.0f * float(i % 3), 0};
        sprites[i].next = i < 6 ? &sprites[i + 1] : nullptr;
    }
    sprites[2].flip_horizontal = true;
    sprites[3].scale = VECTOR3{2, 0.5f, 1};
    sprites[5].scale = VECTOR3{3, 3, 1};
    sprites[6].hidden = true;

    const std::vector<uint8_t> one_by_one = draw_layer_and_read(sprites, false);
    const std::vector<uint8_t> batched = draw_layer_and_read(sprites, true);
    ASSERT_EQ(one_by_one.size(), batched.size());
    EXPECT_TRUE(one_by_one == batched) << "the batched layer's picture differs";
    const RGBA overlap = gl_pixel(150, 100);
    EXPECT_TRUE(overlap.r != 0 || overlap.g != 0 || overlap.b != 0) << "the sprites were drawn";
    release_texture(quadrants);
    release_texture(glass);

    // Text: lines of one colour queued together are one draw; overlapping
    // see-through lines and a change of colour show the order kept.
    const auto text_and_read = [](bool one_by_one_text) {
        clear_frame(0, 0, 0);
        frame_stats_reset();
        const VECTOR4 colours[5] = {
            {1, 1, 1, 1}, {1, 1, 1, 1}, {0, 1, 0.5f, 0.5f}, {0, 1, 0.5f, 0.5f}, {1, 1, 1, 1}};
        for (int i = 0; i < 5; ++i) {
            draw_text("Vexa 0123 {jumps}\nsecond line", 20 + 7 * i, 300 + 6 * i, 2, colours[i]);
            if (one_by_one_text) {
                flush_text();
            }
        }
        flush_text();
        return gl_read_pixels(0, 0, 1024, 600);
    };
    const std::vector<uint8_t> text_one_by_one = text_and_read(true);
    EXPECT_EQ(frame_stats.draws, 5u);
    const std::vector<uint8_t> text_batched = text_and_read(false);
    EXPECT_EQ(frame_stats.draws, 3u) << "two colour changes: three draws";
    EXPECT_TRUE(text_one_by_one == text_batched) << "the batched text's picture differs";
    EXPECT_EQ(gl_pixel(22, 303).g, 255) << "the text was drawn";
}
