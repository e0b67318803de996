// The demonstration: one scene with one full-window 2D sprite whose picture
// is recomputed as the animated fractal every frame. Owns the application
// scene's creation, the sprite reference and the fractal state; relies on the
// scene, sprite and texture code and on the fractal kernels.
#include "demo/demo.h"

#include "app/window.h"
#include "demo/fractal.h"
#include "scene/scene.h"
#include "scene/sprite.h"
#include "scene/texture.h"

namespace {

SPRITE2D* demo_sprite = nullptr;  // owned by the scene's layer list
SHARED_QUAD* demo_quad = nullptr; // constructed at set-up, never used
FRACTAL_PATH demo_path = FRACTAL_FAST_ALL_THREADS;

// The sprite's picture, when it has one laid out as the fractal writes it:
// 4-byte texels, rows without gaps.
IMAGE* sprite_picture() {
    if (!demo_sprite) {
        return nullptr;
    }
    TEXTURE* texture = drawable_image_texture(demo_sprite);
    IMAGE* image = texture ? texture->image : nullptr;
    if (!image || !image->pixels || image->width <= 0 || image->height <= 0 ||
        image->stride != image->width * 4) {
        return nullptr;
    }
    return image;
}

} // namespace

void demo_use_path(FRACTAL_PATH path) {
    demo_path = path;
}

bool demo_setup() {
    fractal_demo_reset();
    app_scene = new SCENE; // also becomes current_scene
    demo_quad = new SHARED_QUAD;
    demo_sprite = add_sprite_2d(&current_scene->layer2, current_scene);
    if (demo_sprite) {
        const int32_t width = app_window ? app_window->width : APP_WINDOW_WIDTH;
        const int32_t height = app_window ? app_window->height : APP_WINDOW_HEIGHT;
        create_image(drawable_image_texture(demo_sprite), width, height);
    }
    return true;
}

void demo_frame() {
    IMAGE* image = sprite_picture();
    const int32_t width = image ? image->width : 0;
    const int32_t height = image ? image->height : 0;
    const FRACTAL_FRAME frame =
        fractal_frame_advance(fractal_demo, image != nullptr, width, height);
    if (image) {
        fractal_render(frame, reinterpret_cast<uint32_t*>(image->pixels), width, height, demo_path);
        drawable_image_texture(demo_sprite)->dirty = true;
        demo_sprite->hidden = false;
    }
    render_scene();
}

void demo_reset() {
    delete demo_quad;
    demo_quad = nullptr;
    demo_sprite = nullptr;
    demo_path = FRACTAL_FAST_ALL_THREADS;
    fractal_demo_reset();
}

const uint32_t* demo_picture(int* width, int* height) {
    IMAGE* image = sprite_picture();
    *width = image ? image->width : 0;
    *height = image ? image->height : 0;
    return image ? reinterpret_cast<const uint32_t*>(image->pixels) : nullptr;
}

TEXTURE* demo_texture() {
    return demo_sprite ? drawable_image_texture(demo_sprite) : nullptr;
}
