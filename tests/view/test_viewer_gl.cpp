// vexa-view in one process on real GL (Mesa llvmpipe under Xvfb), driven by
// events pushed into SDL's queue: Space, K and the wheel act on the model and
// the view, R resets the view; a dropped model file replaces the one on show
// and a dropped file that does not load leaves it in place; F1 opens and
// closes the panel drawn over the model.
#include "app/runtime.h"
#include "assets/model_import.h"
#include "gfx/window.h"
#include "scene/actor.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "tests/support/require_gl.h"
#include "viewer/orbit.h"
#include "viewer/viewer.h"
#ifdef VEXA_TESTS_HAVE_IMGUI
#include "imgui/vexa_imgui.h"
#endif

#include <GL/glew.h>

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

const std::string MODELS = "/usr/share/assimp/models/glTF2/";
const std::string SKINNED = MODELS + "simple_skin/simple_skin.gltf";
const std::string TEXTURED = MODELS + "BoxTextured-glTF/BoxTextured.gltf";

void push_key(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

// The window's pixel at (30, 300) counted from the top, read just before
// the frame is presented: inside the panel when it is open.
uint8_t presented[4];
void read_presented_pixel() {
    glReadPixels(30, 600 - 1 - 300, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, presented);
}

void push_drop(const std::string& path) {
    SDL_Event event{};
    event.type = SDL_DROPFILE;
    event.drop.file = SDL_strdup(path.c_str()); // the event pump frees it
    SDL_PushEvent(&event);
}

} // namespace

// Wide and flat, deep and thin, a cube: through the camera the viewer
// places, every corner of the box lies in front of the eye and inside the
// view, with a margin, whatever the box's shape.
TEST(VIEWER_FRAMING, every_corner_of_the_box_is_inside_the_view_with_a_margin) {
    const VECTOR3 boxes[][2] = {{{-50, -0.1f, -50}, {50, 0.1f, 50}},
                                {{-0.2f, -0.2f, -40}, {0.2f, 0.2f, 40}},
                                {{3, 4, 5}, {4, 5, 6}},
                                {{-100, -1, -3}, {100, 1, 3}}};
    for (const auto& box : boxes) {
        CAMERA3D camera;
        camera_set_perspective(&camera, 45.0, 1024.0 / 600.0, 0.1, 100.0);
        ORBIT orbit = orbit_frame(box[0], box[1], camera.fovy, camera.aspect);
        orbit_apply(orbit, &camera);
        MATRIX4 clip;
        matrix_multiply(clip, *camera.projection_stack->top, *camera.view_stack->top);
        for (int corner = 0; corner < 8; ++corner) {
            VECTOR4 p{corner & 1 ? box[1].x : box[0].x, corner & 2 ? box[1].y : box[0].y,
                      corner & 4 ? box[1].z : box[0].z, 1};
            VECTOR4 q;
            matrix_transform(q, clip, p);
            ASSERT_GT(q.w, 0.0f) << "corner " << corner << " is behind the eye";
            EXPECT_LE(std::fabs(q.x / q.w), 0.95f) << "box " << box[1].x << " corner " << corner;
            EXPECT_LE(std::fabs(q.y / q.w), 0.95f) << "box " << box[1].x << " corner " << corner;
            EXPECT_LE(std::fabs(q.z / q.w), 1.0f) << "corner " << corner << " is clipped in depth";
        }
    }
}

TEST(VIEWER_GL, keys_act_on_the_model_and_view_and_drops_replace_the_model_unless_they_fail) {
    import_options.decoder = VEXA_TEST_DECODER; // the build's, however the test is run
    viewer.path = SKINNED;
    APPLICATION app;
    app.title = "simple_skin.gltf";
    app.setup = viewer_setup;
    app.frame = viewer_frame;
    app.event = viewer_event;
    if (!app_startup(app)) {
        GL_SKIP_OR_FAIL("the viewer could not start (no display?)");
    }
    ASSERT_NE(viewer.model, nullptr);
    ASSERT_EQ(viewer.model->skinned_actors.size(), 1u);
    MODEL_ACTOR* skinned = viewer.model->skinned_actors[0];
    ASSERT_NE(skinned->animation, nullptr);

    push_key(SDLK_SPACE);
    push_key(SDLK_k);
    SDL_Event wheel{};
    wheel.type = SDL_MOUSEWHEEL;
    wheel.wheel.y = 1;
    SDL_PushEvent(&wheel);
    run_loop(2);
    EXPECT_EQ(skinned->animation->rate, 0.0f);
    EXPECT_TRUE(skinned->skin_on_cpu);
    EXPECT_LT(viewer.orbit.distance, viewer.framed.distance);
    push_key(SDLK_r);
    push_key(SDLK_k);
    run_loop(2);
    EXPECT_EQ(viewer.orbit.distance, viewer.framed.distance);
    EXPECT_FALSE(skinned->skin_on_cpu);

    push_drop(TEXTURED);
    run_loop(2);
    EXPECT_EQ(viewer.path, TEXTURED);
    EXPECT_STREQ(SDL_GetWindowTitle(app_window->window), "BoxTextured.gltf");
    EXPECT_TRUE(viewer.model->skinned_actors.empty());
    EXPECT_EQ(app_scene->layer1.model_actor_count, 1);
    EXPECT_EQ(app_scene->layer1.model_actors, viewer.model->root);

    IMPORTED_MODEL* shown = viewer.model;
    testing::internal::CaptureStderr();
    push_drop("/nonexistent/dropped.gltf");
    run_loop(2);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(viewer.model, shown);
    EXPECT_EQ(viewer.path, TEXTURED);
    EXPECT_STREQ(SDL_GetWindowTitle(app_window->window), "BoxTextured.gltf");
    EXPECT_EQ(app_scene->layer1.model_actors, shown->root);
    EXPECT_NE(errors.find("dropped.gltf"), std::string::npos) << errors;
    EXPECT_EQ(errors.find('\n'), errors.size() - 1) << errors; // one line

    // A node that instances itself overflows Assimp's stack: the decoder
    // process dies, the viewer says so in one line and keeps its model.
    char hostile[] = "/tmp/vexa_hostile_XXXXXX.dae";
    const int fd = mkstemps(hostile, 4);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(hostile)
        << "<?xml version=\"1.0\"?><COLLADA xmlns=\"http://www.collada.org/2005/11/"
           "COLLADASchema\" version=\"1.4.1\"><library_nodes><node id=\"a\"><instance_node "
           "url=\"#a\"/></node></library_nodes><library_visual_scenes><visual_scene id=\"s\">"
           "<node id=\"r\"><instance_node url=\"#a\"/></node></visual_scene>"
           "</library_visual_scenes><scene><instance_visual_scene url=\"#s\"/></scene>"
           "</COLLADA>\n";
    testing::internal::CaptureStderr();
    push_drop(hostile);
    run_loop(2);
    const std::string crash = testing::internal::GetCapturedStderr();
    std::remove(hostile);
    EXPECT_EQ(viewer.model, shown);
    EXPECT_EQ(app_scene->layer1.model_actors, shown->root);
    EXPECT_NE(crash.find("the decoder crashed"), std::string::npos) << crash;
    EXPECT_EQ(crash.find('\n'), crash.size() - 1) << crash;

#ifdef VEXA_TESTS_HAVE_IMGUI
    // F1: the panel over the model's left, where the window shows the clear
    // colour without it; F1 again: the clear colour is back.
    const int clear_red = int(app.clear_colour[0] * 255.0f + 0.5f);
    const int clear_blue = int(app.clear_colour[2] * 255.0f + 0.5f);
    before_present_hook = read_presented_pixel;
    run_loop(1);
    EXPECT_NEAR(presented[0], clear_red, 2);
    EXPECT_NEAR(presented[2], clear_blue, 2);
    push_key(SDLK_F1);
    run_loop(2);
    EXPECT_TRUE(viewer.panel_open);
    EXPECT_TRUE(imgui_drew_last_frame());
    EXPECT_GT(std::abs(presented[0] - clear_red) + std::abs(presented[2] - clear_blue), 12)
        << "the panel did not draw over the model: " << int(presented[0]) << ", "
        << int(presented[1]) << ", " << int(presented[2]);
    push_key(SDLK_F1);
    run_loop(2);
    EXPECT_FALSE(viewer.panel_open);
    EXPECT_FALSE(imgui_drew_last_frame());
    EXPECT_NEAR(presented[0], clear_red, 2);
    EXPECT_NEAR(presented[2], clear_blue, 2);
    before_present_hook = nullptr;
#endif
    viewer_release();
}
