// GL error-flag helper and the context-alive flag.
#include "gfx/gl.h"

#include <cstdio>

bool gl_context_alive = false;

const char* gl_error_name(GLenum error) {
    switch (error) {
    case GL_NO_ERROR:
        return "GL_NO_ERROR";
    case GL_INVALID_ENUM:
        return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE:
        return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION:
        return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW:
        return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW:
        return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY:
        return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION_EXT:
        return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default:
        return "unknown";
    }
}

void gl_check_at([[maybe_unused]] const char* file, [[maybe_unused]] int line) {
    GLenum error = glGetError();
#ifndef NDEBUG
    if (error != GL_NO_ERROR) {
        std::fprintf(stderr, "%s:%d: GL error %s (0x%04x)\n", file, line, gl_error_name(error),
                     error);
    }
#else
    (void)error;
#endif
}
