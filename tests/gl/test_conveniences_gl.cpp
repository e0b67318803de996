// The conveniences on real OpenGL: a render texture's picture and the
// scene target's picture are sampled by sprites (not black, and upright), a
// render texture shows upright on a 3D sprite and a model's material too,
// and text puts its colour on the pixels of its glyphs only.
#include "gfx/render_state.h"
#include "math/matrix_stack.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/render_texture.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/sprite.h"
#include "scene/text.h"
#include "scene/uniforms.h"
#include "shader/program.h"
#include "tests/support/engine_objects_reset.h"
#include "tests/support/gl_fixture.h"

#include <memory>

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
        // Model programs a test's first model draw built are the test's.
        delete program_model;
        delete program_skinned_model;
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

TEST_F(CONVENIENCES_GL, render_texture_shows_upright_on_a_3d_sprite_and_a_model_material) {
    // A picture with a green top half and a red bottom half.
    RENDER_TEXTURE* panel = create_render_texture(64, 64);
    ASSERT_NE(panel, nullptr);
    panel->clear_colour[0] = 1.0f;
    ASSERT_TRUE(begin_render_texture(panel));
    set_clear_colour(0, 1, 0, 1);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 32, 64, 32); // framebuffer rows count from the bottom
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    end_render_texture();

    // A 2 x 2 quad whose top edge samples v = 0, as model files have it,
    // left of the line of sight, and a 3D sprite of the same size right of it.
    VERTEX corners[4] = {};
    const float places[4][4] = {{-1, -1, 0, 1}, {1, -1, 1, 1}, {1, 1, 1, 0}, {-1, 1, 0, 0}};
    for (int i = 0; i < 4; ++i) {
        corners[i].position[0] = places[i][0];
        corners[i].position[1] = places[i][1];
        corners[i].position[3] = 1;
        corners[i].normal[2] = 1;
        corners[i].texcoord0[0] = places[i][2];
        corners[i].texcoord0[1] = places[i][3];
    }
    const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    std::unique_ptr<MODEL> quad(build_model(corners, 4));
    MESH* mesh = build_mesh(quad.get(), indices, 6);
    ASSERT_TRUE(material_set_texture(mesh->material, panel->texture));
    std::unique_ptr<MODEL_ACTOR> model(add_model_actor(&app_scene->layer1, quad.get()));
    model->position = VECTOR3{-2, 0, -6};
    std::unique_ptr<SPRITE3D> sprite(new SPRITE3D(app_scene));
    sprite_set_texture(sprite.get(), panel->texture);
    sprite->position = VECTOR3{2, 0, -6};
    sprite->scale = VECTOR3{2, 2, 1};
    layer_add_sprite3d(&app_scene->layer1, sprite.get());
    // A light, so the scene's ambient white reaches both programs.
    std::unique_ptr<LIGHT> light(add_light(app_scene, LIGHT_TYPE_POINT, VECTOR3{0, 0, 10}));
    std::unique_ptr<CAMERA3D> camera(new CAMERA3D);
    camera_look_at(camera.get(), VECTOR3{0, 0, 0}, VECTOR3{0, 0, -1});
    app_scene->active_camera = camera.get();
    update_scene();
    render_scene();

    // Each shows green above its middle and red below it (the sprite is
    // half transparent over black).
    for (int x : {512 - 173, 512 + 173}) {
        const RGBA top = gl_pixel(x, 300 - 40);
        const RGBA bottom = gl_pixel(x, 300 + 40);
        EXPECT_GT(top.g, top.r + 40) << "at x " << x;
        EXPECT_GT(bottom.r, bottom.g + 40) << "at x " << x;
    }
    app_scene->layer1 = SCENE_LAYER{};
    app_scene->active_camera = nullptr;
    destroy_render_texture(panel);
}

TEST_F(CONVENIENCES_GL, text_lights_the_pixels_of_its_glyphs_only) {
    draw_text("I", 50, 40, 2, VECTOR4{0, 1, 0, 1});
    flush_text();
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
