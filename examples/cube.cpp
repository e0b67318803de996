// The smallest complete program on the engine: a window with a lit, textured
// cube turning in front of the default camera; the picture is made in code.
// With --frames N it runs N frames and exits 0 only if the last frame it drew
// is not a single colour (read back from the window); without, until Escape.
#include "app/application.h"
#include "app/runtime.h"
#include "gfx/gl_dialect.h"
#include "gfx/window.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/uniforms.h"
#include "shader/limits.h"
#include "shader/model_programs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

MODEL_ACTOR* cube = nullptr;

// The six faces: a corner and two edges; the normal is their cross product.
const float FACES[6][3][3] = {
    {{-1, -1, 1}, {2, 0, 0}, {0, 2, 0}}, {{1, -1, -1}, {-2, 0, 0}, {0, 2, 0}},
    {{1, -1, 1}, {0, 0, -2}, {0, 2, 0}}, {{-1, -1, -1}, {0, 0, 2}, {0, 2, 0}},
    {{-1, 1, 1}, {2, 0, 0}, {0, 0, -2}}, {{-1, -1, -1}, {2, 0, 0}, {0, 0, 2}},
};

MODEL* cube_model() {
    std::vector<VERTEX> vertices;
    std::vector<uint16_t> indices;
    for (const auto& [c, u, w] : FACES) {
        const float n[3] = {(u[1] * w[2] - u[2] * w[1]) / 4, (u[2] * w[0] - u[0] * w[2]) / 4,
                            (u[0] * w[1] - u[1] * w[0]) / 4};
        for (uint16_t i : {0, 1, 2, 0, 2, 3}) {
            indices.push_back(uint16_t(vertices.size() + i));
        }
        for (int k = 0; k < 4; ++k) {
            const float s = (k == 1 || k == 2) ? 1.0f : 0.0f, t = k >= 2 ? 1.0f : 0.0f;
            VERTEX v = {};
            for (int i = 0; i < 3; ++i) {
                v.position[i] = c[i] + s * u[i] + t * w[i];
                v.normal[i] = n[i];
            }
            v.position[3] = 1;
            v.texcoord0[0] = s;
            v.texcoord0[1] = t;
            vertices.push_back(v);
        }
    }
    MODEL* model = build_model(vertices.data(), int32_t(vertices.size()));
    MESH* mesh = model ? build_mesh(model, indices.data(), int32_t(indices.size())) : nullptr;
    if (!mesh) {
        return nullptr;
    }
    // The picture: a 64 x 64 orange and cream checkerboard.
    TEXTURE* texture = new TEXTURE;
    create_image(texture, 64, 64);
    for (int p = 0; p < 64 * 64; ++p) {
        const bool dark = ((p % 64) / 8 + p / 64 / 8) % 2;
        const uint8_t rgba[4] = {uint8_t(dark ? 230 : 250), uint8_t(dark ? 110 : 240),
                                 uint8_t(dark ? 20 : 210), 255};
        std::memcpy(texture->image->pixels + p * 4, rgba, 4);
    }
    texture->dirty = true;
    material_add_texture(mesh->material, texture);
    return model;
}

bool setup(void*) {
    MODEL* model = create_model_programs() ? cube_model() : nullptr;
    if (!model) {
        return false;
    }
    app_scene = new SCENE; // also becomes the current scene
    app_scene->ambient[0] = app_scene->ambient[1] = app_scene->ambient[2] = 0.25f;
    scene_add_camera(app_scene, default_camera); // a scene is lit through its active camera
    app_scene->active_camera = default_camera;
    cube = new MODEL_ACTOR;
    cube->model = model;
    cube->position = VECTOR3{0, 0, -6};
    layer_add_model_actor(&app_scene->layer1, cube);
    LIGHT* light = new LIGHT;
    light->type = LIGHT_TYPE_DIRECTIONAL;
    matrix_translate(light->local, 3, 4, 2); // shines from here towards its target, the origin
    scene_add_light(app_scene, light);
    return true;
}

void frame(void*) {
    cube->rotation.x += 0.7f;
    cube->rotation.y += 1.1f;
    render_scene();
}

long frames_wanted = 0, frames_drawn = 0;
bool last_frame_has_detail = false;

// Before the last frame is presented: does the back buffer hold two colours?
void check_last_frame() {
    if (++frames_drawn != frames_wanted) {
        return;
    }
    std::vector<uint32_t> pixels(size_t(app_window->width) * size_t(app_window->height));
    gl_read_from_back_buffer();
    glReadPixels(0, 0, app_window->width, app_window->height, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels.data());
    for (uint32_t p : pixels) {
        last_frame_has_detail = last_frame_has_detail || p != pixels[0];
    }
}

} // namespace

int main(int argc, char** argv) {
    APPLICATION app;
    app.title = "Vexa cube";
    app.clear_colour[0] = app.clear_colour[1] = app.clear_colour[2] = 0.2f;
    app.setup = setup;
    app.frame = frame;
    if (argc != 3 || std::strcmp(argv[1], "--frames") != 0) {
        return app_run(app);
    }
    frames_wanted = std::strtol(argv[2], nullptr, 10);
    if (frames_wanted < 1 || !app_startup(app)) {
        return 1;
    }
    before_present_hook = check_last_frame;
    run_loop(frames_wanted);
    if (!last_frame_has_detail) {
        std::fprintf(stderr, "vexa-cube: the last frame is a single colour\n");
    }
    return last_frame_has_detail ? 0 : 1;
}
