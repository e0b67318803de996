// Render textures and the scene target's TEXTURE (see render_texture.h).
// Owns open_render_texture; framebuffer binds go through the cache of
// gfx/render_target.h, viewport, clear colour and depth writes through the
// render-state cache.
#include "scene/render_texture.h"

#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/report.h"
#include "scene/camera.h"
#include "scene/scene.h"
#include "scene/shapes.h"
#include "scene/texture.h"

#include <cstdio>

RENDER_TEXTURE* open_render_texture = nullptr;

namespace {

// A TEXTURE record for a render target's colour slot: the picture's size
// without pixels (nothing is uploaded from main memory), rows bottom-up,
// borrowed so no material or sprite showing it releases it.
TEXTURE* target_texture_record(uint32_t slot, int width, int height) {
    TEXTURE* texture = new TEXTURE;
    IMAGE& image = *texture->image;
    image.width = image.texture_width = width;
    image.height = image.texture_height = height;
    image.stride = 4 * width;
    image.bits_per_pixel = 32;
    texture->slot = int32_t(slot);
    texture->borrowed = 1;
    texture->bottom_up = true;
    return texture;
}

// The viewport of the window: the current camera's rectangle, or the
// window's size when there is no camera.
void restore_window_viewport() {
    if (camera_valid(current_camera) && current_camera->viewport) {
        const CAMERA_RECT& r = *current_camera->viewport;
        set_viewport(r.x, r.y, r.width, r.height);
    }
}

} // namespace

RENDER_TEXTURE* create_render_texture(int width, int height) {
    if (width <= 0 || height <= 0) {
        std::fprintf(stderr, "vexa: a render texture needs a positive size, not %d x %d\n", width,
                     height);
        return nullptr;
    }
    RENDER_TARGET target = sampled_render_target_create(width, height);
    // 0: the driver cannot say; drawing will show whether it works.
    if (target.status != 0 && target.status != GL_FRAMEBUFFER_COMPLETE_EXT) {
        std::fprintf(stderr, "vexa: GL cannot draw into a %d x %d render texture (status 0x%x)\n",
                     width, height, unsigned(target.status));
        render_target_destroy(target);
        return nullptr;
    }
    RENDER_TEXTURE* result =
        new RENDER_TEXTURE{target,
                           target_texture_record(target.colour_texture, width, height),
                           width,
                           height,
                           {0.0f, 0.0f, 0.0f, 1.0f}};
    return result;
}

bool begin_render_texture(RENDER_TEXTURE* target) {
    // A begin left without its end repeats every frame: said once per cause.
    if (!target) {
        static ONCE_FLAG no_target;
        report_once(no_target, "vexa: there is no render texture to draw into\n");
        return false;
    }
    if (open_render_texture) {
        static ONCE_FLAG still_open;
        report_once(still_open, "vexa: a render texture is already open; end it first\n");
        return false;
    }
    flush_shapes(); // shapes asked for before go where they were asked
    open_render_texture = target;
    texture_unbind_everywhere(target->target.colour_texture); // last frame showed it
    framebuffer_bind(target->target.framebuffer);
    set_viewport(0, 0, target->width, target->height);
    set_clear_colour(target->clear_colour[0], target->clear_colour[1], target->clear_colour[2],
                     target->clear_colour[3]);
    // glClear honours the depth mask.
    depth_writes_on();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    gl_check();
    ++frame_stats.clears;
    set_2d_pass_size(target->width, target->height);
    return true;
}

void end_render_texture() {
    if (!open_render_texture) {
        return;
    }
    flush_shapes(); // shapes asked for inside go into the texture
    open_render_texture = nullptr;
    framebuffer_unbind();
    set_2d_pass_size(0, 0);
    restore_window_viewport();
}

void destroy_render_texture(RENDER_TEXTURE* target) {
    if (!target) {
        return;
    }
    if (open_render_texture == target) {
        end_render_texture();
    }
    render_target_destroy(target->target);
    if (target->texture) {
        target->texture->slot = -1; // released with the target
        delete target->texture;
    }
    delete target;
}

TEXTURE* scene_target_texture(SCENE* scene) {
    if (!scene) {
        return nullptr;
    }
    if (!scene->target_texture) {
        scene_make_target(scene);
        render_target_texture_make_sampled(scene->target.colour_texture);
        scene->target_texture = target_texture_record(scene->target.colour_texture,
                                                      SCENE_TARGET_SIZE, SCENE_TARGET_SIZE);
    }
    return scene->target_texture;
}
