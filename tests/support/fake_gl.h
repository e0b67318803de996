// Recording stand-in for GL: every GL entry point the engine calls is defined
// here and appends one line "glName(arg, arg, ...)" to a log, so a test can
// state the exact call sequence an operation makes. glGetError is counted but
// kept out of the log. Object names are handed out from 1 upwards per kind.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#ifdef __EMSCRIPTEN__
// The browser's GL header declares its entry points as functions and has no
// GLEW pointers; the recorder keeps the pointers all the same (fake_gl.cpp),
// and these are the ones tests clear to play a driver without them.
extern "C" {
extern PFNGLGENFRAMEBUFFERSEXTPROC __glewGenFramebuffersEXT;
extern PFNGLBINDFRAMEBUFFEREXTPROC __glewBindFramebufferEXT;
extern PFNGLDELETEFRAMEBUFFERSEXTPROC __glewDeleteFramebuffersEXT;
extern PFNGLDELETERENDERBUFFERSEXTPROC __glewDeleteRenderbuffersEXT;
extern PFNGLCHECKFRAMEBUFFERSTATUSPROC __glewCheckFramebufferStatus;
extern PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC __glewCheckFramebufferStatusEXT;
}
#endif

namespace fake_gl {

// Formats one argument exactly as the recorder does.
inline std::string arg(const char* s) {
    return s ? std::string("\"") + s + "\"" : "null";
}
inline std::string arg(const std::string& s) {
    return arg(s.c_str());
}
template <class T> std::string arg(T v) {
    char buf[64];
    if constexpr (std::is_floating_point_v<T>) {
        std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
    } else if constexpr (std::is_pointer_v<T>) {
        // Pointers in the log are buffer offsets (or null); data is captured aside.
        std::snprintf(buf, sizeof buf, "%llu",
                      static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(v)));
    } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, GLboolean>) {
        std::snprintf(buf, sizeof buf, "%d", static_cast<int>(v));
    } else if constexpr (std::is_signed_v<T>) {
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
    } else {
        std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v));
    }
    return buf;
}

// The log line a call with these arguments produces: call("glEnable", GL_BLEND).
template <class... A> std::string call(const char* name, A... args) {
    std::string s = name;
    s += '(';
    bool first = true;
    ((s += (first ? "" : ", ") + arg(args), first = false), ...);
    s += ')';
    return s;
}

// Marker for a data pointer in the log: "data" or "null".
struct DATA {
    const void* p;
};
inline std::string arg(DATA d) {
    return d.p ? "data" : "null";
}

struct STATE {
    std::vector<std::string> log;
    int error_reads = 0;
    std::vector<GLenum> pending_errors; // returned by glGetError, first first
    GLuint next_texture = 1, next_buffer = 1, next_framebuffer = 1, next_renderbuffer = 1;
    GLuint next_shader = 1, next_program = 1;
    std::map<std::string, GLint> uniform_locations;   // name -> location; absent: -1
    std::map<std::string, GLint> attribute_locations; // name -> location; absent: -1
    bool compile_ok = true, link_ok = true;
    std::string info_log;                    // returned for failed compiles and links
    std::vector<std::string> shader_sources; // full text given to each glShaderSource
    std::vector<unsigned char> last_data;    // bytes of the last data upload
    const char* version = "2.1 Mesa fake";
    const char* glsl_version = "1.20";
    GLint samples = 4;
};

// The calls texture_create makes for a new texture named `name`: generate,
// bind on unit 0, the four parameters, then storage (pixels may be null).
inline std::vector<std::string> texture_create_calls(GLuint name, int width, int height,
                                                     GLint min_filter, GLint mag_filter, GLint wrap,
                                                     GLenum format, const void* pixels) {
    return {
        call("glGenTextures", 1),
        call("glActiveTexture", GLenum(GL_TEXTURE0)),
        call("glBindTexture", GLenum(GL_TEXTURE_2D), name),
        call("glTexParameteri", GLenum(GL_TEXTURE_2D), GLenum(GL_TEXTURE_MIN_FILTER), min_filter),
        call("glTexParameteri", GLenum(GL_TEXTURE_2D), GLenum(GL_TEXTURE_MAG_FILTER), mag_filter),
        call("glTexParameteri", GLenum(GL_TEXTURE_2D), GLenum(GL_TEXTURE_WRAP_S), wrap),
        call("glTexParameteri", GLenum(GL_TEXTURE_2D), GLenum(GL_TEXTURE_WRAP_T), wrap),
        call("glTexImage2D", GLenum(GL_TEXTURE_2D), 0, GLint(GL_RGBA), width, height, 0, format,
             GLenum(GL_UNSIGNED_BYTE), DATA{pixels}),
    };
}

STATE& state();
void reset();                    // forget the log and all fake objects
std::vector<std::string> take(); // the log so far, then clears it
inline const std::vector<std::string>& log() {
    return state().log;
}
void record(std::string line); // used by the fake entry points

} // namespace fake_gl
