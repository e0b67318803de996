// The model viewer's state and behaviour (see viewer.h).
#include "viewer/viewer.h"

#include "app/input.h"
#include "gfx/window.h"
#include "assets/model_import.h"
#include "gfx/render_state.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "shader/model_programs.h"
#include "shader/program.h"
#include "viewer/panel.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

VIEWER viewer;

namespace {

// The model's bind-pose box is given in the space the root is placed in
// (the root's pivot, the file's root transform, already applied); the root's
// own position, angles and scale carry it to world space, as the draw walk
// does. The result is the box around the eight transformed corners.
void world_bounds(const IMPORTED_MODEL& model, VECTOR3* low, VECTOR3* high) {
    const MODEL_ACTOR& root = *model.root;
    MATRIX4 m;
    matrix_compose(root.position.x, root.position.y, root.position.z, root.rotation.x,
                   root.rotation.y, root.rotation.z, root.scale.x, root.scale.y, root.scale.z, m);
    const VECTOR3& a = model.bounds_min;
    const VECTOR3& b = model.bounds_max;
    for (int corner = 0; corner < 8; ++corner) {
        VECTOR4 p{corner & 1 ? b.x : a.x, corner & 2 ? b.y : a.y, corner & 4 ? b.z : a.z, 1};
        matrix_transform(p, m, p);
        if (corner == 0) {
            *low = *high = VECTOR3{p.x, p.y, p.z};
            continue;
        }
        low->x = std::min(low->x, p.x);
        low->y = std::min(low->y, p.y);
        low->z = std::min(low->z, p.z);
        high->x = std::max(high->x, p.x);
        high->y = std::max(high->y, p.y);
        high->z = std::max(high->z, p.z);
    }
}

void apply_skinning_choice() {
    imported_model_use_cpu_skinning(viewer.model,
                                    viewer.cpu_skinning || !viewer.gpu_skinning_usable);
}

// An import waits for its decoder process; ending the program must not.
bool keep_importing(void*) {
    return !quit_pending();
}

} // namespace

void viewer_play_clip(int32_t clip) {
    viewer.clip = clip;
    imported_model_play(viewer.model, clip);
    imported_model_pause(viewer.model, viewer.paused);
}

const char* file_name_of(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

bool viewer_setup(void*) {
    app_scene = new SCENE;
    app_scene->ambient[0] = app_scene->ambient[1] = app_scene->ambient[2] = 0.3f;
    app_scene->active_camera = default_camera;
    current_camera = default_camera;
    scene_add_light(app_scene, &viewer.key);
    scene_add_light(app_scene, &viewer.fill);
    create_model_programs();
    // Without the model program nothing would draw: a blank window is no
    // viewer. The shader loader has named the failing file above.
    if (!program_model || program_model->build_failed) {
        std::fprintf(stderr, "vexa-view: the model program did not build\n");
        return false;
    }
    import_options.keep_waiting = keep_importing;
    if (!program_skinned_model || program_skinned_model->build_failed) {
        viewer.gpu_skinning_usable = false;
        std::fprintf(stderr, "vexa-view: the skinned-model program did not build; skinned models "
                             "are skinned on the CPU\n");
    }
    // Without ImGui the viewer still shows models; the panel stays shut.
    viewer_panel_start();
    // A model that does not load ends start-up before the window appears;
    // the importer's line is the only one.
    const std::string path = viewer.path;
    return viewer_load(path.c_str());
}

bool viewer_load(const char* path) {
    IMPORTED_MODEL* model = new IMPORTED_MODEL;
    if (!import_model(path, model)) {
        delete model;
        return false;
    }
    viewer_release();
    viewer.model = model;
    viewer.path = path;
    scene_add_imported_model(&app_scene->layer1, model);
    VECTOR3 low, high;
    world_bounds(*model, &low, &high);
    viewer.framed = orbit_frame(low, high, default_camera->fovy, default_camera->aspect);
    viewer.orbit = viewer.framed;
    viewer.paused = false;
    viewer_play_clip(0);
    apply_skinning_choice();
    if (app_window && app_window->window) {
        SDL_SetWindowTitle(app_window->window, file_name_of(path));
    }
    std::printf("%s: %d meshes, %lld vertices, %lld triangles, %d joints, %zu animations, "
                "loaded in %.1f ms\n",
                file_name_of(path), model->mesh_count, static_cast<long long>(model->vertex_count),
                static_cast<long long>(model->triangle_count), model->joint_count,
                model->clips.size(), model->load_ms);
    std::fflush(stdout);
    return true;
}

void viewer_frame(void*) {
    viewer_panel_frame();
    if (!viewer_panel_wants_mouse()) {
        if (mouse.held[SDL_BUTTON_LEFT] && (mouse.dx || mouse.dy)) {
            orbit_drag(&viewer.orbit, mouse.dx, mouse.dy);
        }
        orbit_zoom(&viewer.orbit, int(mouse.wheel_up) - int(mouse.wheel_down));
    }
    const bool keys = !viewer_panel_wants_keyboard();
    if (viewer.model && keys) {
        if (key_pressed(SDLK_SPACE)) {
            viewer.paused = !viewer.paused;
            imported_model_pause(viewer.model, viewer.paused);
        }
        if (key_pressed(SDLK_TAB) && !viewer.model->clips.empty()) {
            viewer_play_clip((viewer.clip + 1) % int32_t(viewer.model->clips.size()));
        }
        if (key_pressed(SDLK_k)) {
            viewer.cpu_skinning = !viewer.cpu_skinning;
            apply_skinning_choice();
        }
    }
    if (keys && key_pressed(SDLK_r)) {
        viewer.orbit = viewer.framed;
    }
    orbit_apply(viewer.orbit, default_camera);
    orbit_place_lights(viewer.orbit, &viewer.key, &viewer.fill);
    render_scene();
}

void viewer_event(const SDL_Event& event, void*) {
    if (event.type == SDL_DROPFILE && event.drop.file) {
        viewer_load(event.drop.file);
    }
}

void viewer_release() {
    if (viewer.model) {
        release_imported_model(viewer.model);
        delete viewer.model;
        viewer.model = nullptr;
    }
}
