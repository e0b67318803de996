// 2D shapes, text in DejaVu Sans (Debian's fonts-dejavu-core), a ball moved
// by the arrow keys or a gamepad's left stick, and, where the package has
// vexa::imgui, a panel setting the ball's size and colour.
#include "app/vexa.h"
#ifdef VEXA_EXAMPLE_IMGUI
#include "imgui/vexa_imgui.h"
#include <imgui.h>
#endif

FONT* font;
float x = 512, y = 330, radius = 40, colour[4] = {1, 0.6f, 0.2f, 1};

void frame(void*) {
    x += 4 *
         (key_held(SDLK_RIGHT) - key_held(SDLK_LEFT) + gamepad_axis(0, SDL_CONTROLLER_AXIS_LEFTX));
    y += 4 * (key_held(SDLK_DOWN) - key_held(SDLK_UP) + gamepad_axis(0, SDL_CONTROLLER_AXIS_LEFTY));
    render_scene();
    draw_rectangle(20, 80, 984, 500, VECTOR4{0.2f, 0.2f, 0.4f, 1});
    draw_rectangle_lines(20, 80, 984, 500, 4, VECTOR4{1, 1, 1, 0.8f});
    draw_line(60, 560, 960, 100, 6, VECTOR4{0.3f, 0.8f, 0.4f, 0.5f});
    draw_circle(x, y, radius, VECTOR4{colour[0], colour[1], colour[2], colour[3]});
    draw_circle_lines(x, y, radius + 10, 3, VECTOR4{1, 1, 1, 1});
    draw_text(font, "Arrow keys or a gamepad's left stick: move the ball, ça roule", 20, 20);
#ifdef VEXA_EXAMPLE_IMGUI
    ImGui::SliderFloat("radius", &radius, 5, 200);
    ImGui::ColorEdit4("colour", colour);
#endif
}

bool setup(void*) {
    font = load_font("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 28);
#ifdef VEXA_EXAMPLE_IMGUI
    return imgui_start(); // the panel: ImGui's own window, shown over the frame
#endif
    return true;
}

int main() {
    return app_run({.setup = setup, .frame = frame});
}
