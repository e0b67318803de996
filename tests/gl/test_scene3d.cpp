// The 3D path on real OpenGL: one scene with a hierarchical model actor (an
// opaque and a transparent mesh), a point and a spot light on two plain
// quads, a bar skinned on the GPU and the same bar skinned on the CPU posed
// by the same animation frame, and a 3D sprite in each billboard mode. Every
// object is placed in the camera's eye space and checked at the pixel its
// matrices project it to; the two skinning paths must give the same picture.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/draw_list.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/skin.h"
#include "scene/sprite.h"
#include "shader/model_programs.h"
#include "shader/program.h"
#include "scene/uniforms.h"
#include "tests/support/engine_objects_reset.h"
#include "tests/support/gl_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

struct PIXEL {
    int x, y; // window column, row from the top
};

class SCENE3D : public GL_TEST {
  protected:
    void SetUp() override {
        GL_TEST::SetUp();
        if (IsSkipped()) {
            return;
        }
        reset_engine_objects();
        model_stack_create_global();
        gl_setup(false);
        render_state_defaults();
        testing::internal::CaptureStderr();
        create_program_set();
        bool models_ok = create_model_programs();
        std::string errors = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(models_ok) << errors;
        ASSERT_TRUE(scene_objects_setup());
        app_scene = new SCENE;
    }
    void TearDown() override {
        delete app_scene;
        delete program_model;
        delete program_skinned_model;
        program_model = nullptr;
        program_skinned_model = nullptr;
        scene_reset();
        current_camera = default_camera;
    }

    // One frame as the main loop runs it, on a black window.
    void frame() {
        current_program = nullptr;
        update_scene();
        clear_frame(0, 0, 0);
        render_scene();
        glFinish();
    }
};

// World point that the current camera sees at eye-space (x, y, z).
VECTOR3 world_from_eye(float x, float y, float z) {
    MATRIX4 inverse;
    EXPECT_TRUE(matrix_invert(*current_camera->view_stack->top, inverse));
    VECTOR4 w;
    matrix_transform(w, inverse, VECTOR4{x, y, z, 1});
    return VECTOR3{w.x, w.y, w.z};
}

// Window pixel of a point given in an object's space with world matrix w.
PIXEL project(const MATRIX4& w, VECTOR4 p) {
    MATRIX4 pvw;
    matrix_multiply(pvw, *current_camera->projection_stack->top, *current_camera->view_stack->top);
    matrix_multiply(pvw, pvw, w);
    VECTOR4 c;
    matrix_transform(c, pvw, p);
    float nx = c.x / c.w;
    float ny = c.y / c.w;
    return PIXEL{int(std::lround((nx * 0.5f + 0.5f) * 1024.0f)),
                 int(std::lround((1.0f - (ny * 0.5f + 0.5f)) * 600.0f))};
}

PIXEL project_world(const VECTOR3& p) {
    MATRIX4 identity;
    matrix_identity(identity);
    return project(identity, VECTOR4{p.x, p.y, p.z, 1});
}

RGBA at(PIXEL p) {
    return gl_pixel(p.x, p.y);
}

std::string describe(RGBA c) {
    char text[48];
    std::snprintf(text, sizeof text, "(%d, %d, %d)", c.r, c.g, c.b);
    return text;
}

// A size x size quad in the xy plane facing +z, one mesh.
std::unique_ptr<MODEL> quad_model(float size, int meshes = 1) {
    float h = size / 2;
    VERTEX v[4] = {};
    const float corners[4][2] = {{-h, -h}, {h, -h}, {h, h}, {-h, h}};
    for (int i = 0; i < 4; ++i) {
        v[i].position[0] = corners[i][0];
        v[i].position[1] = corners[i][1];
        v[i].position[3] = 1;
        v[i].normal[2] = 1;
    }
    const uint16_t indices[6] = {0, 1, 2, 0, 2, 3};
    std::unique_ptr<MODEL> model(build_model(v, 4));
    for (int i = 0; i < meshes; ++i) {
        build_mesh(model.get(), indices, 6);
    }
    return model;
}

// A 2 x 0.5 bar along +x from the origin, three vertex columns: the first
// follows joint 0, the middle one both joints, the last joint 1.
std::unique_ptr<MODEL> bar_model() {
    VERTEX v[6] = {};
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 2; ++row) {
            VERTEX& x = v[column * 2 + row];
            x.position[0] = float(column);
            x.position[1] = row == 0 ? -0.25f : 0.25f;
            x.position[3] = 1;
            x.normal[2] = 1;
            x.joint_indices[0] = 0;
            x.joint_indices[1] = 1;
            x.joint_indices[2] = -1;
            x.joint_indices[3] = -1;
            x.joint_weights[0] = column == 0 ? 1.0f : column == 1 ? 0.5f : 0.0f;
            x.joint_weights[1] = column == 0 ? 0.0f : column == 1 ? 0.5f : 1.0f;
        }
    }
    // Counter-clockwise seen from +z.
    const uint16_t indices[12] = {0, 2, 3, 0, 3, 1, 2, 4, 5, 2, 5, 3};
    std::unique_ptr<MODEL> model(build_model(v, 6, true));
    MESH* mesh = build_mesh(model.get(), indices, 12);
    mesh->material->emission = VECTOR4{0, 0, 1, 1};
    return model;
}

} // namespace

TEST_F(SCENE3D, every_3d_object_appears_where_its_matrices_put_it) {
    SCENE* scene = app_scene;
    scene->ambient[0] = scene->ambient[1] = scene->ambient[2] = 0.2f;
    CAMERA3D* camera = default_camera;
    camera->rotation = VECTOR3{0, 30, 0};
    scene_add_camera(scene, camera);
    scene->active_camera = camera;
    camera_update(camera);

    // Hierarchy: an opaque red parent and, 2.5 below it, its child with a
    // half-transparent green mesh.
    auto parent_model = quad_model(2);
    parent_model->meshes->material->emission = VECTOR4{1, 0, 0, 1};
    auto child_model = quad_model(2);
    child_model->meshes->material->emission = VECTOR4{0, 1, 0, 1};
    child_model->meshes->material->alpha = 0.5f;
    MODEL_ACTOR parent, child;
    parent.model = parent_model.get();
    child.model = child_model.get();
    parent.position = world_from_eye(-6, 3, -10);
    child.position = VECTOR3{0, -2.5f, 0};
    model_actor_add_child(&parent, &child);
    layer_add_model_actor(&scene->layer1, &parent);

    // Two white quads, one under a point light, one under a spot light.
    auto point_model = quad_model(2);
    auto spot_model = quad_model(4);
    MODEL_ACTOR point_quad, spot_quad;
    point_quad.model = point_model.get();
    spot_quad.model = spot_model.get();
    point_quad.position = world_from_eye(-1, 3, -10);
    spot_quad.position = world_from_eye(-1, -2.5f, -10);
    layer_add_model_actor(&scene->layer1, &point_quad);
    layer_add_model_actor(&scene->layer1, &spot_quad);
    LIGHT point, spot;
    point.type = LIGHT_TYPE_POINT;
    point.slot = 0;
    point.attenuation_start = 3;
    point.attenuation_end = 4;
    matrix_translate(point.local, point_quad.position.x, point_quad.position.y,
                     point_quad.position.z + 2);
    spot.type = LIGHT_TYPE_SPOT;
    spot.slot = 1;
    spot.hotspot_beam = 30;
    spot.falloff = 60;
    spot.target = spot_quad.position;
    matrix_translate(spot.local, spot_quad.position.x, spot_quad.position.y,
                     spot_quad.position.z + 2);
    scene_add_light(scene, &point);
    scene_add_light(scene, &spot);

    // The same bar skinned on the GPU and on the CPU, same place, same frame.
    JOINT joints[2];
    joint_init(&joints[0], 0);
    joint_init(&joints[1], 1);
    joints[1].animated = true;
    joints[1].bind_local_transform.m[12] = 1;
    joints[1].inverse_bind_matrix.m[12] = -1;
    joint_add_child(&joints[0], &joints[1]);
    SKIN* skin = build_skin(2);
    skin->joints[0] = &joints[0];
    skin->joints[1] = &joints[1];
    skin_add_root(skin, &joints[0]);
    matrix_translate(skin->bind_shape_matrix, 0, 0.25f, 0);
    MATRIX4 locals[2][2];
    for (int f = 0; f < 2; ++f) {
        matrix_identity(locals[f][0]);
        matrix_identity(locals[f][1]);
        matrix_translate(locals[f][1], 1, 0, 0);
    }
    matrix_rotate(locals[1][1], -45, 0, 0, 1); // bends the far half upwards
    ANIMATION_FRAME frames[2];
    frames[0].joint_locals = locals[0];
    frames[1].joint_locals = locals[1];
    ANIMATION animation;
    animation.rate = 0; // stays on the last frame
    animation.frame_count = 2;
    animation.frames = frames;
    animation.playback_position = 1;
    auto gpu_model = bar_model();
    auto cpu_model = bar_model();
    MODEL_ACTOR gpu, cpu;
    gpu.model = gpu_model.get();
    cpu.model = cpu_model.get();
    for (MODEL_ACTOR* a : {&gpu, &cpu}) {
        a->skin = skin;
        a->animation = &animation;
        a->position = world_from_eye(2, 1.5f, -10);
        a->scale = VECTOR3{2, 2, 2};
    }
    cpu.skin_on_cpu = true;
    cpu.hidden = true;
    layer_add_model_actor(&scene->layer1, &gpu);
    layer_add_model_actor(&scene->layer1, &cpu);

    // A yellow 3D sprite in each billboard mode.
    SPRITE3D sprites[3] = {SPRITE3D(scene), SPRITE3D(scene), SPRITE3D(scene)};
    const int32_t modes[3] = {BILLBOARD_NONE, BILLBOARD_FULL, BILLBOARD_AXIS_Y};
    for (int i = 0; i < 3; ++i) {
        SPRITE3D& s = sprites[i];
        s.billboard_mode = modes[i];
        s.position = world_from_eye(3.0f + 2.5f * float(i), -3.5f, -10);
        s.scale = VECTOR3{1.5f, 1.5f, 1.5f};
        s.emission[0] = s.emission[1] = 1;
        TEXTURE* texture = drawable_image_texture(&s);
        ASSERT_TRUE(create_image(texture, 2, 2));
        for (int p = 0; p < 4; ++p) {
            const uint8_t yellow[4] = {255, 255, 0, 255};
            std::memcpy(texture->image->pixels + 4 * p, yellow, 4);
        }
        texture->dirty = true;
        layer_add_sprite3d(&scene->layer1, &s);
    }

    frame();
    EXPECT_EQ(lighting_scene, scene);

    // Hierarchy: the parent opaque red, the child green at a quarter opacity.
    RGBA red = at(project_world(parent.position));
    EXPECT_GT(red.r, 200) << describe(red);
    EXPECT_LT(red.g, 100) << describe(red);
    MATRIX4 child_world;
    matrix_compose(parent.position.x, parent.position.y, parent.position.z, 0, 0, 0, 1, 1, 1,
                   child_world);
    RGBA green = at(project(child_world, VECTOR4{0, -2.5f, 0, 1}));
    EXPECT_GT(green.g, 40) << describe(green);
    EXPECT_LT(green.g, 120) << describe(green);
    EXPECT_GT(green.g, 2 * green.r) << describe(green);
    // Between the two quads (1 unit gap, 0.5 below the parent's edge): background.
    RGBA gap = at(project(child_world, VECTOR4{0, -1.25f, 0, 1}));
    EXPECT_LT(gap.r + gap.g + gap.b, 30) << describe(gap);

    // Lights: fully lit centres, ambient only outside the spot's cone.
    RGBA lit_point = at(project_world(point_quad.position));
    EXPECT_GT(lit_point.r, 230) << describe(lit_point);
    EXPECT_GT(lit_point.b, 230) << describe(lit_point);
    RGBA lit_spot = at(project_world(spot_quad.position));
    EXPECT_GT(lit_spot.g, 230) << describe(lit_spot);
    MATRIX4 spot_world;
    matrix_compose(spot_quad.position.x, spot_quad.position.y, spot_quad.position.z, 0, 0, 0, 1, 1,
                   1, spot_world);
    RGBA outside_cone = at(project(spot_world, VECTOR4{1.7f, 1.7f, 0, 1}));
    EXPECT_GT(outside_cone.g, 35) << describe(outside_cone);
    EXPECT_LT(outside_cone.g, 70) << describe(outside_cone);

    // The bent bar: the centre of its far half, posed as the frame says.
    MATRIX4 bar_world;
    matrix_compose(gpu.position.x, gpu.position.y, gpu.position.z, 0, 0, 0, 2, 2, 2, bar_world);
    MATRIX4 tip_local = joints[1].current_transform;
    VECTOR4 tip;
    matrix_transform(tip, tip_local, VECTOR4{0.5f, 0.25f, 0, 1});
    RGBA blue = at(project(bar_world, tip));
    EXPECT_GT(blue.b, 200) << describe(blue);
    EXPECT_LT(blue.r, 100) << describe(blue);
    // Where the unbent far half would be there is nothing now.
    RGBA unbent = at(project(bar_world, VECTOR4{1.9f, 0.25f, 0, 1}));
    EXPECT_LT(unbent.b, 30) << describe(unbent);

    // Sprites: yellow at a quarter opacity at each centre; the camera-facing
    // ones lie parallel to the image plane, the fixed one does not.
    for (int i = 0; i < 3; ++i) {
        RGBA y = at(project_world(sprites[i].position));
        EXPECT_GT(y.r, 40) << "sprite " << i << " " << describe(y);
        EXPECT_GT(y.g, 40) << "sprite " << i << " " << describe(y);
        EXPECT_LT(y.b, 20) << "sprite " << i << " " << describe(y);
        MATRIX4 w, vw;
        matrix_compose(sprites[i].position.x, sprites[i].position.y, sprites[i].position.z, 0, 0, 0,
                       1.5f, 1.5f, 1.5f, w);
        matrix_multiply(w, w, sprites[i].billboard);
        matrix_multiply(vw, *camera->view_stack->top, w);
        VECTOR4 left, right;
        matrix_transform(left, vw, VECTOR4{-0.5f, 0, 0, 1});
        matrix_transform(right, vw, VECTOR4{0.5f, 0, 0, 1});
        if (modes[i] == BILLBOARD_NONE) {
            EXPECT_GT(std::fabs(left.z - right.z), 0.5f) << "sprite " << i;
        } else {
            EXPECT_NEAR(left.z, right.z, 1e-4f) << "sprite " << i;
        }
        // Just beyond the right edge: background.
        RGBA beyond = at(project(w, VECTOR4{0.65f, 0, 0, 1}));
        EXPECT_LT(beyond.r, 20) << "sprite " << i << " " << describe(beyond);
    }

    // GPU and CPU skinning give the same picture of the bar.
    PIXEL a = project(bar_world, VECTOR4{-0.3f, -0.6f, 0, 1});
    PIXEL b = project(bar_world, VECTOR4{2.0f, 1.8f, 0, 1});
    int x0 = std::min(a.x, b.x), x1 = std::max(a.x, b.x);
    int y0 = 600 - std::max(a.y, b.y), y1 = 600 - std::min(a.y, b.y);
    ASSERT_GT(x1 - x0, 20);
    ASSERT_GT(y1 - y0, 20);
    std::vector<uint8_t> gpu_pixels = gl_read_pixels(x0, y0, x1 - x0, y1 - y0);
    gpu.hidden = true;
    cpu.hidden = false;
    frame();
    std::vector<uint8_t> cpu_pixels = gl_read_pixels(x0, y0, x1 - x0, y1 - y0);
    int blue_pixels = 0, different = 0;
    for (size_t i = 0; i < gpu_pixels.size(); i += 4) {
        blue_pixels += gpu_pixels[i + 2] > 200;
        for (size_t c = 0; c < 3; ++c) {
            if (std::abs(int(gpu_pixels[i + c]) - int(cpu_pixels[i + c])) > 8) {
                ++different;
                break;
            }
        }
    }
    EXPECT_GT(blue_pixels, 100);
    EXPECT_LE(different, blue_pixels / 100 + 2) << "of " << blue_pixels << " bar pixels";

    scene->layer1 = SCENE_LAYER{};
    scene->lights = nullptr;
    scene->light_count = 0;
    scene->cameras = nullptr;
    camera->rotation = VECTOR3{0, 0, 0};
    camera->next = nullptr;
    destroy_skin(skin);
}

TEST_F(SCENE3D, still_actors_drawn_merged_read_back_as_drawn_one_by_one) {
    SCENE* scene = app_scene;
    scene->ambient[0] = scene->ambient[1] = scene->ambient[2] = 0.2f;
    scene_add_camera(scene, default_camera);
    scene->active_camera = default_camera;
    camera_update(default_camera);
    LIGHT light;
    light.type = LIGHT_TYPE_POINT;
    matrix_translate(light.local, 0, 1, -8);
    scene_add_light(scene, &light);
    // Twelve quads of one model, turned so the light falls differently on
    // each; one mirrored, one half transparent, one hidden and one that
    // moves: none of these may change the picture.
    auto model = quad_model(1.5f);
    MODEL_ACTOR actors[12];
    for (int i = 0; i < 12; ++i) {
        actors[i].model = model.get();
        actors[i].position = VECTOR3{float(i % 4) * 2.0f - 3.0f, float(i / 4) * 2.0f - 2.0f, -10};
        actors[i].rotation = VECTOR3{float(i) * 9.0f, float(i) * 17.0f, 0};
        layer_add_model_actor(&scene->layer1, &actors[i]);
    }
    actors[5].scale = VECTOR3{-1, 1, 1};
    actors[7].alpha = 0.5f;
    actors[9].hidden = true;
    const auto two_frames = [&](bool merge) {
        merge_still_draws = merge;
        for (MODEL_ACTOR& a : actors) {
            a.drawn = false;
        }
        frame();
        actors[2].rotation.z += 10; // moves between the frames
        frame_stats_reset();
        frame();
        actors[2].rotation.z -= 10;
        return gl_read_pixels(0, 0, 1024, 600);
    };
    const std::vector<uint8_t> one_by_one = two_frames(false);
    const uint32_t draws_one_by_one = frame_stats.draws;
    const std::vector<uint8_t> merged = two_frames(true);
    merge_still_draws = true;
    EXPECT_LT(frame_stats.draws, draws_one_by_one) << "neighbours were merged";
    ASSERT_EQ(one_by_one.size(), merged.size());
    // The GPU places the vertices of a draw one by one, the merged draw's
    // were placed on the CPU: rounding may move an edge pixel or a channel
    // by one step, never more.
    size_t edge_pixels = 0, lit = 0;
    for (size_t i = 0; i < merged.size(); i += 4) {
        int worst = 0;
        for (size_t c = 0; c < 3; ++c) {
            worst = std::max(worst, std::abs(int(merged[i + c]) - int(one_by_one[i + c])));
        }
        edge_pixels += worst > 1;
        lit += one_by_one[i] + one_by_one[i + 1] + one_by_one[i + 2] > 0;
    }
    EXPECT_GT(lit, 10000u) << "the quads were drawn";
    EXPECT_LE(edge_pixels, lit / 200) << "pixels differing by more than one step";
}
