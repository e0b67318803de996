// The engine's one way into OpenGL: the GLEW header (GL 1.1 plus the entry
// points GLEW loads) and the error-flag helper read after every GL call.
// Owns the "a GL context exists" flag that destructors running at process
// exit consult before they touch GL.
#pragma once

#include <GL/glew.h>

// Reads and clears the GL error flag. Debug builds print the call site and
// the error's name to stderr; release builds discard the value.
void gl_check_at(const char* file, int line);
#define gl_check() gl_check_at(__FILE__, __LINE__)

// The name of a GL error code ("GL_INVALID_ENUM", ...), or "unknown".
const char* gl_error_name(GLenum error);

// True between the creation of the engine's GL context and process exit.
// Code that may run from static destructors checks it before any GL call.
extern bool gl_context_alive;
