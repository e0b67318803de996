// Dear ImGui over the engine on real OpenGL: a frame with an ImGui window
// drawn after the engine's sprite shows both, and the next frame, drawn by
// the engine alone after ImGui's pass changed GL behind its caches, shows
// the engine's picture exactly.
#include "app/runtime.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/window.h"
#include "imgui/vexa_imgui.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/scene_objects.h"
#include "scene/sprite.h"
#include "shader/program.h"
#include "tests/support/gl_fixture.h"

#include <imgui.h>

namespace {

class IMGUI_GL : public GL_TEST {
  protected:
    APP_WINDOW window{};
    APP_WINDOW* saved_window = nullptr;

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
        create_program_set();
        ASSERT_TRUE(scene_objects_setup());
        window.window = gl_fixture_window();
        window.context = SDL_GL_GetCurrentContext();
        window.width = 1024;
        window.height = 600;
        saved_window = app_window;
        app_window = &window;
    }
    void TearDown() override {
        imgui_stop();
        app_window = saved_window;
        scene_objects_reset();
        reset_shader_programs();
    }
};

void expect_colour(int x, int y, int r, int g, int b) {
    RGBA p = gl_pixel(x, y);
    EXPECT_NEAR(p.r, r, 2) << "at " << x << ", " << y;
    EXPECT_NEAR(p.g, g, 2) << "at " << x << ", " << y;
    EXPECT_NEAR(p.b, b, 2) << "at " << x << ", " << y;
}

// A 64 x 64 picture: left half red, right half green.
void draw_sprite(SPRITE2D& sprite) {
    begin_2d_pass();
    MATRIX4 root;
    matrix_identity(root);
    matrix_stack_load(model_stack, root);
    draw_sprite2d_actor(&sprite);
    end_2d_pass();
}

TEST_F(IMGUI_GL, the_engine_draws_its_picture_exactly_after_an_imgui_pass) {
    ASSERT_TRUE(imgui_start());
    ASSERT_NE(frame_begin_hook, nullptr);
    ASSERT_NE(frame_end_hook, nullptr);
    SPRITE2D sprite(nullptr);
    TEXTURE* texture = drawable_image_texture(&sprite);
    ASSERT_TRUE(create_image(texture, 64, 64));
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            uint8_t* p = texture->image->pixels + y * texture->image->stride + x * 4;
            p[0] = x < 32 ? 255 : 0;
            p[1] = x < 32 ? 0 : 255;
            p[2] = 0;
            p[3] = 255;
        }
    }
    texture->dirty = true;
    sprite.position = VECTOR3{600.0f, 300.0f, 0.0f};

    // Frame 1: the sprite, then a yellow ImGui window over the top left.
    set_viewport(0, 0, 1024, 600);
    clear_frame(0, 0, 0);
    frame_begin_hook();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(300, 200));
    ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(1, 1, 0, 1));
    ImGui::Begin("probe", nullptr, ImGuiWindowFlags_NoTitleBar);
    ImGui::TextUnformatted("over the scene");
    ImGui::End();
    ImGui::PopStyleColor();
    draw_sprite(sprite);
    frame_end_hook();
    EXPECT_TRUE(imgui_drew_last_frame());
    expect_colour(150, 150, 255, 255, 0);
    expect_colour(616, 316, 255, 0, 0);
    expect_colour(648, 316, 0, 255, 0);

    // Frame 2: the engine alone, the same sprite elsewhere; nothing of
    // ImGui's state may leak into it (its font texture, program, buffers,
    // blending, scissor box).
    set_viewport(0, 0, 1024, 600);
    clear_frame(0, 0, 0);
    sprite.position = VECTOR3{100.0f, 60.0f, 0.0f};
    draw_sprite(sprite);
    expect_colour(150, 150, 0, 0, 0);
    expect_colour(116, 76, 255, 0, 0);
    expect_colour(148, 76, 0, 255, 0);
    expect_colour(163, 123, 0, 255, 0);
    expect_colour(165, 123, 0, 0, 0);
    expect_colour(616, 316, 0, 0, 0);

    // A frame whose ImGui pass draws nothing sends GL nothing.
    frame_begin_hook();
    frame_end_hook();
    EXPECT_FALSE(imgui_drew_last_frame());
    expect_colour(116, 76, 255, 0, 0);
}

} // namespace
