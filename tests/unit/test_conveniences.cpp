// The conveniences for programs on the engine against the recording GL
// stand-in: the camera a scene draws with follows its moves, look-at and
// orbit keep the stated conventions, model programs come with the first
// model draw, lights find free slots, every skipped draw is said once,
// textures go on sprites and materials in one call, render textures bind,
// clear and restore, primitives face outwards, text and the frame clock.
#include "tests/support/engine_reset.h"
#include "tests/support/fake_clock.h"
#include "gfx/frame_clock.h"
#include "gfx/report.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/primitives.h"
#include "scene/render_texture.h"
#include "scene/sprite.h"
#include "scene/text.h"
#include "scene/uniforms.h"
#include "shader/limits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

using fake_gl::call;
using LOG = std::vector<std::string>;

namespace {

class CONVENIENCES : public ::testing::Test {
  protected:
    void SetUp() override {
        reset_engine_for_scene_tests();
        app_scene = new SCENE;
        fake_gl::take();
    }
    void TearDown() override {
        for (ACTOR* a : owned) {
            delete a;
        }
        delete app_scene;
        for (SHADER_PROGRAM** slot : {&program_model, &program_skinned_model}) {
            delete *slot;
            *slot = nullptr;
        }
        scene_reset();
        gl_context_alive = false;
    }
    template <class T> T* keep(T* actor) {
        owned.push_back(actor);
        return actor;
    }
    std::vector<ACTOR*> owned;
};

bool has(const LOG& log, const std::string& line) {
    return std::find(log.begin(), log.end(), line) != log.end();
}

VECTOR4 through_view(const CAMERA3D* camera, float x, float y, float z, float w) {
    VECTOR4 out;
    matrix_transform(out, *camera->view_stack->top, VECTOR4{x, y, z, w});
    return out;
}

TEST_F(CONVENIENCES, the_drawing_camera_follows_its_moves_without_being_listed) {
    // No camera list: the current (default) camera is rebuilt at the update...
    default_camera->position = VECTOR3{1, 2, 3};
    update_scene();
    EXPECT_EQ(through_view(default_camera, 0, 0, 0, 1).x, -1.0f);
    // ...and a move in the frame callback, after the update, at the render.
    default_camera->position.x = 4;
    render_scene();
    EXPECT_EQ(through_view(default_camera, 0, 0, 0, 1).x, -4.0f);

    // An active camera left out of the list; its position never drifts.
    CAMERA3D* camera = keep(new CAMERA3D);
    app_scene->active_camera = camera;
    camera->position = VECTOR3{0.3f, 5, -7.1f};
    camera->rotation = VECTOR3{30, 45, 0};
    for (int frame = 0; frame < 100; ++frame) {
        update_scene();
        render_scene();
    }
    EXPECT_EQ(current_camera, camera);
    EXPECT_EQ(camera->position.y, 5.0f);
    EXPECT_EQ(camera->position.z, -7.1f);
    const VECTOR4 origin = through_view(camera, 0.3f, 5, 7.1f, 1); // the eye itself
    EXPECT_NEAR(origin.x, 0, 1e-5);
    EXPECT_NEAR(origin.y, 0, 1e-5);
    EXPECT_NEAR(origin.z, 0, 1e-5);
}

TEST_F(CONVENIENCES, look_at_and_orbit_keep_the_stated_conventions) {
    CAMERA3D* camera = default_camera;
    // Yaw > 0 turns right: +x comes straight ahead; pitch > 0 looks down.
    camera->rotation = VECTOR3{0, 90, 0};
    camera_refresh(camera);
    EXPECT_NEAR(through_view(camera, 1, 0, 0, 0).z, -1, 1e-6);
    camera->rotation = VECTOR3{30, 0, 0};
    camera_refresh(camera);
    EXPECT_LT(camera->forward.y, 0);

    const VECTOR3 eye{3, 4, 5}, target{0, 1, -2};
    for (const VECTOR3& up : {VECTOR3{0, 1, 0}, VECTOR3{1, 1, 0}, VECTOR3{0, 0, 1}}) {
        camera_look_at(camera, eye, target, up);
        const VECTOR3 seen = camera_eye(camera);
        EXPECT_EQ(seen.x, eye.x);
        EXPECT_EQ(seen.z, eye.z);
        // The target straight ahead on -z; up keeps its sense and leans
        // neither left nor right.
        const VECTOR4 t = through_view(camera, target.x, target.y, target.z, 1);
        EXPECT_NEAR(t.x, 0, 1e-4);
        EXPECT_NEAR(t.y, 0, 1e-4);
        EXPECT_LT(t.z, 0);
        const VECTOR4 u = through_view(camera, up.x, up.y, up.z, 0);
        EXPECT_NEAR(u.x, 0, 1e-5);
        EXPECT_GT(u.y, 0);
    }
    // Lines of sight with z = 0 (the four horizontal axes and a downward
    // diagonal): the target ahead, and a point above the target stays above.
    const VECTOR3 origin{0, 0, 0};
    for (const VECTOR3& from : {VECTOR3{-10, 0, 0}, VECTOR3{10, 0, 0}, VECTOR3{0, 0, 10},
                                VECTOR3{0, 0, -10}, VECTOR3{10, 5, 0}}) {
        camera_look_at(camera, from, origin);
        const VECTOR4 t = through_view(camera, 0, 0, 0, 1);
        EXPECT_NEAR(t.x, 0, 1e-4) << from.x << ", " << from.y << ", " << from.z;
        EXPECT_NEAR(t.y, 0, 1e-4) << from.x << ", " << from.y << ", " << from.z;
        EXPECT_LT(t.z, -9) << from.x << ", " << from.y << ", " << from.z;
        const VECTOR4 above = through_view(camera, 0, 3, 0, 1);
        EXPECT_NEAR(above.x, 0, 1e-4) << from.x << ", " << from.y << ", " << from.z;
        EXPECT_GT(above.y, 2) << from.x << ", " << from.y << ", " << from.z;
    }
    const float rotation_before = camera->rotation.x;
    camera_look_at(camera, eye, eye); // no line of sight: nothing changes
    EXPECT_EQ(camera->rotation.x, rotation_before);

    camera_orbit(camera, target, 10, 30, 20);
    EXPECT_EQ(camera->rotation.x, 20);
    EXPECT_EQ(camera->rotation.y, 30);
    const VECTOR4 t = through_view(camera, target.x, target.y, target.z, 1);
    EXPECT_NEAR(t.x, 0, 1e-4);
    EXPECT_NEAR(t.y, 0, 1e-4);
    EXPECT_NEAR(t.z, -10, 1e-4);
    const VECTOR3 e = camera_eye(camera);
    EXPECT_GT(e.y, target.y); // pitch > 0: from above
    EXPECT_LT(e.x, target.x); // yaw > 0: the eye towards -x
}

TEST_F(CONVENIENCES, the_first_model_draw_builds_the_model_program_once) {
    ASSERT_EQ(program_model, nullptr);
    MODEL* cube = build_cube(1, 1, 1);
    keep(add_model_actor(&app_scene->layer1, cube))->position = VECTOR3{0, 0, -5};
    fake_gl::state().uniform_locations["g_LightModel.ambient"] = 77;
    app_scene->ambient[0] = 0.5f;
    render_scene();
    LOG log = fake_gl::take();
    ASSERT_NE(program_model, nullptr);
    // No lights: the model still gets the scene's ambient colour.
    EXPECT_TRUE(has(log, call("glUniform3f", 77, 0.5f, 1.0f, 1.0f)));
    EXPECT_EQ(program_skinned_model, nullptr) << "only the program the draw needs";
    EXPECT_TRUE(has(
        log, call("glDrawElements", GLenum(GL_TRIANGLES), 36, GLenum(GL_UNSIGNED_SHORT), 0ull)));
    render_scene();
    log = fake_gl::take();
    EXPECT_FALSE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind("glCreateProgram", 0) == 0;
    }));
    app_scene->layer1 = SCENE_LAYER{};
    delete cube;
}

TEST_F(CONVENIENCES, lights_take_free_slots_and_a_sixth_or_a_shared_slot_is_said_once) {
    testing::internal::CaptureStderr();
    LIGHT* lights[6];
    for (LIGHT*& light : lights) {
        light = keep(add_light(app_scene, LIGHT_TYPE_POINT, VECTOR3{0, 1, 0}));
    }
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(lights[i]->slot, i);
    }
    // The first light lowered the unlit default ambient; a chosen one stays.
    EXPECT_EQ(app_scene->ambient[1], LIT_SCENE_AMBIENT);
    SCENE chosen;
    chosen.ambient[1] = 0.5f;
    delete add_light(&chosen, LIGHT_TYPE_POINT, VECTOR3{0, 1, 0});
    EXPECT_EQ(chosen.ambient[0], 1.0f);
    EXPECT_EQ(chosen.ambient[1], 0.5f);
    SHADER_PROGRAM program;
    lighting_scene = app_scene;
    upload_lights(&program);

    SCENE_LIGHTING shared;
    LIGHT first, second;
    first.slot = second.slot = 3;
    scene_add_light(reinterpret_cast<SCENE*>(&shared), &first); // the lighting part only
    first.next = &second;
    lighting_scene = &shared;
    upload_lights(&program);
    upload_lights(&program);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexa: a scene sends 5 lights; a further light is not sent\n"
              "vexa: two lights share slot 3; the later one replaces the earlier\n");
    app_scene->lights = nullptr;
}

TEST_F(CONVENIENCES, every_skipped_draw_is_said_once_per_cause) {
    testing::internal::CaptureStderr();
    SPRITE2D* sprite = add_sprite_2d(&app_scene->layer2, app_scene); // no picture
    MODEL* cube = build_cube(1, 1, 1);
    material_add_texture(cube->meshes->material, new TEXTURE); // no picture either
    add_model_actor(&app_scene->layer1, cube);
    for (int frame = 0; frame < 2; ++frame) {
        render_scene();
    }
    program_model->build_failed = true; // its build said so; the skipped draws add nothing
    CAMERA3D* saved = current_camera;
    for (int frame = 0; frame < 2; ++frame) {
        render_scene();
    }
    current_camera = nullptr;
    for (int frame = 0; frame < 2; ++frame) {
        render_scene();
    }
    current_camera = saved;
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexa: a material's texture has no picture (made without create_image or "
              "texture_take_picture); it is not shown\n"
              "vexa: a sprite's texture has no picture (made without create_image or "
              "sprite_set_texture); it is not drawn\n"
              "vexa: the scene has no usable camera; nothing is drawn\n");
    delete app_scene->layer1.model_actors;
    app_scene->layer1 = SCENE_LAYER{};
    app_scene->layer2 = SCENE_LAYER{};
    delete sprite;
    delete cube;
}

TEST_F(CONVENIENCES, a_texture_goes_on_a_sprite_or_a_material_in_one_call_and_stays_the_callers) {
    const int32_t textures_before = live_texture_objects;
    TEXTURE* picture = create_texture(16, 8);
    ASSERT_NE(picture, nullptr);
    SPRITE2D* sprite = add_sprite_2d(&app_scene->layer2, app_scene, picture);
    EXPECT_EQ(drawable_image_texture(sprite), picture);
    EXPECT_EQ(live_texture_objects, textures_before + 1) << "the sprite's own picture is gone";
    fake_gl::take();
    render_scene();
    // The picture written after create_texture reaches GL at the first draw, unasked.
    const LOG drawn = fake_gl::take();
    EXPECT_EQ(std::count_if(drawn.begin(), drawn.end(),
                            [](const std::string& line) {
                                return line.rfind("glTexImage2D(3553, 0, 6408, 16, 8,", 0) == 0;
                            }),
              1);
    const VERTEX* quad = sprite->model.vertices.data;
    EXPECT_EQ(quad[2].position[0] - quad[0].position[0], 16.0f);
    EXPECT_EQ(quad[2].position[1] - quad[0].position[1], 8.0f);

    MATERIAL material;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(material_set_texture(&material, picture, 1));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexa: a material takes a texture at unit 0 to 0, not one at 1\n");
    EXPECT_TRUE(material_set_texture(&material, picture));
    EXPECT_TRUE(material_set_texture(&material, picture, 1));
    release_material_textures(&material);
    app_scene->layer2 = SCENE_LAYER{};
    delete sprite;
    EXPECT_EQ(live_texture_objects, textures_before + 1) << "neither owner released it";
    release_texture(picture);
    EXPECT_EQ(live_texture_objects, textures_before);
}

TEST_F(CONVENIENCES, render_textures_bind_clear_and_restore_and_the_scene_target_is_sampled) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(create_render_texture(0, 5), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexa: a render texture needs a positive size, not 0 x 5\n");

    RENDER_TEXTURE* panel = create_render_texture(256, 128);
    ASSERT_NE(panel, nullptr);
    LOG log = fake_gl::take();
    const GLuint texture = texture_gl_name(panel->target.colour_texture);
    for (const std::string& line : fake_gl::texture_create_calls(
             texture, 256, 128, GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, GL_RGBA, nullptr)) {
        EXPECT_TRUE(has(log, line)) << line;
    }
    render_scene(); // the window's viewport in the cache
    fake_gl::take();

    ASSERT_TRUE(begin_render_texture(panel));
    render_scene();
    end_render_texture();
    log = fake_gl::take();
    // Making the texture left it bound on unit 0: drawing into it while it is
    // bound for sampling is a feedback loop WebGL refuses to draw through.
    const LOG expected_start = {
        call("glActiveTexture", GL_TEXTURE0),
        call("glBindTexture", GLenum(GL_TEXTURE_2D), 0u),
        call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), panel->target.framebuffer),
        call("glViewport", 0, 0, 256, 128),
        call("glScissor", 0, 0, 256, 128),
        call("glClearColor", 0.0f, 0.0f, 0.0f, 1.0f),
        call("glClear", GLbitfield(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)),
    };
    ASSERT_GE(log.size(), expected_start.size() + 3);
    EXPECT_EQ(LOG(log.begin(), log.begin() + 7), expected_start);
    EXPECT_EQ(LOG(log.end() - 3, log.end()),
              (LOG{call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), 0u),
                   call("glViewport", 0, 0, 1024, 600), call("glScissor", 0, 0, 1024, 600)}));
    EXPECT_EQ(current_camera->viewport->width, 1024) << "the camera keeps the window's";

    // The scene's one-shot target pass inside comes back to the render texture.
    // (Its target made beforehand: making it unbinds to the window for a moment.)
    scene_make_target(app_scene);
    fake_gl::take();
    ASSERT_TRUE(begin_render_texture(panel));
    // A begin without its end, every frame: said once.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(begin_render_texture(panel));
    EXPECT_FALSE(begin_render_texture(panel));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "vexa: a render texture is already open; end it first\n");
    app_scene->render_to_texture = true;
    render_scene();
    log = fake_gl::take();
    const std::string bind_panel =
        call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), panel->target.framebuffer);
    EXPECT_EQ(std::count(log.begin(), log.end(), bind_panel), 2);
    EXPECT_TRUE(!log.empty() && log.front() == bind_panel) << "no unit holds the panel's texture";
    EXPECT_FALSE(has(log, call("glBindFramebufferEXT", GLenum(GL_FRAMEBUFFER_EXT), 0u)))
        << "never the window's framebuffer";
    end_render_texture();
    destroy_render_texture(panel);

    TEXTURE* target = scene_target_texture(app_scene);
    log = fake_gl::take();
    EXPECT_TRUE(has(log, call("glTexParameteri", GLenum(GL_TEXTURE_2D),
                              GLenum(GL_TEXTURE_MIN_FILTER), GLint(GL_LINEAR))));
    EXPECT_EQ(scene_target_texture(app_scene), target);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_TRUE(target->bottom_up && target->borrowed);
}

TEST_F(CONVENIENCES, primitives_face_outwards_with_unit_normals_and_picture_coordinates) {
    for (MODEL* model : {build_cube(2, 3, 4), build_plane(2, 2), build_sphere(1, 8, 12),
                         build_cylinder(1, 2, 10)}) {
        ASSERT_NE(model, nullptr);
        const VERTEX* v = model->vertices.data;
        for (int32_t i = 0; i < model->vertices.count; ++i) {
            const float* n = v[i].normal;
            EXPECT_NEAR(n[0] * n[0] + n[1] * n[1] + n[2] * n[2], 1.0f, 1e-5);
            EXPECT_GE(v[i].texcoord0[0], 0.0f);
            EXPECT_LE(v[i].texcoord0[1], 1.0f);
        }
        const INDEXBUFFER& indices = model->meshes->indices;
        for (int32_t t = 0; t < indices.count; t += 3) {
            const float* a = v[indices.data[t]].position;
            const float* b = v[indices.data[t + 1]].position;
            const float* c = v[indices.data[t + 2]].position;
            const float e[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            const float f[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
            const float face[3] = {e[1] * f[2] - e[2] * f[1], e[2] * f[0] - e[0] * f[2],
                                   e[0] * f[1] - e[1] * f[0]};
            // Counter-clockwise seen from where the normals point, and outwards.
            const float* n = v[indices.data[t]].normal;
            EXPECT_GT(face[0] * n[0] + face[1] * n[1] + face[2] * n[2], 0.0f);
            EXPECT_GE(a[0] * n[0] + a[1] * n[1] + a[2] * n[2], 0.0f);
        }
        delete model;
    }
}

TEST_F(CONVENIENCES, text_draws_one_rectangle_per_lit_run_and_the_frame_clock_averages) {
    create_program_set();
    draw_text("I", 0, 0, 1);
    flush_text();
    // 'I': one run in each of its seven rows, six vertices each.
    EXPECT_TRUE(has(fake_gl::take(), call("glDrawArrays", GLenum(GL_TRIANGLES), 0, 42)));
    EXPECT_EQ(text_width("ab\nabcd", 2), 64);
    // UTF-8: "\u00e9" is one character the font lacks, one '?'; each damaged
    // sequence (cut short, overlong, a surrogate, a stray byte) is one too.
    draw_text("?", 0, 0, 1);
    flush_text();
    const LOG one_mark = fake_gl::take();
    draw_text("\u00e9", 0, 0, 1);
    flush_text();
    EXPECT_EQ(fake_gl::take(), one_mark);
    EXPECT_EQ(text_width("\u00e9t\u00e9 \U0001F600", 1), 5 * 8);
    // Cut short, 'A', overlong (two stray bytes), a surrogate (three), a stray byte.
    EXPECT_EQ(text_width("\xE2\x82"
                         "A\xC0\xAF\xED\xA0\x80\x80",
                         1),
              (1 + 1 + 2 + 3 + 1) * 8);
    EXPECT_EQ(text_width("a\xF0\x9F\x98", 1), 2 * 8);

    use_fake_clock(1000);
    EXPECT_EQ(frame_rate(), 0.0f);
    for (int frame = 0; frame < 40; ++frame) {
        fake_clock_now = 1 + 20 * uint64_t(frame) + (frame < 9 ? 0 : 5 * uint64_t(frame - 9));
        frame_clock_tick();
    }
    // The last 30 intervals were 25 ms each.
    EXPECT_FLOAT_EQ(frame_rate(), 40.0f);
    EXPECT_FLOAT_EQ(frame_time(), 0.025f);
    time_source_use_sdl();
}

} // namespace
