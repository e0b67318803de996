// The smallest complete program on the engine: a window with a lit, textured
// cube turning in front of the default camera. The picture is made in code.
// With --frames N it runs N frames, then checks the last one it drew is not a
// single colour and exits 0 (1 when it is); without, it runs until Escape.
#include "app/application.h"
#include "app/runtime.h"
#include "gfx/gl.h"
#include "gfx/window.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/model.h"
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
LIGHT* light = nullptr;

// One face: a corner, two edge directions and the outward normal.
void add_face(std::vector<VERTEX>& v, std::vector<uint16_t>& idx, const float c[3],
              const float u[3], const float w[3], const float n[3]) {
    const uint16_t base = uint16_t(v.size());
    for (int k = 0; k < 4; ++k) {
        const float s = (k == 1 || k == 2) ? 1.0f : 0.0f, t = k >= 2 ? 1.0f : 0.0f;
        VERTEX x = {};
        for (int i = 0; i < 3; ++i) {
            x.position[i] = c[i] + s * u[i] + t * w[i];
            x.normal[i] = n[i];
        }
        x.position[3] = 1;
        x.texcoord0[0] = s;
        x.texcoord0[1] = t;
        v.push_back(x);
    }
    for (uint16_t i : {0, 1, 2, 0, 2, 3}) {
        idx.push_back(uint16_t(base + i));
    }
}

// A 64 x 64 orange and cream checkerboard.
TEXTURE* checkerboard() {
    TEXTURE* texture = new TEXTURE;
    create_image(texture, 64, 64);
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 64; ++x) {
            const bool dark = ((x / 8) + (y / 8)) % 2;
            const uint8_t rgba[4] = {uint8_t(dark ? 230 : 250), uint8_t(dark ? 110 : 240),
                                     uint8_t(dark ? 20 : 210), 255};
            std::memcpy(texture->image->pixels + y * texture->image->stride + x * 4, rgba, 4);
        }
    }
    texture->dirty = true;
    return texture;
}

bool setup(void*) {
    if (!create_model_programs()) {
        return false;
    }
    std::vector<VERTEX> v;
    std::vector<uint16_t> idx;
    const float faces[6][4][3] = {
        {{-1, -1, 1}, {2, 0, 0}, {0, 2, 0}, {0, 0, 1}},
        {{1, -1, -1}, {-2, 0, 0}, {0, 2, 0}, {0, 0, -1}},
        {{1, -1, 1}, {0, 0, -2}, {0, 2, 0}, {1, 0, 0}},
        {{-1, -1, -1}, {0, 0, 2}, {0, 2, 0}, {-1, 0, 0}},
        {{-1, 1, 1}, {2, 0, 0}, {0, 0, -2}, {0, 1, 0}},
        {{-1, -1, -1}, {2, 0, 0}, {0, 0, 2}, {0, -1, 0}},
    };
    for (const auto& f : faces) {
        add_face(v, idx, f[0], f[1], f[2], f[3]);
    }
    MODEL* model = build_model(v.data(), int32_t(v.size()));
    MESH* mesh = model ? build_mesh(model, idx.data(), int32_t(idx.size())) : nullptr;
    if (!mesh) {
        return false;
    }
    material_add_texture(mesh->material, checkerboard());

    app_scene = new SCENE; // also becomes the current scene
    app_scene->ambient[0] = app_scene->ambient[1] = app_scene->ambient[2] = 0.25f;
    scene_add_camera(app_scene, default_camera); // a scene is lit through its active camera
    app_scene->active_camera = default_camera;
    cube = new MODEL_ACTOR;
    cube->model = model;
    cube->position = VECTOR3{0, 0, -6};
    layer_add_model_actor(&app_scene->layer1, cube);
    light = new LIGHT;
    light->type = LIGHT_TYPE_DIRECTIONAL;
    matrix_translate(light->local, 3, 4, 2); // shines from there towards the target, the origin
    scene_add_light(app_scene, light);
    return true;
}

void frame(void*) {
    cube->rotation.x += 0.7f;
    cube->rotation.y += 1.1f;
    render_scene();
}

// True when the back buffer holds more than one colour.
bool frame_has_detail() {
    const int w = app_window->width, h = app_window->height;
    std::vector<uint32_t> pixels(size_t(w) * size_t(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    for (uint32_t p : pixels) {
        if (p != pixels[0]) {
            return true;
        }
    }
    return false;
}

long frames_wanted = 0, frames_drawn = 0;
bool last_frame_ok = false;

} // namespace

int main(int argc, char** argv) {
    APPLICATION app;
    app.title = "Vexa cube";
    app.shader_directory = VEXA_SHADER_DIR;
    app.setup = setup;
    app.frame = frame;
    if (argc == 3 && std::strcmp(argv[1], "--frames") == 0) {
        frames_wanted = std::strtol(argv[2], nullptr, 10);
        if (frames_wanted < 1 || !app_startup(app)) {
            return 1;
        }
        before_present_hook = [] {
            if (++frames_drawn == frames_wanted) {
                last_frame_ok = frame_has_detail();
            }
        };
        run_loop(frames_wanted);
        if (!last_frame_ok) {
            std::fprintf(stderr, "cube: the last frame is a single colour\n");
        }
        return last_frame_ok ? 0 : 1;
    }
    return app_run(app);
}
