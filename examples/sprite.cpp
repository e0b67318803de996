// A picture file as the background, a yellow square made in code that the
// arrow keys move, and text. The picture is the one the build put beside
// the program.
#include "app/vexa.h"
#include "assets/picture.h"

#include <algorithm>

SPRITE2D* square;

bool setup(void*) {
    TEXTURE* picture = load_texture((executable_directory() + "screenshot.png").c_str());
    TEXTURE* yellow = create_texture(48, 48);
    // Yellow: the bytes red ff, green d2, blue 00, alpha ff of each pixel.
    std::fill_n(reinterpret_cast<uint32_t*>(yellow->image->pixels), 48 * 48, 0xff00d2ffu);
    add_sprite_2d(&app_scene->layer2, app_scene, picture);
    square = add_sprite_2d(&app_scene->layer2, app_scene, yellow);
    square->position = VECTOR3{100, 276, 0};
    return picture != nullptr; // the loader has said why not
}

void frame(void*) {
    square->position.x += 2 * (key_held(SDLK_RIGHT) - key_held(SDLK_LEFT));
    square->position.y += 2 * (key_held(SDLK_DOWN) - key_held(SDLK_UP));
    render_scene();
    draw_text("Move the square with the arrow keys", 10, 10, 2);
    draw_frame_rate(10, 34);
}

int main() {
    return app_run({.setup = setup, .frame = frame});
}
