// Recording stand-in for GL and GLEW (see fake_gl.h). GL 1.1 entry points are
// defined as the C functions libGL would export; the later ones as the GLEW
// function pointers the GLEW header's macros call through.
#include "tests/support/fake_gl.h"

#include <cstring>

namespace fake_gl {

STATE& state() {
    static STATE s;
    return s;
}

void reset() {
    state() = STATE{};
}

std::vector<std::string> take() {
    std::vector<std::string> out;
    out.swap(state().log);
    return out;
}

// While set, nothing is formatted or logged, so the stand-in itself makes no
// heap allocation (tests that count the engine's allocations set it).
bool muted = false;

void record(std::string line) {
    if (muted) {
        return;
    }
    state().log.push_back(std::move(line));
}

} // namespace fake_gl

using fake_gl::DATA;
using fake_gl::record;
using fake_gl::state;

namespace {

// The header's formatter, skipped while muted.
template <class... A> std::string call(const char* name, A... args) {
    return fake_gl::muted ? std::string() : fake_gl::call(name, args...);
}

} // namespace

namespace {

void capture(const void* data, size_t bytes) {
    auto& d = state().last_data;
    d.clear();
    if (data && bytes) {
        const auto* p = static_cast<const unsigned char*>(data);
        d.assign(p, p + bytes);
    }
}

template <class T> std::string values(const T* v, int n) {
    std::string s;
    if (fake_gl::muted) {
        return s;
    }
    for (int i = 0; i < n; ++i) {
        s += ", " + fake_gl::arg(v ? v[i] : T{});
    }
    return s;
}

std::string with_values(std::string head, const std::string& tail) {
    if (head.empty()) {
        return head; // muted
    }
    head.insert(head.size() - 1, tail);
    return head;
}

void gen(const char* name, GLsizei n, GLuint* out, GLuint& next) {
    for (GLsizei i = 0; out && i < n; ++i) {
        out[i] = next++;
    }
    record(call(name, n));
}

size_t texel_bytes(GLsizei w, GLsizei h) {
    return w > 0 && h > 0 ? size_t(w) * size_t(h) * 4 : 0;
}

// --- GL 2.0+ and extension entry points, reached through GLEW's pointers ---

void GLAPIENTRY f_ActiveTexture(GLenum t) {
    record(call("glActiveTexture", t));
}
void GLAPIENTRY f_ClientActiveTexture(GLenum t) {
    record(call("glClientActiveTexture", t));
}
void GLAPIENTRY f_GenBuffers(GLsizei n, GLuint* b) {
    gen("glGenBuffers", n, b, state().next_buffer);
}
void GLAPIENTRY f_DeleteBuffers(GLsizei n, const GLuint* b) {
    record(call("glDeleteBuffers", n, b ? b[0] : 0u));
}
void GLAPIENTRY f_BindBuffer(GLenum t, GLuint b) {
    record(call("glBindBuffer", t, b));
}
void GLAPIENTRY f_BufferData(GLenum t, GLsizeiptr size, const void* data, GLenum usage) {
    capture(data, size_t(size));
    record(::call("glBufferData", t, (long long)size, DATA{data}, usage));
}
void GLAPIENTRY f_BufferSubData(GLenum t, GLintptr off, GLsizeiptr size, const void* data) {
    capture(data, size_t(size));
    record(::call("glBufferSubData", t, (long long)off, (long long)size, DATA{data}));
}
GLuint GLAPIENTRY f_CreateShader(GLenum type) {
    GLuint s = state().next_shader++;
    record(call("glCreateShader", type));
    return s;
}
void GLAPIENTRY f_ShaderSource(GLuint s, GLsizei n, const GLchar* const* src, const GLint* len) {
    std::string text;
    for (GLsizei i = 0; i < n; ++i) {
        if (len && len[i] >= 0) {
            text.append(src[i], size_t(len[i]));
        } else {
            text.append(src[i]);
        }
    }
    state().shader_sources.push_back(text);
    record(call("glShaderSource", s, n));
}
void GLAPIENTRY f_CompileShader(GLuint s) {
    record(call("glCompileShader", s));
}
void GLAPIENTRY f_GetShaderiv(GLuint s, GLenum p, GLint* out) {
    if (out) {
        if (p == GL_COMPILE_STATUS) {
            *out = state().compile_ok ? GL_TRUE : GL_FALSE;
        } else if (p == GL_INFO_LOG_LENGTH) {
            *out = GLint(state().info_log.size() + 1);
        } else {
            *out = 0;
        }
    }
    record(call("glGetShaderiv", s, p));
}
void copy_log(GLsizei max, GLsizei* len, GLchar* out) {
    const std::string& l = state().info_log;
    if (!out || max <= 0) {
        return;
    }
    size_t n = std::min(l.size(), size_t(max - 1));
    std::memcpy(out, l.data(), n);
    out[n] = 0;
    if (len) {
        *len = GLsizei(n);
    }
}
void GLAPIENTRY f_GetShaderInfoLog(GLuint s, GLsizei max, GLsizei* len, GLchar* out) {
    copy_log(max, len, out);
    record(call("glGetShaderInfoLog", s));
}
GLuint GLAPIENTRY f_CreateProgram() {
    GLuint p = state().next_program++;
    record(call("glCreateProgram"));
    return p;
}
void GLAPIENTRY f_AttachShader(GLuint p, GLuint s) {
    record(call("glAttachShader", p, s));
}
void GLAPIENTRY f_DetachShader(GLuint p, GLuint s) {
    record(call("glDetachShader", p, s));
}
void GLAPIENTRY f_LinkProgram(GLuint p) {
    record(call("glLinkProgram", p));
}
void GLAPIENTRY f_ValidateProgram(GLuint p) {
    record(call("glValidateProgram", p));
}
void GLAPIENTRY f_GetProgramiv(GLuint p, GLenum pname, GLint* out) {
    if (out) {
        if (pname == GL_LINK_STATUS || pname == GL_VALIDATE_STATUS) {
            *out = state().link_ok ? GL_TRUE : GL_FALSE;
        } else if (pname == GL_INFO_LOG_LENGTH) {
            *out = GLint(state().info_log.size() + 1);
        } else {
            *out = 0;
        }
    }
    record(call("glGetProgramiv", p, pname));
}
void GLAPIENTRY f_GetProgramInfoLog(GLuint p, GLsizei max, GLsizei* len, GLchar* out) {
    copy_log(max, len, out);
    record(call("glGetProgramInfoLog", p));
}
void GLAPIENTRY f_DeleteShader(GLuint s) {
    record(call("glDeleteShader", s));
}
void GLAPIENTRY f_DeleteProgram(GLuint p) {
    record(call("glDeleteProgram", p));
}
void GLAPIENTRY f_UseProgram(GLuint p) {
    record(call("glUseProgram", p));
}
GLint lookup(const std::map<std::string, GLint>& m, const GLchar* name) {
    auto it = m.find(name ? name : "");
    return it == m.end() ? -1 : it->second;
}
GLint GLAPIENTRY f_GetUniformLocation(GLuint p, const GLchar* name) {
    record(call("glGetUniformLocation", p, name));
    return lookup(state().uniform_locations, name);
}
GLint GLAPIENTRY f_GetAttribLocation(GLuint p, const GLchar* name) {
    record(call("glGetAttribLocation", p, name));
    return lookup(state().attribute_locations, name);
}
void GLAPIENTRY f_BindAttribLocation(GLuint p, GLuint i, const GLchar* name) {
    record(call("glBindAttribLocation", p, i, name));
}
void GLAPIENTRY f_Uniform1i(GLint l, GLint a) {
    record(call("glUniform1i", l, a));
}
void GLAPIENTRY f_Uniform1f(GLint l, GLfloat a) {
    record(call("glUniform1f", l, a));
}
void GLAPIENTRY f_Uniform2f(GLint l, GLfloat a, GLfloat b) {
    record(call("glUniform2f", l, a, b));
}
void GLAPIENTRY f_Uniform3f(GLint l, GLfloat a, GLfloat b, GLfloat c) {
    record(call("glUniform3f", l, a, b, c));
}
void GLAPIENTRY f_Uniform4f(GLint l, GLfloat a, GLfloat b, GLfloat c, GLfloat d) {
    record(call("glUniform4f", l, a, b, c, d));
}
void GLAPIENTRY f_Uniform1iv(GLint l, GLsizei n, const GLint* v) {
    record(with_values(call("glUniform1iv", l, n), values(v, n)));
}
void GLAPIENTRY f_Uniform1fv(GLint l, GLsizei n, const GLfloat* v) {
    record(with_values(call("glUniform1fv", l, n), values(v, n)));
}
void GLAPIENTRY f_Uniform2fv(GLint l, GLsizei n, const GLfloat* v) {
    record(with_values(call("glUniform2fv", l, n), values(v, 2 * n)));
}
void GLAPIENTRY f_Uniform3fv(GLint l, GLsizei n, const GLfloat* v) {
    record(with_values(call("glUniform3fv", l, n), values(v, 3 * n)));
}
void GLAPIENTRY f_Uniform4fv(GLint l, GLsizei n, const GLfloat* v) {
    record(with_values(call("glUniform4fv", l, n), values(v, 4 * n)));
}
void GLAPIENTRY f_UniformMatrix4fv(GLint l, GLsizei n, GLboolean t, const GLfloat* v) {
    record(with_values(call("glUniformMatrix4fv", l, n, t), values(v, 16 * n)));
}
void GLAPIENTRY f_VertexAttribPointer(GLuint i, GLint size, GLenum type, GLboolean norm,
                                      GLsizei stride, const void* p) {
    record(call("glVertexAttribPointer", i, size, type, norm, stride, p));
}
void GLAPIENTRY f_EnableVertexAttribArray(GLuint i) {
    record(call("glEnableVertexAttribArray", i));
}
void GLAPIENTRY f_DisableVertexAttribArray(GLuint i) {
    record(call("glDisableVertexAttribArray", i));
}
// The framebuffer entry points exist twice: EXT_framebuffer_object's (the
// OpenGL 2.1 dialect) and the core ones (ES); each is logged by the name it
// was called by.
template <bool CORE> std::string fbo(const char* name) {
    return CORE ? std::string(name) : std::string(name) + "EXT";
}
template <bool CORE> void GLAPIENTRY f_GenFramebuffers(GLsizei n, GLuint* f) {
    gen(fbo<CORE>("glGenFramebuffers").c_str(), n, f, state().next_framebuffer);
}
template <bool CORE> void GLAPIENTRY f_BindFramebuffer(GLenum t, GLuint f) {
    record(call(fbo<CORE>("glBindFramebuffer").c_str(), t, f));
}
template <bool CORE> void GLAPIENTRY f_DeleteFramebuffers(GLsizei n, const GLuint* f) {
    record(call(fbo<CORE>("glDeleteFramebuffers").c_str(), n, f ? f[0] : 0u));
}
template <bool CORE> void GLAPIENTRY f_GenRenderbuffers(GLsizei n, GLuint* r) {
    gen(fbo<CORE>("glGenRenderbuffers").c_str(), n, r, state().next_renderbuffer);
}
template <bool CORE> void GLAPIENTRY f_BindRenderbuffer(GLenum t, GLuint r) {
    record(call(fbo<CORE>("glBindRenderbuffer").c_str(), t, r));
}
template <bool CORE> void GLAPIENTRY f_DeleteRenderbuffers(GLsizei n, const GLuint* r) {
    record(call(fbo<CORE>("glDeleteRenderbuffers").c_str(), n, r ? r[0] : 0u));
}
template <bool CORE>
void GLAPIENTRY f_RenderbufferStorage(GLenum t, GLenum f, GLsizei w, GLsizei h) {
    record(call(fbo<CORE>("glRenderbufferStorage").c_str(), t, f, w, h));
}
template <bool CORE>
void GLAPIENTRY f_FramebufferRenderbuffer(GLenum t, GLenum a, GLenum rt, GLuint r) {
    record(call(fbo<CORE>("glFramebufferRenderbuffer").c_str(), t, a, rt, r));
}
template <bool CORE>
void GLAPIENTRY f_FramebufferTexture2D(GLenum t, GLenum a, GLenum tt, GLuint tex, GLint level) {
    record(call(fbo<CORE>("glFramebufferTexture2D").c_str(), t, a, tt, tex, level));
}
template <bool CORE> void GLAPIENTRY f_GenerateMipmap(GLenum t) {
    record(call(fbo<CORE>("glGenerateMipmap").c_str(), t));
}
GLenum GLAPIENTRY f_CheckFramebufferStatusEXT(GLenum t) {
    record(call("glCheckFramebufferStatusEXT", t));
    return GL_FRAMEBUFFER_COMPLETE_EXT;
}
GLenum GLAPIENTRY f_CheckFramebufferStatus(GLenum t) {
    record(call("glCheckFramebufferStatus", t));
    return GL_FRAMEBUFFER_COMPLETE;
}

} // namespace

extern "C" {

// --- GL 1.1, as libGL exports it ---

GLenum GLAPIENTRY glGetError() {
    auto& s = state();
    ++s.error_reads;
    if (s.pending_errors.empty()) {
        return GL_NO_ERROR;
    }
    GLenum e = s.pending_errors.front();
    s.pending_errors.erase(s.pending_errors.begin());
    return e;
}
void GLAPIENTRY glEnable(GLenum c) {
    record(call("glEnable", c));
}
void GLAPIENTRY glDisable(GLenum c) {
    record(call("glDisable", c));
}
GLboolean GLAPIENTRY glIsEnabled(GLenum c) {
    record(call("glIsEnabled", c));
    return GL_FALSE;
}
void GLAPIENTRY glHint(GLenum t, GLenum m) {
    record(call("glHint", t, m));
}
void GLAPIENTRY glFrontFace(GLenum m) {
    record(call("glFrontFace", m));
}
void GLAPIENTRY glCullFace(GLenum m) {
    record(call("glCullFace", m));
}
void GLAPIENTRY glEnableClientState(GLenum a) {
    record(call("glEnableClientState", a));
}
void GLAPIENTRY glDisableClientState(GLenum a) {
    record(call("glDisableClientState", a));
}
void GLAPIENTRY glBlendFunc(GLenum s, GLenum d) {
    record(call("glBlendFunc", s, d));
}
void GLAPIENTRY glDepthMask(GLboolean f) {
    record(call("glDepthMask", f));
}
void GLAPIENTRY glDepthFunc(GLenum f) {
    record(call("glDepthFunc", f));
}
void GLAPIENTRY glViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    record(call("glViewport", x, y, w, h));
}
void GLAPIENTRY glScissor(GLint x, GLint y, GLsizei w, GLsizei h) {
    record(call("glScissor", x, y, w, h));
}
void GLAPIENTRY glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    record(call("glClearColor", r, g, b, a));
}
void GLAPIENTRY glClear(GLbitfield m) {
    record(call("glClear", m));
}
void GLAPIENTRY glClearDepth(GLclampd d) {
    record(call("glClearDepth", d));
}
void GLAPIENTRY glBindTexture(GLenum t, GLuint n) {
    record(call("glBindTexture", t, n));
}
void GLAPIENTRY glGenTextures(GLsizei n, GLuint* t) {
    gen("glGenTextures", n, t, state().next_texture);
}
void GLAPIENTRY glDeleteTextures(GLsizei n, const GLuint* t) {
    record(call("glDeleteTextures", n, t ? t[0] : 0u));
}
void GLAPIENTRY glTexParameteri(GLenum t, GLenum p, GLint v) {
    record(call("glTexParameteri", t, p, v));
}
void GLAPIENTRY glTexImage2D(GLenum t, GLint level, GLint internal, GLsizei w, GLsizei h,
                             GLint border, GLenum format, GLenum type, const void* pixels) {
    capture(pixels, texel_bytes(w, h));
    record(::call("glTexImage2D", t, level, internal, w, h, border, format, type, DATA{pixels}));
}
void GLAPIENTRY glTexSubImage2D(GLenum t, GLint level, GLint x, GLint y, GLsizei w, GLsizei h,
                                GLenum format, GLenum type, const void* pixels) {
    capture(pixels, texel_bytes(w, h));
    record(::call("glTexSubImage2D", t, level, x, y, w, h, format, type, DATA{pixels}));
}
void GLAPIENTRY glVertexPointer(GLint size, GLenum type, GLsizei stride, const void* p) {
    record(call("glVertexPointer", size, type, stride, p));
}
void GLAPIENTRY glNormalPointer(GLenum type, GLsizei stride, const void* p) {
    record(call("glNormalPointer", type, stride, p));
}
void GLAPIENTRY glTexCoordPointer(GLint size, GLenum type, GLsizei stride, const void* p) {
    record(call("glTexCoordPointer", size, type, stride, p));
}
void GLAPIENTRY glColorPointer(GLint size, GLenum type, GLsizei stride, const void* p) {
    record(call("glColorPointer", size, type, stride, p));
}
void GLAPIENTRY glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* p) {
    record(call("glDrawElements", mode, count, type, p));
}
void GLAPIENTRY glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    record(call("glDrawArrays", mode, first, count));
}
void GLAPIENTRY glGetIntegerv(GLenum p, GLint* out) {
    if (out) {
        *out = p == GL_SAMPLES ? state().samples : 0;
    }
    record(call("glGetIntegerv", p));
}
void GLAPIENTRY glGetFloatv(GLenum p, GLfloat* out) {
    if (out) {
        *out = 0;
    }
    record(call("glGetFloatv", p));
}
const GLubyte* GLAPIENTRY glGetString(GLenum name) {
    record(call("glGetString", name));
    const char* s = "fake";
    if (name == GL_VERSION) {
        s = state().version;
    } else if (name == GL_SHADING_LANGUAGE_VERSION) {
        s = state().glsl_version;
    }
    return reinterpret_cast<const GLubyte*>(s);
}
void GLAPIENTRY glReadPixels(GLint x, GLint y, GLsizei w, GLsizei h, GLenum f, GLenum t, void* p) {
    if (p) {
        std::memset(p, 0, texel_bytes(w, h));
    }
    record(call("glReadPixels", x, y, w, h, f, t));
}
void GLAPIENTRY glGetTexImage(GLenum t, GLint level, GLenum f, GLenum type, void*) {
    record(call("glGetTexImage", t, level, f, type));
}
void GLAPIENTRY glPixelStorei(GLenum p, GLint v) {
    record(call("glPixelStorei", p, v));
}
void GLAPIENTRY glFinish() {
    record(call("glFinish"));
}
void GLAPIENTRY glFlush() {
    record(call("glFlush"));
}
void GLAPIENTRY glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    record(call("glColor4f", r, g, b, a));
}
void GLAPIENTRY glLineWidth(GLfloat w) {
    record(call("glLineWidth", w));
}
void GLAPIENTRY glPointSize(GLfloat s) {
    record(call("glPointSize", s));
}
void GLAPIENTRY glReadBuffer(GLenum m) {
    record(call("glReadBuffer", m));
}
void GLAPIENTRY glDrawBuffer(GLenum m) {
    record(call("glDrawBuffer", m));
}

// --- GLEW ---

#ifndef __EMSCRIPTEN__

GLboolean glewExperimental = GL_FALSE;
GLboolean __GLEW_VERSION_1_1 = GL_TRUE, __GLEW_VERSION_1_2 = GL_TRUE, __GLEW_VERSION_1_3 = GL_TRUE,
          __GLEW_VERSION_1_4 = GL_TRUE, __GLEW_VERSION_1_5 = GL_TRUE, __GLEW_VERSION_2_0 = GL_TRUE,
          __GLEW_VERSION_2_1 = GL_TRUE, __GLEW_EXT_framebuffer_object = GL_TRUE,
          __GLEW_ARB_framebuffer_object = GL_TRUE;

GLenum GLEWAPIENTRY glewInit() {
    record(call("glewInit"));
    return GLEW_OK;
}
const GLubyte* GLEWAPIENTRY glewGetErrorString(GLenum) {
    return reinterpret_cast<const GLubyte*>("fake GLEW error");
}
const GLubyte* GLEWAPIENTRY glewGetString(GLenum) {
    return reinterpret_cast<const GLubyte*>("fake GLEW");
}
GLboolean GLEWAPIENTRY glewIsSupported(const char*) {
    return GL_TRUE;
}
#endif // !__EMSCRIPTEN__

// The entry points beyond GL 1.1, as GLEW's pointers (which tests may clear
// to play a driver without one).

PFNGLACTIVETEXTUREPROC __glewActiveTexture = f_ActiveTexture;
PFNGLCLIENTACTIVETEXTUREPROC __glewClientActiveTexture = f_ClientActiveTexture;
PFNGLGENBUFFERSPROC __glewGenBuffers = f_GenBuffers;
PFNGLDELETEBUFFERSPROC __glewDeleteBuffers = f_DeleteBuffers;
PFNGLBINDBUFFERPROC __glewBindBuffer = f_BindBuffer;
PFNGLBUFFERDATAPROC __glewBufferData = f_BufferData;
PFNGLBUFFERSUBDATAPROC __glewBufferSubData = f_BufferSubData;
PFNGLCREATESHADERPROC __glewCreateShader = f_CreateShader;
PFNGLSHADERSOURCEPROC __glewShaderSource = f_ShaderSource;
PFNGLCOMPILESHADERPROC __glewCompileShader = f_CompileShader;
PFNGLGETSHADERIVPROC __glewGetShaderiv = f_GetShaderiv;
PFNGLGETSHADERINFOLOGPROC __glewGetShaderInfoLog = f_GetShaderInfoLog;
PFNGLCREATEPROGRAMPROC __glewCreateProgram = f_CreateProgram;
PFNGLATTACHSHADERPROC __glewAttachShader = f_AttachShader;
PFNGLDETACHSHADERPROC __glewDetachShader = f_DetachShader;
PFNGLLINKPROGRAMPROC __glewLinkProgram = f_LinkProgram;
PFNGLVALIDATEPROGRAMPROC __glewValidateProgram = f_ValidateProgram;
PFNGLGETPROGRAMIVPROC __glewGetProgramiv = f_GetProgramiv;
PFNGLGETPROGRAMINFOLOGPROC __glewGetProgramInfoLog = f_GetProgramInfoLog;
PFNGLDELETESHADERPROC __glewDeleteShader = f_DeleteShader;
PFNGLDELETEPROGRAMPROC __glewDeleteProgram = f_DeleteProgram;
PFNGLUSEPROGRAMPROC __glewUseProgram = f_UseProgram;
PFNGLGETUNIFORMLOCATIONPROC __glewGetUniformLocation = f_GetUniformLocation;
PFNGLGETATTRIBLOCATIONPROC __glewGetAttribLocation = f_GetAttribLocation;
PFNGLBINDATTRIBLOCATIONPROC __glewBindAttribLocation = f_BindAttribLocation;
PFNGLUNIFORM1IPROC __glewUniform1i = f_Uniform1i;
PFNGLUNIFORM1FPROC __glewUniform1f = f_Uniform1f;
PFNGLUNIFORM2FPROC __glewUniform2f = f_Uniform2f;
PFNGLUNIFORM3FPROC __glewUniform3f = f_Uniform3f;
PFNGLUNIFORM4FPROC __glewUniform4f = f_Uniform4f;
PFNGLUNIFORM1IVPROC __glewUniform1iv = f_Uniform1iv;
PFNGLUNIFORM1FVPROC __glewUniform1fv = f_Uniform1fv;
PFNGLUNIFORM2FVPROC __glewUniform2fv = f_Uniform2fv;
PFNGLUNIFORM3FVPROC __glewUniform3fv = f_Uniform3fv;
PFNGLUNIFORM4FVPROC __glewUniform4fv = f_Uniform4fv;
PFNGLUNIFORMMATRIX4FVPROC __glewUniformMatrix4fv = f_UniformMatrix4fv;
PFNGLVERTEXATTRIBPOINTERPROC __glewVertexAttribPointer = f_VertexAttribPointer;
PFNGLENABLEVERTEXATTRIBARRAYPROC __glewEnableVertexAttribArray = f_EnableVertexAttribArray;
PFNGLDISABLEVERTEXATTRIBARRAYPROC __glewDisableVertexAttribArray = f_DisableVertexAttribArray;
PFNGLGENFRAMEBUFFERSEXTPROC __glewGenFramebuffersEXT = f_GenFramebuffers<false>;
PFNGLBINDFRAMEBUFFEREXTPROC __glewBindFramebufferEXT = f_BindFramebuffer<false>;
PFNGLDELETEFRAMEBUFFERSEXTPROC __glewDeleteFramebuffersEXT = f_DeleteFramebuffers<false>;
PFNGLGENRENDERBUFFERSEXTPROC __glewGenRenderbuffersEXT = f_GenRenderbuffers<false>;
PFNGLBINDRENDERBUFFEREXTPROC __glewBindRenderbufferEXT = f_BindRenderbuffer<false>;
PFNGLDELETERENDERBUFFERSEXTPROC __glewDeleteRenderbuffersEXT = f_DeleteRenderbuffers<false>;
PFNGLRENDERBUFFERSTORAGEEXTPROC __glewRenderbufferStorageEXT = f_RenderbufferStorage<false>;
PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC __glewFramebufferRenderbufferEXT =
    f_FramebufferRenderbuffer<false>;
PFNGLFRAMEBUFFERTEXTURE2DEXTPROC __glewFramebufferTexture2DEXT = f_FramebufferTexture2D<false>;
PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC __glewCheckFramebufferStatusEXT = f_CheckFramebufferStatusEXT;
PFNGLCHECKFRAMEBUFFERSTATUSPROC __glewCheckFramebufferStatus = f_CheckFramebufferStatus;
PFNGLGENERATEMIPMAPEXTPROC __glewGenerateMipmapEXT = f_GenerateMipmap<false>;
PFNGLGENERATEMIPMAPPROC __glewGenerateMipmap = f_GenerateMipmap<true>;
PFNGLGENFRAMEBUFFERSPROC __glewGenFramebuffers = f_GenFramebuffers<true>;
PFNGLBINDFRAMEBUFFERPROC __glewBindFramebuffer = f_BindFramebuffer<true>;
PFNGLDELETEFRAMEBUFFERSPROC __glewDeleteFramebuffers = f_DeleteFramebuffers<true>;
PFNGLGENRENDERBUFFERSPROC __glewGenRenderbuffers = f_GenRenderbuffers<true>;
PFNGLBINDRENDERBUFFERPROC __glewBindRenderbuffer = f_BindRenderbuffer<true>;
PFNGLDELETERENDERBUFFERSPROC __glewDeleteRenderbuffers = f_DeleteRenderbuffers<true>;
PFNGLRENDERBUFFERSTORAGEPROC __glewRenderbufferStorage = f_RenderbufferStorage<true>;
PFNGLFRAMEBUFFERRENDERBUFFERPROC __glewFramebufferRenderbuffer = f_FramebufferRenderbuffer<true>;
PFNGLFRAMEBUFFERTEXTURE2DPROC __glewFramebufferTexture2D = f_FramebufferTexture2D<true>;

#ifdef __EMSCRIPTEN__
// WebGL's entry points are functions of Emscripten's JavaScript library,
// which the linker takes only for names nothing else defines: these
// definitions replace them, calling through the pointers above as GLEW's
// macros do on the desktop.
#define VEXA_WEBGL_ENTRY(RESULT, NAME, PARAMETERS, FORWARD)                                        \
    RESULT GLAPIENTRY gl##NAME PARAMETERS {                                                        \
        return FORWARD;                                                                            \
    }
VEXA_WEBGL_ENTRY(void, ActiveTexture, (GLenum t), __glewActiveTexture(t))
VEXA_WEBGL_ENTRY(void, ClientActiveTexture, (GLenum t), __glewClientActiveTexture(t))
VEXA_WEBGL_ENTRY(void, GenBuffers, (GLsizei n, GLuint* b), __glewGenBuffers(n, b))
VEXA_WEBGL_ENTRY(void, DeleteBuffers, (GLsizei n, const GLuint* b), __glewDeleteBuffers(n, b))
VEXA_WEBGL_ENTRY(void, BindBuffer, (GLenum t, GLuint b), __glewBindBuffer(t, b))
VEXA_WEBGL_ENTRY(void, BufferData, (GLenum t, GLsizeiptr size, const void* data, GLenum usage),
                 __glewBufferData(t, size, data, usage))
VEXA_WEBGL_ENTRY(void, BufferSubData, (GLenum t, GLintptr off, GLsizeiptr size, const void* data),
                 __glewBufferSubData(t, off, size, data))
VEXA_WEBGL_ENTRY(GLuint, CreateShader, (GLenum type), __glewCreateShader(type))
VEXA_WEBGL_ENTRY(void, ShaderSource,
                 (GLuint s, GLsizei n, const GLchar* const* src, const GLint* len),
                 __glewShaderSource(s, n, src, len))
VEXA_WEBGL_ENTRY(void, CompileShader, (GLuint s), __glewCompileShader(s))
VEXA_WEBGL_ENTRY(void, GetShaderiv, (GLuint s, GLenum p, GLint* out), __glewGetShaderiv(s, p, out))
VEXA_WEBGL_ENTRY(void, GetShaderInfoLog, (GLuint s, GLsizei max, GLsizei* len, GLchar* out),
                 __glewGetShaderInfoLog(s, max, len, out))
VEXA_WEBGL_ENTRY(GLuint, CreateProgram, (), __glewCreateProgram())
VEXA_WEBGL_ENTRY(void, AttachShader, (GLuint p, GLuint s), __glewAttachShader(p, s))
VEXA_WEBGL_ENTRY(void, DetachShader, (GLuint p, GLuint s), __glewDetachShader(p, s))
VEXA_WEBGL_ENTRY(void, LinkProgram, (GLuint p), __glewLinkProgram(p))
VEXA_WEBGL_ENTRY(void, ValidateProgram, (GLuint p), __glewValidateProgram(p))
VEXA_WEBGL_ENTRY(void, GetProgramiv, (GLuint p, GLenum pname, GLint* out),
                 __glewGetProgramiv(p, pname, out))
VEXA_WEBGL_ENTRY(void, GetProgramInfoLog, (GLuint p, GLsizei max, GLsizei* len, GLchar* out),
                 __glewGetProgramInfoLog(p, max, len, out))
VEXA_WEBGL_ENTRY(void, DeleteShader, (GLuint s), __glewDeleteShader(s))
VEXA_WEBGL_ENTRY(void, DeleteProgram, (GLuint p), __glewDeleteProgram(p))
VEXA_WEBGL_ENTRY(void, UseProgram, (GLuint p), __glewUseProgram(p))
VEXA_WEBGL_ENTRY(GLint, GetUniformLocation, (GLuint p, const GLchar* name),
                 __glewGetUniformLocation(p, name))
VEXA_WEBGL_ENTRY(GLint, GetAttribLocation, (GLuint p, const GLchar* name),
                 __glewGetAttribLocation(p, name))
VEXA_WEBGL_ENTRY(void, BindAttribLocation, (GLuint p, GLuint i, const GLchar* name),
                 __glewBindAttribLocation(p, i, name))
VEXA_WEBGL_ENTRY(void, Uniform1i, (GLint l, GLint a), __glewUniform1i(l, a))
VEXA_WEBGL_ENTRY(void, Uniform1f, (GLint l, GLfloat a), __glewUniform1f(l, a))
VEXA_WEBGL_ENTRY(void, Uniform2f, (GLint l, GLfloat a, GLfloat b), __glewUniform2f(l, a, b))
VEXA_WEBGL_ENTRY(void, Uniform3f, (GLint l, GLfloat a, GLfloat b, GLfloat c),
                 __glewUniform3f(l, a, b, c))
VEXA_WEBGL_ENTRY(void, Uniform4f, (GLint l, GLfloat a, GLfloat b, GLfloat c, GLfloat d),
                 __glewUniform4f(l, a, b, c, d))
VEXA_WEBGL_ENTRY(void, Uniform1iv, (GLint l, GLsizei n, const GLint* v), __glewUniform1iv(l, n, v))
VEXA_WEBGL_ENTRY(void, Uniform1fv, (GLint l, GLsizei n, const GLfloat* v),
                 __glewUniform1fv(l, n, v))
VEXA_WEBGL_ENTRY(void, Uniform2fv, (GLint l, GLsizei n, const GLfloat* v),
                 __glewUniform2fv(l, n, v))
VEXA_WEBGL_ENTRY(void, Uniform3fv, (GLint l, GLsizei n, const GLfloat* v),
                 __glewUniform3fv(l, n, v))
VEXA_WEBGL_ENTRY(void, Uniform4fv, (GLint l, GLsizei n, const GLfloat* v),
                 __glewUniform4fv(l, n, v))
VEXA_WEBGL_ENTRY(void, UniformMatrix4fv, (GLint l, GLsizei n, GLboolean t, const GLfloat* v),
                 __glewUniformMatrix4fv(l, n, t, v))
VEXA_WEBGL_ENTRY(void, VertexAttribPointer,
                 (GLuint i, GLint size, GLenum type, GLboolean norm, GLsizei stride, const void* p),
                 __glewVertexAttribPointer(i, size, type, norm, stride, p))
VEXA_WEBGL_ENTRY(void, EnableVertexAttribArray, (GLuint i), __glewEnableVertexAttribArray(i))
VEXA_WEBGL_ENTRY(void, DisableVertexAttribArray, (GLuint i), __glewDisableVertexAttribArray(i))
VEXA_WEBGL_ENTRY(void, GenFramebuffersEXT, (GLsizei n, GLuint* f), __glewGenFramebuffersEXT(n, f))
VEXA_WEBGL_ENTRY(void, BindFramebufferEXT, (GLenum t, GLuint f), __glewBindFramebufferEXT(t, f))
VEXA_WEBGL_ENTRY(void, DeleteFramebuffersEXT, (GLsizei n, const GLuint* f),
                 __glewDeleteFramebuffersEXT(n, f))
VEXA_WEBGL_ENTRY(void, GenRenderbuffersEXT, (GLsizei n, GLuint* r), __glewGenRenderbuffersEXT(n, r))
VEXA_WEBGL_ENTRY(void, BindRenderbufferEXT, (GLenum t, GLuint r), __glewBindRenderbufferEXT(t, r))
VEXA_WEBGL_ENTRY(void, DeleteRenderbuffersEXT, (GLsizei n, const GLuint* r),
                 __glewDeleteRenderbuffersEXT(n, r))
VEXA_WEBGL_ENTRY(void, RenderbufferStorageEXT, (GLenum t, GLenum f, GLsizei w, GLsizei h),
                 __glewRenderbufferStorageEXT(t, f, w, h))
VEXA_WEBGL_ENTRY(void, FramebufferRenderbufferEXT, (GLenum t, GLenum a, GLenum rt, GLuint r),
                 __glewFramebufferRenderbufferEXT(t, a, rt, r))
VEXA_WEBGL_ENTRY(void, FramebufferTexture2DEXT,
                 (GLenum t, GLenum a, GLenum tt, GLuint tex, GLint level),
                 __glewFramebufferTexture2DEXT(t, a, tt, tex, level))
VEXA_WEBGL_ENTRY(GLenum, CheckFramebufferStatusEXT, (GLenum t), __glewCheckFramebufferStatusEXT(t))
VEXA_WEBGL_ENTRY(GLenum, CheckFramebufferStatus, (GLenum t), __glewCheckFramebufferStatus(t))
VEXA_WEBGL_ENTRY(void, GenerateMipmapEXT, (GLenum t), __glewGenerateMipmapEXT(t))
VEXA_WEBGL_ENTRY(void, GenerateMipmap, (GLenum t), __glewGenerateMipmap(t))
VEXA_WEBGL_ENTRY(void, GenFramebuffers, (GLsizei n, GLuint* f), __glewGenFramebuffers(n, f))
VEXA_WEBGL_ENTRY(void, BindFramebuffer, (GLenum t, GLuint f), __glewBindFramebuffer(t, f))
VEXA_WEBGL_ENTRY(void, DeleteFramebuffers, (GLsizei n, const GLuint* f),
                 __glewDeleteFramebuffers(n, f))
VEXA_WEBGL_ENTRY(void, GenRenderbuffers, (GLsizei n, GLuint* r), __glewGenRenderbuffers(n, r))
VEXA_WEBGL_ENTRY(void, BindRenderbuffer, (GLenum t, GLuint r), __glewBindRenderbuffer(t, r))
VEXA_WEBGL_ENTRY(void, DeleteRenderbuffers, (GLsizei n, const GLuint* r),
                 __glewDeleteRenderbuffers(n, r))
VEXA_WEBGL_ENTRY(void, RenderbufferStorage, (GLenum t, GLenum f, GLsizei w, GLsizei h),
                 __glewRenderbufferStorage(t, f, w, h))
VEXA_WEBGL_ENTRY(void, FramebufferRenderbuffer, (GLenum t, GLenum a, GLenum rt, GLuint r),
                 __glewFramebufferRenderbuffer(t, a, rt, r))
VEXA_WEBGL_ENTRY(void, FramebufferTexture2D,
                 (GLenum t, GLenum a, GLenum tt, GLuint tex, GLint level),
                 __glewFramebufferTexture2D(t, a, tt, tex, level))
#undef VEXA_WEBGL_ENTRY

#endif // __EMSCRIPTEN__

} // extern "C"
