// Cameras following the window's size (see window_size.h).
#include "scene/window_size.h"

#include "gfx/window.h"
#include "scene/camera.h"
#include "scene/scene.h"

namespace {

void follow(CAMERA3D* camera, int32_t old_width, int32_t old_height) {
    if (!camera) {
        return;
    }
    CAMERA_RECT& r = camera->rectangle;
    if (r.x != 0 || r.y != 0 || r.width != old_width || r.height != old_height) {
        return;
    }
    r.width = app_window->width;
    r.height = app_window->height;
    camera_set_fov(camera, camera->fovy); // the aspect from the new rectangle
}

} // namespace

void cameras_follow_window(int32_t old_width, int32_t old_height) {
    if (!app_window) {
        return;
    }
    if (default_camera) {
        follow(default_camera, old_width, old_height);
    }
    if (app_scene) {
        for (ACTOR* a = app_scene->cameras; a; a = a->next) {
            CAMERA3D* camera = static_cast<CAMERA3D*>(a);
            if (camera != default_camera) {
                follow(camera, old_width, old_height);
            }
        }
    }
}
