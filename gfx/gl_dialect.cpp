// The GL dialect (see gl_dialect.h). Owns gl_dialect; relies on SDL for the
// context attributes and, on ES, for the entry points, and on GLEW for them
// on OpenGL 2.1.
#include "gfx/gl_dialect.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

GL_DIALECT gl_dialect = GL_DIALECT_GL21;

const char* const VERTEX_ATTRIBUTE_NAMES[VERTEX_ATTRIBUTE_COUNT] = {
    "vexa_Vertex",
    "vexa_Normal",
    "vexa_MultiTexCoord0",
    "vexa_MultiTexCoord1",
};

namespace {

// Stores the address SDL finds for name in pointer; remembers the first name
// that is missing.
template <class FUNCTION> void load(FUNCTION& pointer, const char* name, const char*& missing) {
    pointer = reinterpret_cast<FUNCTION>(SDL_GL_GetProcAddress(name));
    if (!pointer && !missing) {
        missing = name;
    }
}

// The ES 2.0 entry points the engine calls beyond GL 1.1, stored where the
// GLEW header's names look for them. GL 1.1 calls go straight to the system
// library, whose dispatch follows the current context whichever API made it.
const char* load_es_entry_points() {
    const char* missing = nullptr;
#ifdef __EMSCRIPTEN__
    // The WebGL calls are linked in directly.
    return missing;
#else
#define VEXA_ES_ENTRY(name) load(__glew##name, "gl" #name, missing)
    VEXA_ES_ENTRY(ActiveTexture);
    VEXA_ES_ENTRY(GenBuffers);
    VEXA_ES_ENTRY(DeleteBuffers);
    VEXA_ES_ENTRY(BindBuffer);
    VEXA_ES_ENTRY(BufferData);
    VEXA_ES_ENTRY(BufferSubData);
    VEXA_ES_ENTRY(CreateShader);
    VEXA_ES_ENTRY(ShaderSource);
    VEXA_ES_ENTRY(CompileShader);
    VEXA_ES_ENTRY(GetShaderiv);
    VEXA_ES_ENTRY(GetShaderInfoLog);
    VEXA_ES_ENTRY(DeleteShader);
    VEXA_ES_ENTRY(CreateProgram);
    VEXA_ES_ENTRY(AttachShader);
    VEXA_ES_ENTRY(DetachShader);
    VEXA_ES_ENTRY(LinkProgram);
    VEXA_ES_ENTRY(ValidateProgram);
    VEXA_ES_ENTRY(GetProgramiv);
    VEXA_ES_ENTRY(GetProgramInfoLog);
    VEXA_ES_ENTRY(DeleteProgram);
    VEXA_ES_ENTRY(UseProgram);
    VEXA_ES_ENTRY(GetUniformLocation);
    VEXA_ES_ENTRY(GetAttribLocation);
    VEXA_ES_ENTRY(BindAttribLocation);
    VEXA_ES_ENTRY(Uniform1i);
    VEXA_ES_ENTRY(Uniform1f);
    VEXA_ES_ENTRY(Uniform2f);
    VEXA_ES_ENTRY(Uniform3f);
    VEXA_ES_ENTRY(Uniform4f);
    VEXA_ES_ENTRY(Uniform1iv);
    VEXA_ES_ENTRY(Uniform1fv);
    VEXA_ES_ENTRY(Uniform2fv);
    VEXA_ES_ENTRY(Uniform3fv);
    VEXA_ES_ENTRY(Uniform4fv);
    VEXA_ES_ENTRY(UniformMatrix4fv);
    VEXA_ES_ENTRY(VertexAttribPointer);
    VEXA_ES_ENTRY(EnableVertexAttribArray);
    VEXA_ES_ENTRY(DisableVertexAttribArray);
    VEXA_ES_ENTRY(GenFramebuffers);
    VEXA_ES_ENTRY(BindFramebuffer);
    VEXA_ES_ENTRY(DeleteFramebuffers);
    VEXA_ES_ENTRY(GenRenderbuffers);
    VEXA_ES_ENTRY(BindRenderbuffer);
    VEXA_ES_ENTRY(DeleteRenderbuffers);
    VEXA_ES_ENTRY(RenderbufferStorage);
    VEXA_ES_ENTRY(FramebufferRenderbuffer);
    VEXA_ES_ENTRY(FramebufferTexture2D);
    VEXA_ES_ENTRY(CheckFramebufferStatus);
    VEXA_ES_ENTRY(GenerateMipmap);
#undef VEXA_ES_ENTRY
    return missing;
#endif
}

// The first "major.minor" in text, as major * 100 + minor; 0 when none.
int version_number(const char* text) {
    if (!text) {
        return 0;
    }
    for (const char* p = text; *p; ++p) {
        int major = 0, minor = 0;
        if (*p >= '0' && *p <= '9' && std::sscanf(p, "%d.%d", &major, &minor) == 2) {
            return major * 100 + minor;
        }
    }
    return 0;
}

} // namespace

bool gl_dialect_parse(const char* value, GL_DIALECT& dialect) {
    if (!value || !*value || std::strcmp(value, "gl21") == 0) {
        dialect = GL_DIALECT_GL21;
        return true;
    }
    if (std::strcmp(value, "gles2") == 0) {
        dialect = GL_DIALECT_GLES2;
        return true;
    }
    return false;
}

void gl_dialect_context_attributes(int samples) {
    SDL_GL_SetAttribute(SDL_GL_ACCELERATED_VISUAL, 1);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    if (gl_dialect_es()) {
        // SDL's X11 driver makes ES contexts through GLX unless told to use
        // EGL; Mesa offers ES 2.0 through either, GLX only with an extension.
        SDL_SetHint(SDL_HINT_OPENGL_ES_DRIVER, "1");
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
    }
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 16);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLEBUFFERS, samples > 0 ? 1 : 0);
    SDL_GL_SetAttribute(SDL_GL_MULTISAMPLESAMPLES, samples);
}

bool gl_dialect_load_entry_points(char* why, size_t size) {
    if (gl_dialect_es()) {
        if (const char* missing = load_es_entry_points()) {
            std::snprintf(why, size, "the OpenGL ES context has no %s", missing);
            return false;
        }
        return true;
    }
    glewExperimental = GL_TRUE;
    const GLenum glew = glewInit();
    if (glew != GLEW_OK) {
        std::snprintf(why, size, "GLEW: %s",
                      reinterpret_cast<const char*>(glewGetErrorString(glew)));
        return false;
    }
    // glewInit may leave an error behind on some drivers.
    glGetError();
    return true;
}

bool gl_dialect_version_ok(char* why, size_t size) {
    const char* gl = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    const char* sl = reinterpret_cast<const char*>(glGetString(GL_SHADING_LANGUAGE_VERSION));
    const int gl_version = version_number(gl), sl_version = version_number(sl);
    const bool es_context = gl && std::strncmp(gl, "OpenGL ES", 9) == 0;
    bool ok;
    const char* need;
    if (gl_dialect_es()) {
        ok = es_context && gl_version >= 200 && sl_version >= 100;
        need = "OpenGL ES 2.0 and GLSL ES 1.00";
    } else {
        ok = !es_context && gl_version >= 201 && sl_version >= 120;
        need = "OpenGL 2.1 and GLSL 1.20";
    }
    if (!ok) {
        std::snprintf(why, size, "OpenGL %s with GLSL %s, need %s", gl ? gl : "(unknown)",
                      sl ? sl : "(none)", need);
    }
    return ok;
}

void gl_read_from_back_buffer() {
    if (!gl_dialect_es()) {
        glReadBuffer(GL_BACK);
        gl_check();
    }
}

const char* gl_version_string() {
    const char* gl = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    return gl ? gl : "(unknown)";
}
