// The conveniences on real OpenGL: a render texture's picture and the
// scene target's picture are sampled by sprites (not black, and upright),
// and text puts its colour on the pixels of its glyphs only.
#include "gfx/render_state.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/render_texture.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/sprite.h"
#include "scene/text.h"
#include "shader/program.h"
#include "tests/support/engine_objects_reset.h"
#include "tests/support/gl_fixture.h"

namespace {

class CONVENIENCES_GL : public GL_TEST {
  protected:
    void SetUp() override {
        GL_TEST::SetUp();
        if (IsSkipped()) {
            return;
        }
        engine_setup_from_scratch();
        app_scene = new SCENE;
        set_viewport(0, 0, 1024, 600);
        clear_frame(0, 0, 0);
    }
    void TearDown() override {
        if (app_scene) {
            for (ACTOR* a = app_scene->layer2.sprites2d; a;) {
                ACTOR* next = a->next;
                delete a;
                a = next;
            }
            delete app_scene;
        }
        scene_reset();
        framebuffer_unbind();
        reset_engine_objects();
    }
};

void expect_colour(int x, int y, int r, int g, int b) {
    RGBA p = gl_pixel(x, y);
    EXPECT_NEAR(p.r, r, 3) << "at " << x << ", " << y;
    EXPECT_NEAR(p.g, g, 3) << "at " << x << ", " << y;
    EXPECT_NEAR(p.b, b, 3) << "at " << x << ", " << y;
}

TEST_F(CONVENIENCES_GL, render_texture_and_scene_target_show_upright_on_sprites) {
    // Into a 128 x 64 render texture: a red clear, white text at its top left.
    RENDER_TEXTURE* panel = create_render_texture(128, 64);
    ASSERT_NE(panel, nullptr);
    panel->clear_colour[0] = 1.0f;
    panel->clear_colour[3] = 1.0f;
    ASSERT_TRUE(begin_render_texture(panel));
    draw_text("\x7f\x7f", 0, 0, 4); // '?' glyphs: lit pixels in their first rows
    end_render_texture();

    // The scene's own 4096 x 4096 target, filled with opaque blue: made with
    // a filter that names missing mipmaps, it sampled black before.
    scene_make_target(app_scene);
    framebuffer_bind(app_scene->target.framebuffer);
    set_viewport(0, 0, SCENE_TARGET_SIZE, SCENE_TARGET_SIZE);
    clear_frame(0, 0, 1);
    framebuffer_unbind();
    set_viewport(0, 0, 1024, 600);

    SPRITE2D* shown = add_sprite_2d(&app_scene->layer2, app_scene, panel->texture);
    shown->position = VECTOR3{100, 100, 0};
    SPRITE2D* target =
        add_sprite_2d(&app_scene->layer2, app_scene, scene_target_texture(app_scene));
    target->position = VECTOR3{500, 100, 0};
    target->scale = VECTOR3{0.02f, 0.02f, 1};
    render_scene();

    expect_colour(200, 150, 255, 0, 0);              // the render texture's red, not black
    expect_colour(100 + 14, 100 + 2, 255, 255, 255); // the text's top row on top
    expect_colour(100 + 14, 100 + 60, 255, 0, 0);
    expect_colour(540, 140, 0, 0, 255); // the scene target, sampled
    destroy_render_texture(panel);
}

TEST_F(CONVENIENCES_GL, text_lights_the_pixels_of_its_glyphs_only) {
    draw_text("I", 50, 40, 2, VECTOR4{0, 1, 0, 1});
    // 'I': a bar three font pixels wide over rows 0 and 6, one wide between.
    int lit = 0;
    for (int y = 30; y < 70; ++y) {
        for (int x = 40; x < 80; ++x) {
            const RGBA p = gl_pixel(x, y);
            const bool inside = x >= 50 && x < 66 && y >= 40 && y < 56;
            if (p.g > 128) {
                ++lit;
                EXPECT_TRUE(inside) << "lit at " << x << ", " << y;
                EXPECT_LT(p.r, 8);
            }
        }
    }
    // Rows 0 and 6 three pixels, rows 1 to 5 one: 11 font pixels of 2 x 2.
    EXPECT_EQ(lit, 11 * 4);
    expect_colour(54, 52, 0, 255, 0);
    expect_colour(54, 46, 0, 0, 0);
}

} // namespace
