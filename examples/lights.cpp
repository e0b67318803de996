// Turning cubes on a floor under a red and a blue light, and a panel in the
// corner showing the same scene from above, drawn into a render texture.
#include "app/vexa.h"

std::vector<MODEL_ACTOR*> cubes;
CAMERA3D* above;
RENDER_TEXTURE* view_from_above;
SPRITE2D* panel;

bool setup(void*) {
    add_model_actor(&app_scene->layer1, build_plane(20, 20))->position.y = -0.5f;
    MODEL* cube = build_cube(1, 1, 1);
    for (int i = 0; i < 25; ++i) {
        cubes.push_back(add_model_actor(&app_scene->layer1, cube));
        cubes.back()->position = VECTOR3{float(i % 5 * 2 - 4), 0, float(i / 5 * 2 - 4)};
    }
    LIGHT* red = add_light(app_scene, LIGHT_TYPE_POINT, VECTOR3{-4, 3, 0});
    LIGHT* blue = add_light(app_scene, LIGHT_TYPE_POINT, VECTOR3{4, 3, 0});
    red->colour[1] = red->colour[2] = blue->colour[0] = blue->colour[1] = 0.2f;
    camera_look_at(default_camera, VECTOR3{0, 7, 12}, VECTOR3{0, 0, 0});
    above = new CAMERA3D;
    camera_set_perspective(above, 60, 1, 0.1, 100);
    camera_look_at(above, VECTOR3{0, 12, 0.01f}, VECTOR3{0, 0, 0});
    view_from_above = create_render_texture(256, 256);
    panel = add_sprite_2d(&app_scene->layer2, app_scene, view_from_above->texture);
    panel->position = VECTOR3{758, 10, 0};
    return true;
}

void frame(void*) {
    for (MODEL_ACTOR* cube : cubes) {
        cube->rotation.y += 1;
    }
    panel->hidden = true; // the panel does not show itself
    app_scene->active_camera = above;
    begin_render_texture(view_from_above);
    render_scene();
    end_render_texture();
    panel->hidden = false;
    app_scene->active_camera = default_camera;
    render_scene();
    draw_frame_rate(10, 10);
}

int main() {
    return app_run({.title = "Vexa lights",
                    .clear_colour = {0.2f, 0.2f, 0.2f},
                    .setup = setup,
                    .frame = frame});
}
