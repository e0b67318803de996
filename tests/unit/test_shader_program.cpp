// Program set, uniform-name cache and program switching, against the
// recording GL stand-in. Stage files are the real ones under shaders/ (tests
// run from the repository root).
#include "gfx/frame_stats.h"
#include "shader/program.h"
#include "scene/uniforms.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using fake_gl::call;

namespace {

const char* const LIGHT_MEMBERS[] = {
    "type",         "diffuse", "position", "direction", "attenuation_start", "attenuation_end",
    "hotspot_beam", "falloff"};
const char* const FIXED_UNIFORMS[] = {"g_DatosMaterial.emission",
                                      "g_DatosMaterial.specular",
                                      "g_DatosMaterial.transparency",
                                      "g_DatosMaterial.numTextures",
                                      "g_DatosMaterial.offset_animacion0",
                                      "g_DatosMaterial.offset_animacion1",
                                      "ModelViewProjectionMatrix",
                                      "ProjectionMatrix",
                                      "WorldMatrix",
                                      "NormalMatrix",
                                      "posicion_camara_world",
                                      "g_LightModel.ambient"};

std::string light_name(int slot, const char* member) {
    char name[64];
    std::snprintf(name, sizeof name, "g_Lights[%d].%s", slot, member);
    return name;
}

// The calls build_program makes for a program whose stages compile and link
// and whose samplers are absent.
std::vector<std::string> expected_build_calls(GLuint p, GLuint vs, GLuint fs) {
    std::vector<std::string> calls = {
        call("glCreateProgram"),
        call("glCreateShader", GLenum(GL_VERTEX_SHADER)),
        call("glShaderSource", vs, 1),
        call("glCreateShader", GLenum(GL_FRAGMENT_SHADER)),
        call("glShaderSource", fs, 1),
        call("glCompileShader", vs),
        call("glGetShaderiv", vs, GLenum(GL_COMPILE_STATUS)),
        call("glCompileShader", fs),
        call("glGetShaderiv", fs, GLenum(GL_COMPILE_STATUS)),
        call("glAttachShader", p, vs),
        call("glAttachShader", p, fs),
        call("glLinkProgram", p),
        call("glGetProgramiv", p, GLenum(GL_LINK_STATUS)),
        call("glGetAttribLocation", p, "joint_indices"),
        call("glGetAttribLocation", p, "joint_weights"),
    };
    for (int slot = 0; slot < MAX_LIGHTS; ++slot) {
        for (const char* member : LIGHT_MEMBERS) {
            calls.push_back(call("glGetUniformLocation", p, light_name(slot, member)));
        }
    }
    for (const char* name : FIXED_UNIFORMS) {
        calls.push_back(call("glGetUniformLocation", p, name));
    }
    calls.push_back(call("glUseProgram", p));
    calls.push_back(call("glGetUniformLocation", p, "shader_texture_ids[0]"));
    calls.push_back(call("glGetUniformLocation", p, "shader_texture_ids[1]"));
    return calls;
}

void expect_every_location_absent(const SHADER_PROGRAM& program) {
    const int32_t* first = &program.light_locations[0].diffuse;
    for (int i = 0; i < MAX_LIGHTS * 8; ++i) {
        EXPECT_EQ(first[i], -1) << "light location " << i;
    }
    const MATERIAL_LOCATIONS& m = program.material_locations;
    for (int32_t location : {m.specular, m.emission, m.transparency, m.num_textures,
                             m.offset_animacion0, m.offset_animacion1}) {
        EXPECT_EQ(location, -1);
    }
    const MATRIX_LOCATIONS& x = program.matrix_locations;
    for (int32_t location : {x.normal, x.model_view_projection, x.world, x.projection,
                             program.camera_position_location, program.ambient_location,
                             program.joint_indices_location, program.joint_weights_location}) {
        EXPECT_EQ(location, -1);
    }
}

int count_calls(const std::vector<std::string>& log, const std::string& prefix) {
    return int(std::count_if(log.begin(), log.end(),
                             [&](const std::string& line) { return line.rfind(prefix, 0) == 0; }));
}

class SHADER_PROGRAMS : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        reset_shader_programs();
    }
    void TearDown() override { reset_shader_programs(); }
};

} // namespace

TEST_F(SHADER_PROGRAMS, create_program_set_builds_four_programs_in_fixed_order) {
    create_program_set();
    std::vector<std::string> expected;
    for (GLuint i = 0; i < 4; ++i) {
        std::vector<std::string> one = expected_build_calls(i + 1, 2 * i + 1, 2 * i + 2);
        expected.insert(expected.end(), one.begin(), one.end());
    }
    EXPECT_EQ(fake_gl::take(), expected);

    SHADER_PROGRAM* slots[] = {program_sprite3d, program_sprites2d, program_primitives2d,
                               program_primitives3d};
    const char* vertex_files[] = {"shaders/sprite3d_vs.glsl", "shaders/2d_sprites_vs.glsl",
                                  "shaders/2d_passthrough_vs.glsl",
                                  "shaders/3d_primitives_vs.glsl"};
    const char* fragment_files[] = {"shaders/sprite3d_fs.glsl", "shaders/2d_sprites_fs.glsl",
                                    "shaders/2d_primitives_fs.glsl",
                                    "shaders/3d_primitives_fs.glsl"};
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(slots[i], nullptr);
        EXPECT_EQ(slots[i]->program, GLuint(i + 1));
        ASSERT_EQ(slots[i]->stage_count, 2);
        const SHADER_STAGE* vertex = slots[i]->stages;
        const SHADER_STAGE* fragment = vertex->next;
        EXPECT_EQ(vertex->type, GLenum(GL_VERTEX_SHADER));
        EXPECT_EQ(fragment->type, GLenum(GL_FRAGMENT_SHADER));
        ASSERT_NE(vertex->file, nullptr);
        ASSERT_NE(fragment->file, nullptr);
        EXPECT_STREQ(vertex->file->path, vertex_files[i]);
        EXPECT_STREQ(fragment->file->path, fragment_files[i]);
        EXPECT_TRUE(slots[i]->camera_dirty);
    }
    EXPECT_EQ(program_skinned_model, nullptr);
    EXPECT_EQ(program_model, nullptr);
    EXPECT_EQ(current_program, nullptr) << "GL has program 4 in use, the mirror is empty";
    for (const std::string& source : fake_gl::state().shader_sources) {
        EXPECT_EQ(source.find("#include"), std::string::npos) << "every include resolves";
    }
}

TEST_F(SHADER_PROGRAMS, locations_land_in_their_named_fields_and_samplers_get_their_units) {
    auto& locations = fake_gl::state().uniform_locations;
    GLint next = 100;
    for (int slot = 0; slot < MAX_LIGHTS; ++slot) {
        for (const char* member : LIGHT_MEMBERS) {
            locations[light_name(slot, member)] = next++;
        }
    }
    for (const char* name : FIXED_UNIFORMS) {
        locations[name] = next++;
    }
    locations["shader_texture_ids[0]"] = 7;
    locations["shader_texture_ids[1]"] = 8;
    fake_gl::state().attribute_locations["joint_indices"] = 3;
    fake_gl::state().attribute_locations["joint_weights"] = 4;

    SHADER_PROGRAM program;
    build_program(&program, "shaders/sprite3d_vs.glsl", "shaders/sprite3d_fs.glsl");

    EXPECT_EQ(program.joint_indices_location, 3);
    EXPECT_EQ(program.joint_weights_location, 4);
    const LIGHT_LOCATIONS& slot3 = program.light_locations[3];
    EXPECT_EQ(slot3.type, 100 + 3 * 8 + 0);
    EXPECT_EQ(slot3.diffuse, 100 + 3 * 8 + 1);
    EXPECT_EQ(slot3.position, 100 + 3 * 8 + 2);
    EXPECT_EQ(slot3.direction, 100 + 3 * 8 + 3);
    EXPECT_EQ(slot3.attenuation_start, 100 + 3 * 8 + 4);
    EXPECT_EQ(slot3.attenuation_end, 100 + 3 * 8 + 5);
    EXPECT_EQ(slot3.hotspot_beam, 100 + 3 * 8 + 6);
    EXPECT_EQ(slot3.falloff, 100 + 3 * 8 + 7);
    EXPECT_EQ(program.material_locations.emission, 140);
    EXPECT_EQ(program.material_locations.specular, 141);
    EXPECT_EQ(program.material_locations.transparency, 142);
    EXPECT_EQ(program.material_locations.num_textures, 143);
    EXPECT_EQ(program.material_locations.offset_animacion0, 144);
    EXPECT_EQ(program.material_locations.offset_animacion1, 145);
    EXPECT_EQ(program.matrix_locations.model_view_projection, 146);
    EXPECT_EQ(program.matrix_locations.projection, 147);
    EXPECT_EQ(program.matrix_locations.world, 148);
    EXPECT_EQ(program.matrix_locations.normal, 149);
    EXPECT_EQ(program.camera_position_location, 150);
    EXPECT_EQ(program.ambient_location, 151);

    std::vector<std::string> log = fake_gl::take();
    std::vector<std::string> tail(log.end() - 5, log.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{call("glUseProgram", 1u),
                                        call("glGetUniformLocation", 1u, "shader_texture_ids[0]"),
                                        call("glUniform1i", 7, 0),
                                        call("glGetUniformLocation", 1u, "shader_texture_ids[1]"),
                                        call("glUniform1i", 8, 1)}));
}

TEST_F(SHADER_PROGRAMS, failed_compile_reports_one_line_and_leaves_program_unlinked) {
    fake_gl::state().compile_ok = false;
    fake_gl::state().info_log = "0:3(1): error: bad\n0:4(2): error: worse\n";
    fake_gl::state().uniform_locations["ModelViewProjectionMatrix"] = 5;
    SHADER_PROGRAM program;
    testing::internal::CaptureStderr();
    build_program(&program, "shaders/2d_sprites_vs.glsl", "shaders/2d_sprites_fs.glsl");
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("shaders/2d_sprites_vs.glsl"), std::string::npos) << err;
    EXPECT_NE(err.find("0:3(1): error: bad 0:4(2): error: worse"), std::string::npos) << err;
    std::vector<std::string> log = fake_gl::take();
    std::vector<std::string> after_create(log.begin() + 5, log.end());
    EXPECT_EQ(after_create,
              (std::vector<std::string>{
                  call("glCompileShader", 1u), call("glGetShaderiv", 1u, GLenum(GL_COMPILE_STATUS)),
                  call("glGetShaderiv", 1u, GLenum(GL_INFO_LOG_LENGTH)),
                  call("glGetShaderInfoLog", 1u), call("glDeleteShader", 1u)}))
        << "the fragment stage is not compiled, nothing is attached, linked or used";
    expect_every_location_absent(program);
    EXPECT_EQ(program.stages->shader, 1u) << "the stage keeps its (deleted) name";
}

TEST_F(SHADER_PROGRAMS, failed_link_reports_both_files_and_assigns_no_location) {
    fake_gl::state().link_ok = false;
    fake_gl::state().info_log = "error: varying mismatch\nsecond line";
    fake_gl::state().uniform_locations["ModelViewProjectionMatrix"] = 5;
    SHADER_PROGRAM program;
    testing::internal::CaptureStderr();
    build_program(&program, "shaders/3d_primitives_vs.glsl", "shaders/3d_primitives_fs.glsl");
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("shaders/3d_primitives_vs.glsl"), std::string::npos) << err;
    EXPECT_NE(err.find("shaders/3d_primitives_fs.glsl"), std::string::npos) << err;
    EXPECT_NE(err.find("error: varying mismatch second line"), std::string::npos) << err;
    std::vector<std::string> log = fake_gl::take();
    EXPECT_EQ(count_calls(log, "glGetUniformLocation"), 0);
    EXPECT_EQ(count_calls(log, "glUseProgram"), 0);
    expect_every_location_absent(program);
}

TEST_F(SHADER_PROGRAMS, missing_file_reports_one_line_and_the_program_is_still_built) {
    SHADER_PROGRAM program;
    testing::internal::CaptureStderr();
    build_program(&program, "shaders/no_such_vs.glsl", "shaders/2d_sprites_fs.glsl");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("shaders/no_such_vs.glsl"), std::string::npos) << err;
    EXPECT_EQ(program.program, 1u);
    EXPECT_EQ(program.stage_count, 2);
    EXPECT_EQ(count_calls(fake_gl::take(), "glCompileShader"), 0)
        << "a stage without a shader object is never handed to GL";
    expect_every_location_absent(program);
}

TEST_F(SHADER_PROGRAMS, second_use_in_a_frame_issues_nothing_and_next_frame_switches_again) {
    create_program_set();
    fake_gl::take();
    frame_stats_reset();
    use_program(program_sprites2d);
    std::vector<std::string> first = fake_gl::take();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.front(), call("glUseProgram", program_sprites2d->program));
    EXPECT_EQ(count_calls(first, "glUseProgram"), 1);
    EXPECT_EQ(current_program, program_sprites2d);
    EXPECT_TRUE(program_sprites2d->camera_dirty);

    program_sprites2d->camera_dirty = false;
    program_sprites2d->lookup_hint = 0;
    use_program(program_sprites2d);
    EXPECT_TRUE(fake_gl::take().empty()) << "no program switch and no light upload";
    EXPECT_FALSE(program_sprites2d->camera_dirty);
    EXPECT_EQ(program_sprites2d->lookup_hint, 0);

    use_program(nullptr);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(current_program, program_sprites2d);

    current_program = nullptr; // the start of the next frame
    use_program(program_sprites2d);
    EXPECT_EQ(fake_gl::take(), first) << "switch and light upload again";
    EXPECT_EQ(frame_stats.program_switches, 2u) << "only the two switches are counted";
    EXPECT_TRUE(program_sprites2d->camera_dirty);
    EXPECT_EQ(program_sprites2d->lookup_hint, -1);
}

TEST_F(SHADER_PROGRAMS, missing_uniform_is_queried_from_gl_once_and_cached_as_absent) {
    SHADER_PROGRAM program;
    program.program = 9;
    EXPECT_EQ(program.lookup_uniform("bind_shape_matrix"), -1);
    EXPECT_EQ(program.lookup_uniform("bind_shape_matrix"), -1);
    EXPECT_EQ(fake_gl::take(),
              (std::vector<std::string>{call("glGetUniformLocation", 9u, "bind_shape_matrix")}));
    EXPECT_EQ(fake_gl::state().error_reads, 0) << "location queries do not read the error flag";
    EXPECT_EQ(program.lookup_hint, 0);
}

TEST_F(SHADER_PROGRAMS, lookup_starts_after_the_hint_and_moves_it_to_the_match) {
    auto& locations = fake_gl::state().uniform_locations;
    locations["a"] = 10;
    locations["b"] = 11;
    locations["c"] = 12;
    SHADER_PROGRAM program;
    EXPECT_EQ(program.lookup_uniform("a"), 10);
    EXPECT_EQ(program.lookup_uniform("b"), 11);
    EXPECT_EQ(program.lookup_uniform("c"), 12);
    EXPECT_EQ(program.lookup_count, 3);
    EXPECT_EQ(program.lookup_hint, -1) << "misses leave the hint alone";
    EXPECT_EQ(program.lookup_uniform("b"), 11);
    EXPECT_EQ(program.lookup_hint, 1);

    // Entry 2 is made to answer "a" as well, so the comparison order shows:
    // from hint 1 entry 2 is compared before entry 0.
    std::snprintf(program.lookup_entries[2].name, program.lookup_entries[2].capacity, "a");
    program.lookup_entries[2].location = 99;
    EXPECT_EQ(program.lookup_uniform("a"), 99);
    EXPECT_EQ(program.lookup_hint, 2);
    EXPECT_EQ(program.lookup_uniform("a"), 10) << "from hint 2 the search wraps to entry 0";
    EXPECT_EQ(program.lookup_hint, 0);
    EXPECT_TRUE(fake_gl::take().size() == 3u) << "only the three first misses reached GL";
}

TEST_F(SHADER_PROGRAMS, name_151_is_answered_by_gl_without_being_cached) {
    SHADER_PROGRAM program;
    char name[32];
    for (int i = 0; i < UNIFORM_LOOKUP_CAPACITY; ++i) {
        std::snprintf(name, sizeof name, "transformation_matrix[%d]", i);
        fake_gl::state().uniform_locations[name] = i;
        EXPECT_EQ(program.lookup_uniform(name), i);
    }
    EXPECT_EQ(program.lookup_count, UNIFORM_LOOKUP_CAPACITY);
    fake_gl::state().uniform_locations["inverse_bind_matrix[0]"] = 500;
    fake_gl::take();

    EXPECT_EQ(program.lookup_uniform("inverse_bind_matrix[0]"), 500);
    EXPECT_EQ(program.lookup_uniform("inverse_bind_matrix[0]"), 500);
    EXPECT_EQ(program.lookup_count, UNIFORM_LOOKUP_CAPACITY);
    EXPECT_EQ(count_calls(fake_gl::take(), "glGetUniformLocation"), 2)
        << "an uncached name asks GL every time";
    EXPECT_EQ(program.lookup_uniform("transformation_matrix[149]"), 149);
    EXPECT_EQ(program.lookup_uniform("transformation_matrix[0]"), 0);
    EXPECT_TRUE(fake_gl::take().empty()) << "cached names still hit";
}
