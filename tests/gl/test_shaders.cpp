// The eight GLSL files under shaders/ on real OpenGL 2.1: every program of
// the set compiles and links with the injected header, exposes exactly the
// uniforms the engine sends to it, and draws with them.
#include "shader/program.h"
#include "tests/support/gl_fixture.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace {

class SHADERS : public GL_TEST {
  protected:
    void SetUp() override {
        GL_TEST::SetUp();
        if (IsSkipped()) {
            return;
        }
        reset_shader_programs();
        testing::internal::CaptureStderr();
        create_program_set();
        build_errors = testing::internal::GetCapturedStderr();
    }
    void TearDown() override { reset_shader_programs(); }

    std::string build_errors;
};

std::set<std::string> active_uniforms(GLuint program) {
    std::set<std::string> names;
    GLint count = 0;
    glGetProgramiv(program, GL_ACTIVE_UNIFORMS, &count);
    for (GLint i = 0; i < count; ++i) {
        char name[256];
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(program, GLuint(i), sizeof name, nullptr, &size, &type, name);
        std::string base = name;
        if (base.size() > 3 && base.compare(base.size() - 3, 3, "[0]") == 0) {
            base.resize(base.size() - 3);
            for (GLint e = 0; e < size; ++e) {
                names.insert(base + "[" + std::to_string(e) + "]");
            }
        } else {
            names.insert(base);
        }
    }
    return names;
}

std::set<std::string> sprite3d_uniforms() {
    std::set<std::string> names = {"ModelViewProjectionMatrix",
                                   "WorldMatrix",
                                   "NormalMatrix",
                                   "posicion_camara_world",
                                   "g_LightModel.ambient",
                                   "shader_texture_ids[0]",
                                   "shader_texture_ids[1]",
                                   "texture_rows_bottom_up",
                                   "colour_complement"};
    for (const char* member : {"specular", "emission", "transparency", "numTextures",
                               "offset_animacion0", "offset_animacion1"}) {
        names.insert(std::string("g_DatosMaterial.") + member);
    }
    for (int i = 0; i < MAX_LIGHTS; ++i) {
        for (const char* member : {"type", "diffuse", "position", "direction", "attenuation_start",
                                   "attenuation_end", "hotspot_beam", "falloff"}) {
            names.insert("g_Lights[" + std::to_string(i) + "]." + member);
        }
    }
    return names;
}

// Fills the window with a quad in normalised device coordinates, texture
// coordinates 0..1, through the given program with an identity MVP.
void draw_full_window_quad(SHADER_PROGRAM* program) {
    static const float IDENTITY[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glUseProgram(program->program);
    glUniformMatrix4fv(program->matrix_locations.model_view_projection, 1, GL_FALSE, IDENTITY);
    glViewport(0, 0, 1024, 600);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBegin(GL_QUADS);
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& c : corners) {
        glMultiTexCoord2f(GL_TEXTURE0, (c[0] + 1) / 2, (c[1] + 1) / 2);
        glNormal3f(0, 0, 1);
        glVertex4f(c[0], c[1], 0, 1);
    }
    glEnd();
}

void expect_pixel(int r, int g, int b) {
    RGBA p = gl_pixel(512, 300);
    EXPECT_NEAR(p.r, r, 2);
    EXPECT_NEAR(p.g, g, 2);
    EXPECT_NEAR(p.b, b, 2);
}

} // namespace

TEST_F(SHADERS, all_four_programs_compile_and_link_with_the_real_files) {
    EXPECT_EQ(build_errors, "") << "no compile, link or GL error was reported";
    for (SHADER_PROGRAM* program :
         {program_sprite3d, program_sprites2d, program_primitives2d, program_primitives3d}) {
        ASSERT_NE(program, nullptr);
        for (const SHADER_STAGE* stage = program->stages; stage; stage = stage->next) {
            GLint compiled = 0;
            glGetShaderiv(stage->shader, GL_COMPILE_STATUS, &compiled);
            EXPECT_EQ(compiled, GL_TRUE) << stage->file->path;
        }
        GLint linked = 0;
        glGetProgramiv(program->program, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE) << program->stages->file->path;
        // No program of the set is skinned and none receives the projection alone.
        EXPECT_EQ(program->joint_indices_location, -1);
        EXPECT_EQ(program->joint_weights_location, -1);
        EXPECT_EQ(program->matrix_locations.projection, -1);
        EXPECT_NE(program->matrix_locations.model_view_projection, -1);
    }
}

TEST_F(SHADERS, each_program_exposes_exactly_the_uniforms_the_engine_sends) {
    EXPECT_EQ(active_uniforms(program_sprite3d->program), sprite3d_uniforms());
    EXPECT_EQ(active_uniforms(program_sprites2d->program),
              (std::set<std::string>{"ModelViewProjectionMatrix", "shader_texture_ids[0]",
                                     "colour_complement"}));
    EXPECT_EQ(active_uniforms(program_primitives2d->program),
              (std::set<std::string>{"ModelViewProjectionMatrix"}));
    // Drivers may keep a whole uniform struct active when one member is used.
    std::set<std::string> primitives3d = active_uniforms(program_primitives3d->program);
    for (const char* used : {"ModelViewProjectionMatrix", "g_DatosMaterial.emission",
                             "g_DatosMaterial.transparency"}) {
        EXPECT_EQ(primitives3d.count(used), 1u) << used;
    }
    for (const std::string& name : primitives3d) {
        EXPECT_TRUE(name == "ModelViewProjectionMatrix" || name.rfind("g_DatosMaterial.", 0) == 0)
            << name;
    }

    // The sprite3d record caches a location for every name it sends.
    const SHADER_PROGRAM& sprite = *program_sprite3d;
    for (const LIGHT_LOCATIONS& light : sprite.light_locations) {
        for (int32_t location :
             {light.type, light.diffuse, light.position, light.direction, light.attenuation_start,
              light.attenuation_end, light.hotspot_beam, light.falloff}) {
            EXPECT_NE(location, -1);
        }
    }
    const MATERIAL_LOCATIONS& m = sprite.material_locations;
    for (int32_t location :
         {m.specular, m.emission, m.transparency, m.num_textures, m.offset_animacion0,
          m.offset_animacion1, sprite.matrix_locations.world, sprite.matrix_locations.normal,
          sprite.camera_position_location, sprite.ambient_location}) {
        EXPECT_NE(location, -1);
    }
    EXPECT_NE(program_primitives3d->material_locations.emission, -1);
    EXPECT_NE(program_primitives3d->material_locations.transparency, -1);
    EXPECT_EQ(program_sprites2d->light_locations[0].type, -1) << "no g_Lights in 2D sprites";
}

TEST_F(SHADERS, programs_draw_their_picture_or_colour) {
    // 2D primitives: the vertex colour.
    glColor4f(1, 0, 0, 1);
    draw_full_window_quad(program_primitives2d);
    expect_pixel(255, 0, 0);

    // 3D primitives: the material's emission as a plain colour.
    glUseProgram(program_primitives3d->program);
    glUniform3f(program_primitives3d->material_locations.emission, 0, 0, 1);
    glUniform1f(program_primitives3d->material_locations.transparency, 1);
    draw_full_window_quad(program_primitives3d);
    expect_pixel(0, 0, 255);

    // 2D sprites: the picture on texture unit 0 (sampler 0 was set at build).
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    const unsigned char teal[4] = {0, 128, 128, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, teal);
    glColor4f(1, 1, 1, 1);
    draw_full_window_quad(program_sprites2d);
    expect_pixel(0, 128, 128);

    // 3D sprite, unlit: texture times ambient, plus emission.
    const SHADER_PROGRAM& s = *program_sprite3d;
    glUseProgram(s.program);
    glUniform1i(s.material_locations.num_textures, 1);
    glUniform1f(s.material_locations.transparency, 1);
    glUniform3f(s.material_locations.emission, 0.5f, 0, 0);
    glUniform3f(s.ambient_location, 1, 1, 1);
    static const float IDENTITY[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glUniformMatrix4fv(s.matrix_locations.world, 1, GL_FALSE, IDENTITY);
    glUniformMatrix4fv(s.matrix_locations.normal, 1, GL_FALSE, IDENTITY);
    for (const LIGHT_LOCATIONS& light : s.light_locations) {
        glUniform1i(light.type, 0);
    }
    draw_full_window_quad(program_sprite3d);
    expect_pixel(128, 128, 128);

    // One directional light shining straight at the quad adds its colour.
    glUniform1i(s.light_locations[2].type, 3);
    glUniform3f(s.light_locations[2].diffuse, 0, 0, 1);
    glUniform3f(s.light_locations[2].direction, 0, 0, 1);
    glUniform3f(s.ambient_location, 0, 0, 0);
    glUniform3f(s.material_locations.emission, 0, 0, 0);
    draw_full_window_quad(program_sprite3d);
    expect_pixel(0, 0, 128);

    glDeleteTextures(1, &texture);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(SHADERS, specular_highlight_faces_the_eye_the_stored_camera_position_stands_for) {
    // A white untextured surface at z = 0 facing +z, no ambient or emission,
    // one directional light shining along its normal.
    const SHADER_PROGRAM& s = *program_sprite3d;
    static const float IDENTITY[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glUseProgram(s.program);
    glUniform1i(s.material_locations.num_textures, 0);
    glUniform1f(s.material_locations.transparency, 1);
    glUniform3f(s.material_locations.emission, 0, 0, 0);
    glUniform3f(s.material_locations.specular, 1, 1, 1);
    glUniform3f(s.ambient_location, 0, 0, 0);
    glUniformMatrix4fv(s.matrix_locations.world, 1, GL_FALSE, IDENTITY);
    glUniformMatrix4fv(s.matrix_locations.normal, 1, GL_FALSE, IDENTITY);
    for (const LIGHT_LOCATIONS& light : s.light_locations) {
        glUniform1i(light.type, 0);
    }
    glUniform1i(s.light_locations[0].type, 3);
    glUniform3f(s.light_locations[0].diffuse, 0.25f, 0.25f, 0.25f);
    glUniform3f(s.light_locations[0].direction, 0, 0, 1);

    // Stored z = -5 is the eye at world z = +5, in front of the surface and
    // on the light's side: diffuse 0.25 plus a full highlight of 0.25.
    glUniform3f(s.camera_position_location, 0, 0, -5);
    draw_full_window_quad(program_sprite3d);
    expect_pixel(128, 128, 128);

    // Stored z = +5 is the eye behind the surface, opposite the light: no
    // halfway vector, so diffuse only and no NaN.
    glUseProgram(s.program);
    glUniform3f(s.camera_position_location, 0, 0, 5);
    draw_full_window_quad(program_sprite3d);
    expect_pixel(64, 64, 64);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
