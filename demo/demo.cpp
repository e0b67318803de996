// The demonstration: one scene with one full-window 2D sprite whose picture
// is recomputed as the animated fractal every frame. Owns the application
// scene's creation, the sprite reference and the fractal state; relies on the
// scene, sprite and texture code and on the fractal kernels.
#include "demo/demo.h"

#include "app/shader_location.h"
#include "demo/fractal.h"
#include "gfx/window.h"
#include "scene/scene.h"
#include "scene/sprite.h"
#include "scene/texture.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

SPRITE2D* demo_sprite = nullptr;  // owned by the scene's layer list
SHARED_QUAD* demo_quad = nullptr; // constructed at set-up, never used
FRACTAL_PATH demo_path = FRACTAL_FAST_ALL_THREADS;
bool demo_picture_on = true;
DEMO_PICTURE_STATS picture_stats;

// The next frame's picture, computed by the worker pool in the background
// while this frame is rasterised, presented and waited for: the frame
// constants follow from the state alone, so frame n + 1's picture can be
// computed as soon as frame n has taken its own. The frame then only takes
// it, if it was computed for exactly the constants the frame arrives at.
struct PICTURE_AHEAD {
    // width x height texels, allocated at set-up with malloc like the
    // sprite's picture, so that the two buffers can trade places
    uint32_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    FRACTAL_FRAME frame;  // the constants it is being computed for
    bool started = false; // a background picture is in progress or done
};
PICTURE_AHEAD ahead;

void drop_ahead() {
    fractal_render_finish();
    ahead.started = false;
}

// Waits for any background picture, then frees the buffer it was written to.
void release_ahead() {
    drop_ahead();
    std::free(ahead.pixels);
    ahead = PICTURE_AHEAD{};
}

bool same_frame(const FRACTAL_FRAME& a, const FRACTAL_FRAME& b) {
    static_assert(sizeof(FRACTAL_FRAME) == 8 * 4, "FRACTAL_FRAME has no padding");
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Fills the picture for this frame: from the background picture when it was
// computed for these constants, else on the spot. The background buffer is
// taken whole instead of copied (2.4 MB a frame): the buffers have the same
// size and allocator, and the picture's old one receives the next picture.
void fill_picture(const FRACTAL_FRAME& frame, IMAGE* image) {
    if (ahead.started) {
        const bool done = fractal_render_done();
        drop_ahead();
        if (same_frame(ahead.frame, frame) && ahead.width == image->width &&
            ahead.height == image->height) {
            uint8_t* finished = reinterpret_cast<uint8_t*>(ahead.pixels);
            ahead.pixels = reinterpret_cast<uint32_t*>(image->pixels);
            image->pixels = finished;
            ++picture_stats.from_background;
            picture_stats.waited += done ? 0 : 1;
            return;
        }
    }
    fractal_render(frame, reinterpret_cast<uint32_t*>(image->pixels), image->width, image->height,
                   demo_path);
    ++picture_stats.on_the_spot;
}

// Starts the next frame's picture in the background (fast path on all
// threads only: the other paths exist to be measured as they are).
void start_next_picture(const IMAGE* image) {
    if (demo_path != FRACTAL_FAST_ALL_THREADS || !ahead.pixels || ahead.width != image->width ||
        ahead.height != image->height) {
        return;
    }
    FRACTAL_DEMO next = fractal_demo;
    ahead.frame = fractal_frame_advance(next, true, image->width, image->height);
    ahead.started = fractal_render_start(ahead.frame, ahead.pixels, ahead.width, ahead.height);
}

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
    drop_ahead();
    demo_path = path;
}

void demo_compute_picture(bool on) {
    drop_ahead();
    demo_picture_on = on;
}

DEMO_PICTURE_STATS demo_picture_stats() {
    return picture_stats;
}

bool demo_setup() {
    fractal_demo_reset();
    app_scene = new SCENE; // also becomes current_scene
    // Made now rather than at first use, so the demonstration's start-up sends
    // GL the calls it always has (its recorded call stream is a contract).
    scene_make_target(app_scene);
    demo_quad = new SHARED_QUAD;
    demo_sprite = add_sprite_2d(&current_scene->layer2, current_scene);
    if (demo_sprite) {
        const int32_t width = app_window ? app_window->width : APP_WINDOW_WIDTH;
        const int32_t height = app_window ? app_window->height : APP_WINDOW_HEIGHT;
        create_image(drawable_image_texture(demo_sprite), width, height);
    }
    release_ahead();
    picture_stats = DEMO_PICTURE_STATS{};
    if (IMAGE* image = sprite_picture()) {
        ahead.pixels = static_cast<uint32_t*>(
            std::malloc(size_t(image->width) * size_t(image->height) * sizeof(uint32_t)));
        ahead.width = image->width;
        ahead.height = image->height;
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
        if (demo_picture_on) {
            fill_picture(frame, image);
        }
        drawable_image_texture(demo_sprite)->dirty = true;
        demo_sprite->hidden = false;
        if (demo_picture_on) {
            start_next_picture(image);
        }
    }
    render_scene();
}

APPLICATION demo_application() {
    APPLICATION app;
    // ./shaders first, else the installed files beside the executable; with
    // neither, "shaders" and each missing file is reported, as the
    // demonstration always has.
    static const std::string shaders = find_shader_directory();
    app.shader_directory = shaders.empty() ? "shaders" : shaders.c_str();
    app.setup = [](void*) { return demo_setup(); };
    app.frame = [](void*) { demo_frame(); };
    return app;
}

void demo_reset() {
    release_ahead();
    delete demo_quad;
    demo_quad = nullptr;
    demo_sprite = nullptr;
    demo_path = FRACTAL_FAST_ALL_THREADS;
    demo_picture_on = true;
    picture_stats = DEMO_PICTURE_STATS{};
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
