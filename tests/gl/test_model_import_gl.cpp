// Imported models on real OpenGL: an OBJ quad whose picture (a BMP beside
// it) is red in its top half and green in its bottom half shows those colours
// the right way up in the window, lit by the scene's ambient light alone.
#include "assets/model_import.h"

#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "shader/model_programs.h"
#include "shader/program.h"
#include "scene/uniforms.h"
#include "tests/support/engine_objects_reset.h"
#include "tests/support/gl_fixture.h"

#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

class IMPORTED_MODEL_GL : public GL_TEST {
  protected:
    void SetUp() override {
        GL_TEST::SetUp();
        import_options.decoder = VEXA_TEST_DECODER; // the build's, however the test is run
        if (IsSkipped()) {
            return;
        }
        reset_engine_objects();
        model_stack_create_global();
        gl_setup(false);
        render_state_defaults();
        create_program_set();
        ASSERT_TRUE(create_model_programs());
        ASSERT_TRUE(scene_objects_setup());
        app_scene = new SCENE;
        dir =
            std::filesystem::temp_directory_path() / ("vexa_import_gl_" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        delete app_scene;
        app_scene = nullptr;
        delete program_model;
        delete program_skinned_model;
        program_model = nullptr;
        program_skinned_model = nullptr;
        scene_reset();
        current_camera = default_camera;
        std::error_code error;
        std::filesystem::remove_all(dir, error);
    }
    std::filesystem::path dir;
};

// Window pixel of world point p under the current camera.
RGBA at_world(float x, float y, float z) {
    MATRIX4 pv;
    matrix_multiply(pv, *current_camera->projection_stack->top, *current_camera->view_stack->top);
    VECTOR4 c;
    matrix_transform(c, pv, VECTOR4{x, y, z, 1});
    int px = int(std::lround((c.x / c.w * 0.5f + 0.5f) * 1024.0f));
    int py = int(std::lround((1.0f - (c.y / c.w * 0.5f + 0.5f)) * 600.0f));
    return gl_pixel(px, py);
}

} // namespace

TEST_F(IMPORTED_MODEL_GL, textured_model_shows_its_picture_the_right_way_up) {
    // 8 x 8 picture: top four rows red, bottom four green.
    SDL_Surface* picture = SDL_CreateRGBSurfaceWithFormat(0, 8, 8, 32, SDL_PIXELFORMAT_RGBA32);
    ASSERT_NE(picture, nullptr);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            uint8_t* p = static_cast<uint8_t*>(picture->pixels) + y * picture->pitch + x * 4;
            p[0] = y < 4 ? 255 : 0;
            p[1] = y < 4 ? 0 : 255;
            p[2] = 0;
            p[3] = 255;
        }
    }
    ASSERT_EQ(SDL_SaveBMP(picture, (dir / "halves.bmp").c_str()), 0);
    SDL_FreeSurface(picture);
    std::ofstream(dir / "quad.mtl") << "newmtl halves\nKd 1 1 1\nmap_Kd halves.bmp\n";
    // A 2 x 2 quad facing +z; OBJ's v runs upwards from the picture's bottom.
    std::ofstream(dir / "quad.obj") << "mtllib quad.mtl\n"
                                       "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
                                       "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                       "usemtl halves\nf 1/1 2/2 3/3 4/4\n";

    IMPORTED_MODEL model;
    testing::internal::CaptureStderr();
    bool ok = import_model((dir / "quad.obj").c_str(), &model);
    std::string err = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(ok) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(model.bounds_min.x, -1.0f);
    EXPECT_EQ(model.bounds_max.y, 1.0f);

    SCENE* scene = app_scene;
    // A scene is lit once it has a camera and a light: a light of type none
    // leaves the picture to the full ambient light.
    scene->ambient[0] = scene->ambient[1] = scene->ambient[2] = 1.0f;
    LIGHT no_light;
    scene_add_light(scene, &no_light);
    scene_add_camera(scene, default_camera);
    scene->active_camera = default_camera;
    camera_update(default_camera);
    // Four units in front of the eye.
    MATRIX4 eye_to_world;
    ASSERT_TRUE(matrix_invert(*default_camera->view_stack->top, eye_to_world));
    VECTOR4 centre;
    matrix_transform(centre, eye_to_world, VECTOR4{0, 0, -4, 1});
    model.root->position = VECTOR3{centre.x, centre.y, centre.z};
    scene_add_imported_model(&scene->layer1, &model);
    EXPECT_EQ(scene->layer1.model_actors, model.root);

    current_program = nullptr;
    update_scene();
    clear_frame(0, 0, 0);
    render_scene();
    glFinish();

    const VECTOR3& c = model.root->position;
    RGBA top = at_world(c.x, c.y + 0.5f, c.z);
    RGBA bottom = at_world(c.x, c.y - 0.5f, c.z);
    RGBA outside = at_world(c.x + 1.5f, c.y, c.z);
    EXPECT_GT(top.r, 230);
    EXPECT_LT(top.g, 25);
    EXPECT_GT(bottom.g, 230);
    EXPECT_LT(bottom.r, 25);
    EXPECT_LT(outside.r + outside.g + outside.b, 20);

    release_imported_model(&model);
    EXPECT_EQ(scene->layer1.model_actors, nullptr);
    EXPECT_EQ(scene->layer1.model_actor_count, 0);
    EXPECT_EQ(live_texture_objects, 0);
    scene->lights = nullptr;
    scene->light_count = 0;
    scene->cameras = nullptr;
    scene->camera_count = 0;
    default_camera->next = nullptr;
}
