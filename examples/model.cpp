// A model file shown lit, playing its first animation, with the camera
// circling it: vexa-model [MODEL], by default the bending tube of docs/models.
#include "app/vexa.h"
#include "assets/model_import.h"

const char* path = "docs/models/bending_tube.gltf";
IMPORTED_MODEL model;
float yaw = 0;

bool setup(void*) {
    app_scene = new SCENE;
    add_light(app_scene, LIGHT_TYPE_DIRECTIONAL, VECTOR3{3, 5, 4});
    if (!import_model(path, &model)) {
        return false; // the importer has said why
    }
    scene_add_imported_model(&app_scene->layer1, &model);
    imported_model_play(&model, 0); // its first animation
    return true;
}

void frame(void*) {
    const VECTOR3 &low = model.bounds_min, &high = model.bounds_max;
    const VECTOR3 centre{(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
    camera_orbit(current_camera, centre, 2 * (high.y - low.y), yaw += 0.5f, 20);
    render_scene();
    draw_frame_rate(10, 10);
}

int main(int argc, char** argv) {
    path = argc > 1 ? argv[1] : path;
    APPLICATION app{.title = "Vexa model", .shader_directory = VEXA_SHADER_DIR,
                    .clear_colour = {0.2f, 0.2f, 0.2f}, .setup = setup, .frame = frame};
    return app_run(app);
}
