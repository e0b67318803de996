// The OpenGL ES 2.0 dialect against the recording GL stand-in: set-up and one
// draw through generic attributes, a render target through the core
// framebuffer calls, the stage sources the loader makes ES-ready and a
// picture re-uploaded at another size.
#include "gfx/frame_stats.h"
#include "gfx/gl_dialect.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "gfx/vertex_buffer.h"
#include "scene/texture.h"
#include "shader/program.h"
#include "shader/source.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using fake_gl::call;
using LOG = std::vector<std::string>;

namespace {

const void* offset(size_t bytes) {
    return reinterpret_cast<const void*>(bytes);
}

class ES_DIALECT : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        render_targets_reset();
        handle_tables_reset();
        frame_stats_reset();
        reset_file_cache();
        gl_context_alive = true;
        gl_dialect = GL_DIALECT_GLES2;
        // An ES context has no EXT framebuffer entry points: a call through
        // one of them crashes here as it would on a device.
        saved_ext = {__glewGenFramebuffersEXT, __glewBindFramebufferEXT,
                     __glewDeleteFramebuffersEXT, __glewDeleteRenderbuffersEXT};
        __glewGenFramebuffersEXT = nullptr;
        __glewBindFramebufferEXT = nullptr;
        __glewDeleteFramebuffersEXT = nullptr;
        __glewDeleteRenderbuffersEXT = nullptr;
    }
    void TearDown() override {
        __glewGenFramebuffersEXT = std::get<0>(saved_ext);
        __glewBindFramebufferEXT = std::get<1>(saved_ext);
        __glewDeleteFramebuffersEXT = std::get<2>(saved_ext);
        __glewDeleteRenderbuffersEXT = std::get<3>(saved_ext);
        gl_dialect = GL_DIALECT_GL21;
        gl_context_alive = false;
        reset_file_cache();
    }
    std::tuple<PFNGLGENFRAMEBUFFERSEXTPROC, PFNGLBINDFRAMEBUFFEREXTPROC,
               PFNGLDELETEFRAMEBUFFERSEXTPROC, PFNGLDELETERENDERBUFFERSEXTPROC>
        saved_ext;
};

// The precision statements of a stage's injected header with the
// preprocessor conditions they sit in, in order.
std::vector<std::string> precision_lines(const std::string& source) {
    std::vector<std::string> lines;
    const std::string header = source.substr(0, source.find("End of code injection"));
    size_t at = 0;
    while (at < header.size()) {
        size_t end = header.find('\n', at);
        end = end == std::string::npos ? header.size() : end;
        const std::string line = header.substr(at, end - at);
        if (line.rfind("precision ", 0) == 0 || line.rfind("#if", 0) == 0 ||
            line.rfind("#else", 0) == 0 || line.rfind("#endif", 0) == 0) {
            lines.push_back(line);
        }
        at = end + 1;
    }
    return lines;
}

} // namespace

TEST_F(ES_DIALECT, set_up_and_one_draw_go_through_generic_attributes) {
    gl_setup(true);
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glFrontFace", GLenum(GL_CCW)),
                                   call("glEnableVertexAttribArray", 0u),
                                   call("glEnableVertexAttribArray", 1u),
                                   call("glEnableVertexAttribArray", 2u),
                                   call("glEnableVertexAttribArray", 3u),
                               }));

    VERTEXBUFFER vertices;
    INDEXBUFFER indices;
    vertices.reserve_quad(USAGE_STATIC);
    indices.reserve_quad();
    fake_gl::take();
    draw_buffers(vertices, indices);
    const GLenum f = GL_FLOAT;
    EXPECT_EQ(
        fake_gl::take(),
        (LOG{
            call("glVertexAttribPointer", 0u, 4, f, GLboolean(0), 88, offset(0)),
            call("glVertexAttribPointer", 1u, 3, f, GLboolean(0), 88, offset(16)),
            call("glVertexAttribPointer", 2u, 2, f, GLboolean(0), 88, offset(28)),
            call("glVertexAttribPointer", 3u, 2, f, GLboolean(0), 88, offset(36)),
            call("glDrawElements", GLenum(GL_TRIANGLES), 6, GLenum(GL_UNSIGNED_SHORT), offset(0)),
        }));
}

TEST_F(ES_DIALECT, render_target_uses_core_framebuffers_and_clamps_its_odd_sized_texture) {
    RENDER_TARGET target = render_target_create(100, 50);
    const GLuint texture = texture_gl_name(target.colour_texture);
    LOG expected = {
        call("glGenFramebuffers", 1),
        call("glBindFramebuffer", GLenum(GL_FRAMEBUFFER), 1u),
        call("glGenRenderbuffers", 1),
        call("glBindRenderbuffer", GLenum(GL_RENDERBUFFER), 1u),
        call("glRenderbufferStorage", GLenum(GL_RENDERBUFFER), GLenum(GL_DEPTH_COMPONENT16), 100,
             50),
        call("glFramebufferRenderbuffer", GLenum(GL_FRAMEBUFFER), GLenum(GL_DEPTH_ATTACHMENT),
             GLenum(GL_RENDERBUFFER), 1u),
    };
    // Not a power of two: no mipmap filter and clamped, or ES would not sample it.
    for (const std::string& line : fake_gl::texture_create_calls(
             texture, 100, 50, GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_RGBA, nullptr)) {
        expected.push_back(line);
    }
    expected.push_back(call("glFramebufferTexture2D", GLenum(GL_FRAMEBUFFER),
                            GLenum(GL_COLOR_ATTACHMENT0), GLenum(GL_TEXTURE_2D), texture, 0));
    expected.push_back(call("glCheckFramebufferStatus", GLenum(GL_FRAMEBUFFER)));
    expected.push_back(call("glBindFramebuffer", GLenum(GL_FRAMEBUFFER), 0u));
    EXPECT_EQ(fake_gl::take(), expected);

    // Destroying it deletes through the core entry points too.
    render_target_destroy(target);
    const LOG log = fake_gl::take();
    EXPECT_NE(std::find(log.begin(), log.end(), call("glDeleteFramebuffers", 1, 1u)), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), call("glDeleteRenderbuffers", 1, 1u)), log.end());
}

TEST_F(ES_DIALECT, stages_are_glsl_es_and_the_builtins_bound_before_linking) {
    SHADER_PROGRAM program;
    build_program(&program, "shaders/2d_passthrough_vs.glsl", "shaders/2d_primitives_fs.glsl");
    const std::vector<std::string>& sources = fake_gl::state().shader_sources;
    ASSERT_EQ(sources.size(), 2u);
    const std::string& vs = sources[0];
    const std::string& fs = sources[1];
    // The version line keeps its place (line 5) and the file its text.
    EXPECT_EQ(vs.find("\n#version 100\n"), fs.find("\n#version 100\n"));
    EXPECT_NE(vs.find("\n#version 100\n"), std::string::npos);
    EXPECT_EQ(vs.find("#version 120"), std::string::npos);
    EXPECT_NE(vs.find("attribute vec4 vexa_Vertex;\n#define gl_Vertex vexa_Vertex\n"),
              std::string::npos);
    EXPECT_NE(vs.find("#define gl_FrontColor vexa_FrontColor\n"), std::string::npos);
    EXPECT_NE(fs.find("precision highp float;"), std::string::npos);
    // Uniforms shared by both stages link only with the same precision: the
    // injected precision statements, and the conditions around them, agree.
    EXPECT_EQ(precision_lines(vs), precision_lines(fs));
    EXPECT_GE(precision_lines(vs).size(), 4u);
    EXPECT_NE(fs.find("#define gl_Color vexa_FrontColor\n"), std::string::npos);
    EXPECT_EQ(fs.find("attribute"), std::string::npos);
    EXPECT_NE(vs.find("gl_Position = ModelViewProjectionMatrix * gl_Vertex;"), std::string::npos);

    const LOG log = fake_gl::log();
    const std::string link = call("glLinkProgram", program.program);
    auto at = std::find(log.begin(), log.end(), link);
    ASSERT_NE(at, log.end());
    ASSERT_GE(at - log.begin(), 4);
    for (GLuint a = 0; a < VERTEX_ATTRIBUTE_COUNT; ++a) {
        EXPECT_EQ(*(at - 4 + a),
                  call("glBindAttribLocation", program.program, a, VERTEX_ATTRIBUTE_NAMES[a]));
    }
}

TEST_F(ES_DIALECT, a_picture_uploaded_again_at_another_size_is_sampled_as_that_size_allows) {
    TEXTURE* texture = create_texture(16, 16);
    ASSERT_NE(texture, nullptr);
    const auto wrap_call = [](GLint wrap) {
        return call("glTexParameteri", GLenum(GL_TEXTURE_2D), GLenum(GL_TEXTURE_WRAP_S), wrap);
    };
    // Made at 16 x 16 with mirrored repeat; the picture grows to 100 x 50,
    // which ES samples only clamped: the wrap changes before the upload.
    ASSERT_TRUE(resize_image(texture->image, 100, 50));
    texture_take_picture(texture);
    fake_gl::take();
    bind_texture(texture, 0);
    LOG log = fake_gl::take();
    auto clamp = std::find(log.begin(), log.end(), wrap_call(GL_CLAMP_TO_EDGE));
    auto upload = std::find_if(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind("glTexImage2D(", 0) == 0;
    });
    ASSERT_NE(upload, log.end());
    EXPECT_LT(clamp, upload);
    // Back at a power of two the picture repeats again.
    ASSERT_TRUE(resize_image(texture->image, 32, 64));
    texture_take_picture(texture);
    bind_texture(texture, 0);
    log = fake_gl::take();
    EXPECT_NE(std::find(log.begin(), log.end(), wrap_call(GL_MIRRORED_REPEAT)), log.end());
    release_texture(texture);
}
