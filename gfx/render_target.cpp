// Render targets and the bound-framebuffer cache (see render_target.h). Owns
// screen_targets and bound_framebuffer; uses the framebuffer entry points of
// the GL dialect (EXT on OpenGL 2.1, core on ES 2.0), the texture table for
// colour textures and the buffer classes for the screen quad.
#include "gfx/render_target.h"

#include "gfx/gl_dialect.h"

#include <cassert>

namespace {

// The framebuffer entry points of one dialect: EXT_framebuffer_object on
// OpenGL 2.1, the core ones on ES 2.0 (the enum values are the same). Every
// framebuffer call goes through the table chosen with the dialect, so no
// path can call an entry point the context does not have (an ES context has
// no EXT pointers at all). The wrappers read GLEW's pointers at call time.
struct FRAMEBUFFER_FUNCTIONS {
    void (*gen_framebuffer)(GLuint* name);
    void (*bind_framebuffer)(GLuint name);
    void (*delete_framebuffer)(const GLuint* name);
    void (*gen_renderbuffer)(GLuint* name);
    void (*bind_renderbuffer)(GLuint name);
    void (*delete_renderbuffer)(const GLuint* name);
    void (*renderbuffer_storage)(GLenum format, GLsizei width, GLsizei height);
    void (*attach_renderbuffer)(GLenum attachment, GLuint name);
    void (*attach_texture)(GLenum attachment, GLuint texture);
    GLenum (*check_status)();
    GLenum depth_format; // ES 2.0 takes only sized depth formats
};

const FRAMEBUFFER_FUNCTIONS ES_FRAMEBUFFER_FUNCTIONS = {
    [](GLuint* name) { glGenFramebuffers(1, name); },
    [](GLuint name) { glBindFramebuffer(GL_FRAMEBUFFER, name); },
    [](const GLuint* name) { glDeleteFramebuffers(1, name); },
    [](GLuint* name) { glGenRenderbuffers(1, name); },
    [](GLuint name) { glBindRenderbuffer(GL_RENDERBUFFER, name); },
    [](const GLuint* name) { glDeleteRenderbuffers(1, name); },
    [](GLenum format, GLsizei width, GLsizei height) {
        glRenderbufferStorage(GL_RENDERBUFFER, format, width, height);
    },
    [](GLenum attachment, GLuint name) {
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, name);
    },
    [](GLenum attachment, GLuint texture) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, attachment, GL_TEXTURE_2D, texture, 0);
    },
    []() { return glCheckFramebufferStatus(GL_FRAMEBUFFER); },
    GL_DEPTH_COMPONENT16,
};

const FRAMEBUFFER_FUNCTIONS EXT_FRAMEBUFFER_FUNCTIONS = {
    [](GLuint* name) { glGenFramebuffersEXT(1, name); },
    [](GLuint name) { glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, name); },
    [](const GLuint* name) { glDeleteFramebuffersEXT(1, name); },
    [](GLuint* name) { glGenRenderbuffersEXT(1, name); },
    [](GLuint name) { glBindRenderbufferEXT(GL_RENDERBUFFER_EXT, name); },
    [](const GLuint* name) { glDeleteRenderbuffersEXT(1, name); },
    [](GLenum format, GLsizei width, GLsizei height) {
        glRenderbufferStorageEXT(GL_RENDERBUFFER_EXT, format, width, height);
    },
    [](GLenum attachment, GLuint name) {
        glFramebufferRenderbufferEXT(GL_FRAMEBUFFER_EXT, attachment, GL_RENDERBUFFER_EXT, name);
    },
    [](GLenum attachment, GLuint texture) {
        glFramebufferTexture2DEXT(GL_FRAMEBUFFER_EXT, attachment, GL_TEXTURE_2D, texture, 0);
    },
    // GLEW leaves the core pointer null on a GL 2.1 driver without
    // ARB_framebuffer_object; the EXT one is what such drivers offer.
    []() -> GLenum {
        if (glCheckFramebufferStatus) {
            return glCheckFramebufferStatus(GL_FRAMEBUFFER);
        }
        if (glCheckFramebufferStatusEXT) {
            return glCheckFramebufferStatusEXT(GL_FRAMEBUFFER_EXT);
        }
        return 0;
    },
    GL_DEPTH_COMPONENT,
};

const FRAMEBUFFER_FUNCTIONS& framebuffer_functions() {
    return gl_dialect_es() ? ES_FRAMEBUFFER_FUNCTIONS : EXT_FRAMEBUFFER_FUNCTIONS;
}

void gl_bind_framebuffer(GLuint name) {
    framebuffer_functions().bind_framebuffer(name);
    gl_check();
}

// Generates a depth renderbuffer of the given size, leaves it bound and
// attaches it to the bound framebuffer.
void gl_attach_new_depth_buffer(GLuint* name, int width, int height) {
    const FRAMEBUFFER_FUNCTIONS& gl = framebuffer_functions();
    gl.gen_renderbuffer(name);
    gl_check();
    gl.bind_renderbuffer(*name);
    gl_check();
    gl.renderbuffer_storage(gl.depth_format, width, height);
    gl_check();
    gl.attach_renderbuffer(GL_DEPTH_ATTACHMENT, *name);
    gl_check();
}

} // namespace

SCREEN_TARGETS screen_targets;
int32_t bound_framebuffer = -1;

void render_targets_reset() {
    bound_framebuffer = -1;
    SCREEN_TARGETS& s = screen_targets;
    s.colour_texture = s.second_texture = s.third_texture = NO_SLOT;
    s.framebuffer = s.depth_buffer = 0;
    s.status = 0;
    // The tables are reset separately and may already be empty: drop the
    // slots instead of releasing them into a table that no longer has them.
    s.quad_vertices.slot = -1;
    s.quad_indices.slot = -1;
    s.quad_vertices = VERTEXBUFFER{};
    s.quad_indices = INDEXBUFFER{};
}

void framebuffer_cache_forget() {
    bound_framebuffer = -1;
}

void framebuffer_bind(GLuint name) {
    if (bound_framebuffer == int32_t(name)) {
        return;
    }
    bound_framebuffer = int32_t(name);
    gl_bind_framebuffer(name);
}

void framebuffer_unbind() {
    if (bound_framebuffer == 0) {
        return;
    }
    bound_framebuffer = 0;
    gl_bind_framebuffer(0);
}

GLenum framebuffer_check_status() {
    const GLenum status = framebuffer_functions().check_status();
    gl_check();
    return status;
}

uint32_t render_target_texture_create(int width, int height) {
    return texture_create(width, height, GL_NEAREST_MIPMAP_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE,
                          GL_RGBA, nullptr);
}

uint32_t sampled_target_texture_create(int width, int height) {
    return texture_create(width, height, GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, GL_RGBA, nullptr);
}

void render_target_texture_make_sampled(uint32_t slot) {
    texture_bind(0, slot);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl_check();
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl_check();
}

void render_target_begin(RENDER_TARGET& target, int width, int height) {
    framebuffer_functions().gen_framebuffer(&target.framebuffer);
    gl_check();
    framebuffer_bind(target.framebuffer);
    gl_attach_new_depth_buffer(&target.depth_buffer, width, height);
}

void render_target_finish(RENDER_TARGET& target, uint32_t colour_slot) {
    // A cache hit right after begin; rebinds if anything bound another
    // framebuffer while the colour texture was made.
    framebuffer_bind(target.framebuffer);
    target.colour_texture = colour_slot;
    framebuffer_functions().attach_texture(GL_COLOR_ATTACHMENT0, texture_gl_name(colour_slot));
    gl_check();
    target.status = framebuffer_check_status();
    framebuffer_unbind();
}

namespace {

// Framebuffer and depth renderbuffer first, then the colour texture.
RENDER_TARGET target_around(int width, int height, uint32_t (*make_texture)(int, int)) {
    RENDER_TARGET target;
    render_target_begin(target, width, height);
    uint32_t colour = make_texture(width, height);
    render_target_finish(target, colour);
    return target;
}

} // namespace

RENDER_TARGET render_target_create(int width, int height) {
    return target_around(width, height, render_target_texture_create);
}

RENDER_TARGET sampled_render_target_create(int width, int height) {
    return target_around(width, height, sampled_target_texture_create);
}

void render_target_destroy(RENDER_TARGET& target) {
    if (target.framebuffer != 0 && bound_framebuffer == int32_t(target.framebuffer)) {
        framebuffer_unbind();
    }
    if (gl_context_alive) {
        if (target.framebuffer != 0) {
            framebuffer_functions().delete_framebuffer(&target.framebuffer);
            gl_check();
        }
        if (target.depth_buffer != 0) {
            framebuffer_functions().delete_renderbuffer(&target.depth_buffer);
            gl_check();
        }
    }
    if (target.colour_texture != NO_SLOT) {
        texture_release(target.colour_texture);
    }
    target = RENDER_TARGET{};
}

void create_screen_targets(int width, int height) {
    SCREEN_TARGETS& s = screen_targets;

    // Textures first, then the framebuffer around the first of them.
    s.colour_texture = render_target_texture_create(width, height);
    s.second_texture = render_target_texture_create(width, height);
    s.third_texture = render_target_texture_create(width, height);
    RENDER_TARGET target;
    render_target_begin(target, width, height);
    render_target_finish(target, s.colour_texture);
    s.framebuffer = target.framebuffer;
    s.depth_buffer = target.depth_buffer;
    s.status = target.status;

    // The screen quad: static storage, indices once, vertices covering the
    // window with the top edge sampling v = 1 (a framebuffer texture's rows
    // run bottom-up).
    s.quad_vertices.reserve_quad(USAGE_STATIC);
    s.quad_indices.reserve_quad();
    for (int i = 0; i < QUAD_INDEX_COUNT; ++i) {
        s.quad_indices.data[i] = QUAD_INDICES[i];
    }
    s.quad_indices.upload(QUAD_INDEX_COUNT);
    write_quad_vertices(0.0f, float(height - 1), float(width - 1), 0.0f, 0.0f, 0.0f, 1.0f, 1.0f);
}

void write_quad_vertices(float xa, float ya, float xb, float yb, float ua, float va, float ub,
                         float vb) {
    VERTEXBUFFER& quad = screen_targets.quad_vertices;
    bool ready = quad.data && quad.count >= QUAD_VERTEX_COUNT;
    assert(ready && "screen quad written before create_screen_targets");
    if (!ready) {
        return;
    }
    const float corners[QUAD_VERTEX_COUNT][4] = {
        {xa, ya, ua, va},
        {xa, yb, ua, vb},
        {xb, yb, ub, vb},
        {xb, ya, ub, va},
    };
    for (int i = 0; i < QUAD_VERTEX_COUNT; ++i) {
        VERTEX& v = quad.data[i];
        v.position[0] = corners[i][0];
        v.position[1] = corners[i][1];
        v.position[2] = 0.0f;
        v.position[3] = 1.0f;
        v.texcoord0[0] = corners[i][2];
        v.texcoord0[1] = corners[i][3];
    }
    quad.upload(quad.count);
}
