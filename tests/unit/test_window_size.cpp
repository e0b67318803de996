// A window whose drawable size changed (resizable or high-DPI): the cameras
// that covered the whole window take the new size and its aspect, a camera
// the program gave a smaller rectangle keeps it.
#include "gfx/window.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/window_size.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

TEST(window_size, cameras_covering_the_window_follow_it_and_smaller_ones_keep_theirs) {
    fake_gl::reset();
    scene_objects_reset();
    model_stack_create_global();
    APP_WINDOW* saved_window = app_window;
    CAMERA3D* saved_default = default_camera;
    SCENE* saved_scene = app_scene;
    APP_WINDOW window{};
    window.width = 1024;
    window.height = 600;
    app_window = &window;
    app_scene = nullptr;
    {
        CAMERA3D full, corner;
        corner.rectangle = CAMERA_RECT{0, 0, 256, 150};
        window.width = 1600;
        window.height = 500;
        for (CAMERA3D* camera : {&full, &corner}) {
            default_camera = camera;
            cameras_follow_window(1024, 600);
        }
        EXPECT_EQ(full.rectangle.width, 1600);
        EXPECT_EQ(full.rectangle.height, 500);
        EXPECT_DOUBLE_EQ(full.aspect, 3.2);
        // The projection is rebuilt: x is squeezed by the aspect against y.
        const MATRIX4& p = *full.projection_stack->top;
        EXPECT_NEAR(p.m[0] * 3.2f, p.m[5], 1e-5f);
        EXPECT_EQ(corner.rectangle.width, 256);
        EXPECT_EQ(corner.rectangle.height, 150);
        default_camera = nullptr;
    }
    app_window = saved_window;
    default_camera = saved_default;
    app_scene = saved_scene;
}
