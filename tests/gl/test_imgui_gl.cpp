// Dear ImGui over the engine on real OpenGL: a frame with an ImGui window
// drawn after the engine's sprite shows both, and the next frame, the
// engine's alone after the ImGui pass changed GL behind its caches, shows
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

void expect_colour(int x, int y, int r, int g, int b) {
    RGBA p = gl_pixel(x, y);
    EXPECT_NEAR(p.r, r, 2) << "at " << x << ", " << y;
    EXPECT_NEAR(p.g, g, 2) << "at " << x << ", " << y;
    EXPECT_NEAR(p.b, b, 2) << "at " << x << ", " << y;
}

// Clears, then draws the sprite at (x, y) through the 2D pass.
void engine_frame(SPRITE2D& sprite, float x, float y) {
    set_viewport(0, 0, 1024, 600);
    clear_frame(0, 0, 0);
    sprite.position = VECTOR3{x, y, 0.0f};
    begin_2d_pass();
    MATRIX4 root;
    matrix_identity(root);
    matrix_stack_load(model_stack, root);
    draw_sprite2d_actor(&sprite);
    end_2d_pass();
}

// Puts everything back even when an assertion ends the test early: later
// tests must not find ImGui running or app_window pointing at this window.
class IMGUI_GL : public GL_TEST {
  protected:
    APP_WINDOW window{};
    APP_WINDOW* saved_window = app_window;
    void TearDown() override {
        imgui_stop();
        app_window = saved_window;
        scene_objects_reset();
        reset_shader_programs();
    }
};

TEST_F(IMGUI_GL, imgui_draws_over_the_scene_and_the_engine_draws_exactly_after_its_pass) {
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
    window.width = 1024; // the 2D pass's pixel space
    window.height = 600;
    app_window = &window;
    ASSERT_TRUE(imgui_start());

    // 64 x 64: left half red, right half green.
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

    frame_begin_hook();
    ImGui::SetNextWindowPos(ImVec2(0, 0));
    ImGui::SetNextWindowSize(ImVec2(300, 200));
    ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(1, 1, 0, 1));
    ImGui::Begin("probe", nullptr, ImGuiWindowFlags_NoTitleBar);
    ImGui::TextUnformatted("over the scene");
    // A program's own GL inside the ImGui pass, which ImGui does not undo:
    // unless the engine forgets its clear-colour mirror, its next clear is
    // blue.
    ImGui::GetWindowDrawList()->AddCallback(
        [](const ImDrawList*, const ImDrawCmd*) { glClearColor(0, 0, 1, 1); }, nullptr);
    ImGui::End();
    ImGui::PopStyleColor();
    engine_frame(sprite, 600, 300);
    frame_end_hook();
    EXPECT_TRUE(imgui_drew_last_frame());
    expect_colour(150, 150, 255, 255, 0);
    expect_colour(616, 316, 255, 0, 0);
    expect_colour(648, 316, 0, 255, 0);

    // Nothing of the ImGui pass's state (its font texture, program, buffers,
    // blending, scissor box, the callback's clear colour) may leak into the
    // engine's next frame.
    engine_frame(sprite, 100, 60);
    expect_colour(150, 150, 0, 0, 0);
    expect_colour(116, 76, 255, 0, 0);
    expect_colour(163, 123, 0, 255, 0);
    expect_colour(165, 123, 0, 0, 0);
    expect_colour(616, 316, 0, 0, 0);
}

} // namespace
