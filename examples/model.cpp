// A model file shown lit, playing its first animation, with the camera
// circling it: vexa-model [MODEL], by default the bending tube the build
// put beside the program.
#include "app/vexa.h"
#include "assets/model_import.h"

std::string path = executable_directory() + "bending_tube.gltf";
IMPORTED_MODEL model;
float yaw = 0;

bool setup(void*) {
    app_scene->active_camera = default_camera; // lights are sent through the active camera
    add_light(app_scene, LIGHT_TYPE_DIRECTIONAL, VECTOR3{3, 5, 4});
    if (!import_model(path.c_str(), &model)) {
        return false; // the importer has said why
    }
    scene_add_imported_model(&app_scene->layer1, &model);
    imported_model_play(&model, 0); // its first animation
    return true;
}

void frame(void*) {
    const VECTOR3 &low = model.bounds_min, &high = model.bounds_max;
    const VECTOR3 centre{(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    camera_orbit(default_camera, centre, 1.5f * (high.y - low.y), yaw += 0.5f, 20);
    render_scene();
    draw_frame_rate(10, 10);
}

int main(int argc, char** argv) {
    path = argc > 1 ? argv[1] : path;
    return app_run({.title = "Vexa model",
                    .clear_colour = {0.2f, 0.2f, 0.2f},
                    .setup = setup,
                    .frame = frame});
}
