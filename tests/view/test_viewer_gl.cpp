// vexa-view in one process on real GL (Mesa llvmpipe under Xvfb), driven by
// events pushed into SDL's queue: Space, K and the wheel act on the model and
// the view, R resets the view; a dropped model file replaces the one on show
// and a dropped file that does not load leaves it in place.
#include "app/runtime.h"
#include "assets/model_import.h"
#include "gfx/window.h"
#include "scene/actor.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "tests/support/require_gl.h"
#include "viewer/viewer.h"

#include <gtest/gtest.h>

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

void push_drop(const std::string& path) {
    SDL_Event event{};
    event.type = SDL_DROPFILE;
    event.drop.file = SDL_strdup(path.c_str()); // the event pump frees it
    SDL_PushEvent(&event);
}

} // namespace

TEST(VIEWER_GL, keys_act_on_the_model_and_view_and_drops_replace_the_model_unless_they_fail) {
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
    viewer_release();
}
