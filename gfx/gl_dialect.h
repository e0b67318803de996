// The GL dialect the engine speaks: OpenGL 2.1 (fixed-function client arrays,
// EXT framebuffers, GLSL 1.20) or OpenGL ES 2.0 / WebGL 1 (generic vertex
// attributes at fixed locations, core framebuffers, GLSL ES 1.00). Owns the
// global gl_dialect, chosen once before the window is made; the context
// attributes, the entry-point loading and the version check of each dialect
// live here, and gfx/ and shader/ ask gl_dialect_es() where they differ.
#pragma once

#include "gfx/gl.h"

#include <cstddef>
#include <cstdint>

enum GL_DIALECT : int32_t {
    GL_DIALECT_GL21 = 0,
    GL_DIALECT_GLES2 = 1,
};

extern GL_DIALECT gl_dialect;

#ifdef __EMSCRIPTEN__
// A browser offers WebGL 1, that is OpenGL ES 2.0, and nothing else: the
// dialect is fixed when compiling, and the OpenGL 2.1 paths, whose entry
// points WebGL lacks, fall away.
constexpr bool gl_dialect_es() {
    return true;
}
#else
inline bool gl_dialect_es() {
    return gl_dialect == GL_DIALECT_GLES2;
}
#endif

// The dialect a VEXA_GL value names: null or "" or "gl21" for OpenGL 2.1,
// "gles2" for OpenGL ES 2.0. False for anything else.
bool gl_dialect_parse(const char* value, GL_DIALECT& dialect);

// Generic attribute locations of the engine's vertex layout in the ES
// dialect. The source loader maps gl_Vertex, gl_Normal, gl_MultiTexCoord0 and
// gl_MultiTexCoord1 to these attributes; the program builder binds them to
// these locations before linking; bind_vertex_format points them at VERTEX.
enum VERTEX_ATTRIBUTE : GLuint {
    ATTRIBUTE_POSITION = 0, // location 0 must be an array in WebGL
    ATTRIBUTE_NORMAL = 1,
    ATTRIBUTE_TEXCOORD0 = 2,
    ATTRIBUTE_TEXCOORD1 = 3,
    VERTEX_ATTRIBUTE_COUNT = 4,
};
extern const char* const VERTEX_ATTRIBUTE_NAMES[VERTEX_ATTRIBUTE_COUNT];

// SDL context attributes for one try of window creation, multisampled with
// samples (0: none). Must run before SDL_CreateWindow.
void gl_dialect_context_attributes(int samples);

// Loads the GL entry points beyond GL 1.1 for the current context: GLEW on
// OpenGL 2.1, SDL_GL_GetProcAddress on ES (GLEW does not initialise on an EGL
// context). False with a reason in why when an entry point is missing.
bool gl_dialect_load_entry_points(char* why, size_t size);

// True when the current context can run the dialect: OpenGL 2.1 with GLSL
// 1.20, or OpenGL ES 2.0 with GLSL ES 1.00. Otherwise false with a reason.
bool gl_dialect_version_ok(char* why, size_t size);

// Makes the back buffer the source of glReadPixels: glReadBuffer on OpenGL
// 2.1; nothing on ES 2.0, which always reads the surface being drawn.
void gl_read_from_back_buffer();

// The context's GL_VERSION string ("(unknown)" without a context).
const char* gl_version_string();
