// 2D shapes, a tinted sprite and TrueType text on real OpenGL: each shape
// puts its colour (blended by its alpha) where it was asked, the sprite's
// tint multiplies its picture, and a DejaVu Sans string lights pixels in its
// box as wide as text_width says; a font file that cannot be read falls back
// to the built-in font with one line.
#include "gfx/render_state.h"
#include "scene/builders.h"
#include "scene/font.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/shapes.h"
#include "scene/sprite.h"
#include "scene/text.h"
#include "tests/support/engine_objects_reset.h"
#include "tests/support/gl_fixture.h"

#include <cstring>

namespace {

constexpr const char* DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class SHAPES_GL : public GL_TEST {
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
        reset_engine_objects();
    }
};

void expect_colour(int x, int y, int r, int g, int b) {
    RGBA p = gl_pixel(x, y);
    EXPECT_NEAR(p.r, r, 4) << "at " << x << ", " << y;
    EXPECT_NEAR(p.g, g, 4) << "at " << x << ", " << y;
    EXPECT_NEAR(p.b, b, 4) << "at " << x << ", " << y;
}

TEST_F(SHAPES_GL, shapes_a_tinted_sprite_and_a_truetype_string_draw_where_asked) {
    TEXTURE* white = create_texture(16, 16);
    ASSERT_NE(white, nullptr);
    std::memset(white->image->pixels, 0xFF, size_t(white->image->byte_size));
    SPRITE2D* sprite = add_sprite_2d(&app_scene->layer2, app_scene, white);
    sprite->position = VECTOR3{700, 100, 0};
    const float magenta[4] = {1, 0, 1, 1};
    std::memcpy(sprite->colour, magenta, sizeof magenta);
    render_scene();

    draw_rectangle(100, 100, 60, 40, VECTOR4{1, 0, 0, 1});
    draw_rectangle(130, 120, 10, 10, VECTOR4{0, 0, 1, 0.5f}); // half over the red
    draw_rectangle_lines(200, 100, 60, 40, 4, VECTOR4{0, 1, 0, 1});
    draw_circle(400, 150, 30, VECTOR4{0, 0, 1, 1});
    draw_line(500, 100, 600, 100, 6, VECTOR4{1, 1, 0, 1});
    FONT* font = load_font(DEJAVU, 32);
    ASSERT_TRUE(font_loaded(font));
    const char* text = "Vexa W\xC3\xA4g AV";
    draw_text(font, text, 100, 300, VECTOR4{1, 1, 1, 1});
    glFinish();

    expect_colour(110, 110, 255, 0, 0);
    expect_colour(135, 125, 127, 0, 127);
    expect_colour(201, 120, 0, 255, 0);
    expect_colour(230, 120, 0, 0, 0); // inside the outline
    expect_colour(400, 150, 0, 0, 255);
    expect_colour(420, 150, 0, 0, 255);
    expect_colour(435, 150, 0, 0, 0);
    expect_colour(550, 101, 255, 255, 0);
    expect_colour(550, 106, 0, 0, 0);
    expect_colour(708, 108, 255, 0, 255); // white picture, magenta tint

    // The string's lit pixels: white only, inside one line, as wide as measured.
    int lit = 0, left = 1024, right = -1;
    for (int y = 290; y < 300 + font_line_height(font) + 10; ++y) {
        for (int x = 90; x < 700; ++x) {
            const RGBA p = gl_pixel(x, y);
            if (p.r > 128) {
                ++lit;
                left = x < left ? x : left;
                right = x > right ? x : right;
                EXPECT_NEAR(p.r, p.b, 2) << "at " << x << ", " << y;
                EXPECT_GE(y, 300);
            }
        }
    }
    EXPECT_GT(lit, 400);
    EXPECT_NEAR(left, 100, 3);
    EXPECT_NEAR(right + 1 - 100, text_width(font, text), 4);
    // Kerning pulls "AV" together; characters the font lacks are one box each.
    EXPECT_LT(text_width(font, "AV"), text_width(font, "A") + text_width(font, "V"));
    const int box = text_width(font, "\xE4\xB8\x80");
    EXPECT_GT(box, 0);
    EXPECT_EQ(text_width(font, "\xE4\xB8\x80\xE4\xB8\x81"), 2 * box);
    release_font(font);

    testing::internal::CaptureStderr();
    FONT* missing = load_font("/nonexistent/font.ttf", 16);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexa: font /nonexistent/font.ttf cannot be read (FreeType error 1); its text uses "
              "the built-in font\n");
    EXPECT_FALSE(font_loaded(missing));
    EXPECT_EQ(text_width(missing, "abc"), text_width("abc", 2));
    release_font(missing);
    release_texture(white);
}

} // namespace
