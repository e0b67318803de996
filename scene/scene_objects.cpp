// Start-up and reset of the pre-scene objects (see scene_objects.h). Creates
// default_camera and shared_quad; relies on the handle tables and the GL
// context being ready when setup runs.
#include "scene/model.h"
#include "scene/scene_objects.h"

#include "scene/camera.h"
#include "gfx/frame_clock.h"
#include "gfx/report.h"
#include "scene/lighting.h"
#include "scene/render_texture.h"
#include "scene/font.h"
#include "scene/shapes.h"
#include "scene/text.h"
#include "scene/sprite.h"

#include <cstdio>

bool scene_objects_setup() {
    if (!default_camera) {
        default_camera = new CAMERA3D;
    }
    current_camera = default_camera;
    if (!shared_quad) {
        shared_quad = new SHARED_QUAD;
    }
    if (!camera_valid(default_camera)) {
        std::fprintf(stderr, "vexa: the default camera could not be created\n");
        return false;
    }
    return true;
}

void scene_objects_reset() {
    delete default_camera; // clears default_camera and current_camera
    default_camera = nullptr;
    current_camera = nullptr;
    if (shared_quad) {
        // The tables are about to be reset by the caller: forget, don't release.
        shared_quad->vertices.slot = -1;
        shared_quad->indices.slot = -1;
        shared_quad->texture_slot = -1;
        delete shared_quad;
        shared_quad = nullptr;
    }
    lighting_scene = nullptr;
    ambient_scene = nullptr;
    open_render_texture = nullptr;
    set_2d_pass_size(0, 0);
    text_reset();
    sprite_batch_reset();
    shapes_reset();
    fonts_reset();
    frame_clock_reset();
    reports_reset();
    joint_attribute_arrays_reset();
    actors_reset();
    textures_reset();
}
