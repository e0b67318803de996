// Many objects per frame: the engine against two plain SDL2 + GL 2.1
// programs of this file (one draw per object, and one batched draw) doing
// the same work: moving sprites sharing one picture or sixteen, lit rotating
// cubes (all moving, or 100 of 10 000), lines of text and skinned animated
// models. The plain programs' cubes are drawn with the engine's own model
// shader files and the uniforms the engine sends, set with plain GL calls,
// so both make the same draw. Every measurement runs in a child process of
// its own, so its peak resident memory is its own; the parent runs the
// rounds interleaved
// (engine, per-object, batched, next case...) so a machine busy with other
// work slows all three alike, and prints the medians.
//
//   vexa-objects-bench [--rounds R] [--frames F] [--only substring] [--sprites N]
//
// --sprites N measures only N sprites sharing a picture (0 and 1 000 000
// included: the engine must neither fail nor overflow there).
//
// Time is the main thread's CPU time per frame (clock_gettime with
// CLOCK_THREAD_CPUTIME_ID around whole frames, present included): software
// GL rasterises on threads of its own, which this leaves out, and waiting
// for a busy core is not counted either. Needs a display (Xvfb will do).
#include "app/runtime.h"
#include "app/shader_location.h"
#include "app/pacer.h"
#include "gfx/frame_stats.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/lighting.h"
#include "scene/uniforms.h"
#include "shader/limits.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/skin.h"
#include "scene/sprite.h"
#include "scene/text.h"
#include "scene/texture.h"
#include "shader/model_programs.h"
#include "shader/source.h"

#include <GL/glew.h>
#include <SDL.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int WIDTH = 1024;
constexpr int HEIGHT = 600;
constexpr int SPRITE_SIZE = 32;
constexpr int PICTURES = 16;
constexpr int WARM_UP_FRAMES = 10;

enum KIND { SPRITES_ONE_PICTURE, SPRITES_16_PICTURES, CUBES, CUBES_100_MOVE, TEXT, SKINNED };
enum IMPL { ENGINE, PLAIN_EACH, PLAIN_BATCHED };

struct CASE {
    KIND kind;
    int count;
    const char* name;
};

const CASE CASES[] = {
    {SPRITES_ONE_PICTURE, 100, "sprites, one picture"},
    {SPRITES_ONE_PICTURE, 1000, "sprites, one picture"},
    {SPRITES_ONE_PICTURE, 10000, "sprites, one picture"},
    {SPRITES_ONE_PICTURE, 50000, "sprites, one picture"},
    {SPRITES_16_PICTURES, 10000, "sprites, 16 pictures"},
    {CUBES, 1000, "lit rotating cubes"},
    {CUBES, 10000, "lit rotating cubes"},
    {CUBES_100_MOVE, 10000, "cubes, 100 of them moving"},
    {TEXT, 100, "lines of text"},
    {TEXT, 1000, "lines of text"},
    {SKINNED, 100, "skinned animated models"},
};

double thread_ms() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// ---------------------------------------------------------------------------
// The shared work: where every object is in each frame.

struct MOVER {
    float x, y, vx, vy;
};

std::vector<MOVER> make_movers(int n) {
    std::vector<MOVER> movers(static_cast<size_t>(n));
    uint32_t seed = 12345;
    const auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return float(seed >> 8) / float(1u << 24);
    };
    for (MOVER& m : movers) {
        m = {next() * (WIDTH - SPRITE_SIZE), next() * (HEIGHT - SPRITE_SIZE), next() * 8 - 4,
             next() * 8 - 4};
    }
    return movers;
}

void move(MOVER& m) {
    m.x += m.vx;
    m.y += m.vy;
    if (m.x < 0 || m.x > WIDTH - SPRITE_SIZE) {
        m.vx = -m.vx;
    }
    if (m.y < 0 || m.y > HEIGHT - SPRITE_SIZE) {
        m.vy = -m.vy;
    }
}

// The picture of sprites in group g: one colour per group, a darker border.
void fill_picture(uint8_t* pixels, int g) {
    for (int y = 0; y < SPRITE_SIZE; ++y) {
        for (int x = 0; x < SPRITE_SIZE; ++x) {
            const bool edge = x < 2 || y < 2 || x >= SPRITE_SIZE - 2 || y >= SPRITE_SIZE - 2;
            uint8_t* p = pixels + (y * SPRITE_SIZE + x) * 4;
            p[0] = uint8_t((g * 53 + 90) & 0xFF) >> (edge ? 1 : 0);
            p[1] = uint8_t((g * 97 + 40) & 0xFF) >> (edge ? 1 : 0);
            p[2] = uint8_t((g * 31 + 200) & 0xFF) >> (edge ? 1 : 0);
            p[3] = 255;
        }
    }
}

// Sprites come in PICTURES runs of neighbours showing one picture, as a
// game adds its objects kind by kind.
int picture_of(int i, int n, KIND kind) {
    return kind == SPRITES_16_PICTURES ? int(int64_t(i) * PICTURES / n) : 0;
}

int cube_grid_side(int n) {
    return int(std::ceil(std::sqrt(double(n))));
}

void cube_place(int i, int n, float& x, float& y, float& z) {
    const int side = cube_grid_side(n);
    const float spacing = 3.0f;
    x = (float(i % side) - float(side - 1) / 2) * spacing;
    y = (float(i / side) - float(side - 1) / 2) * spacing;
    z = -(float(side) * spacing * 0.95f + 6.0f);
}

bool cube_moves(int i, KIND kind) {
    return kind != CUBES_100_MOVE || i % 100 == 0;
}

void text_line(char* out, size_t size, int i) {
    std::snprintf(out, size, "Line %05d: the quick brown fox jumps", i);
}

void text_place(int i, int& x, int& y) {
    x = (i / 58) % 3 * 340 + (i / 174) % 4 * 3;
    y = (i % 58) * 10 + (i / 174) % 7;
}

float skin_angle(int i, int frame) {
    return 40.0f * std::sin(float(frame) * 0.1f + float(i) * 0.7f);
}

// The cube's 24 vertices (position, normal, texcoord) and 36 indices.
struct CUBE_GEOMETRY {
    std::vector<VERTEX> vertices;
    std::vector<uint16_t> indices;
};

CUBE_GEOMETRY cube_geometry() {
    static const float FACES[6][3][3] = {
        {{-1, -1, 1}, {2, 0, 0}, {0, 2, 0}}, {{1, -1, -1}, {-2, 0, 0}, {0, 2, 0}},
        {{1, -1, 1}, {0, 0, -2}, {0, 2, 0}}, {{-1, -1, -1}, {0, 0, 2}, {0, 2, 0}},
        {{-1, 1, 1}, {2, 0, 0}, {0, 0, -2}}, {{-1, -1, -1}, {2, 0, 0}, {0, 0, 2}},
    };
    CUBE_GEOMETRY g;
    for (const auto& [c, u, w] : FACES) {
        const float nrm[3] = {(u[1] * w[2] - u[2] * w[1]) / 4, (u[2] * w[0] - u[0] * w[2]) / 4,
                              (u[0] * w[1] - u[1] * w[0]) / 4};
        for (uint16_t k : {0, 1, 2, 0, 2, 3}) {
            g.indices.push_back(uint16_t(g.vertices.size() + k));
        }
        for (int k = 0; k < 4; ++k) {
            const float s = (k == 1 || k == 2) ? 1.0f : 0.0f, t = k >= 2 ? 1.0f : 0.0f;
            VERTEX v = {};
            for (int a = 0; a < 3; ++a) {
                v.position[a] = c[a] + s * u[a] + t * w[a];
                v.normal[a] = nrm[a];
            }
            v.position[3] = 1;
            v.texcoord0[0] = s;
            v.texcoord0[1] = t;
            v.joint_indices[0] = v.joint_indices[1] = v.joint_indices[2] = v.joint_indices[3] = -1;
            g.vertices.push_back(v);
        }
    }
    return g;
}

void checkerboard(uint8_t* pixels) {
    for (int p = 0; p < 64 * 64; ++p) {
        const bool dark = ((p % 64) / 8 + p / 64 / 8) % 2;
        const uint8_t rgba[4] = {uint8_t(dark ? 230 : 250), uint8_t(dark ? 110 : 240),
                                 uint8_t(dark ? 20 : 210), 255};
        std::memcpy(pixels + p * 4, rgba, 4);
    }
}

// A skinned tube along y from 0 to 2: RINGS rings of SEGMENTS vertices; the
// lower joint holds the bottom, the upper one (at y = 1) bends the top.
constexpr int RINGS = 9;
constexpr int SEGMENTS = 12;

void tube_geometry(std::vector<VERTEX>& vertices, std::vector<uint16_t>& indices) {
    for (int r = 0; r < RINGS; ++r) {
        const float y = 2.0f * float(r) / float(RINGS - 1);
        const float upper = std::clamp(y - 0.5f, 0.0f, 1.0f);
        for (int s = 0; s < SEGMENTS; ++s) {
            const float a = 6.2831853f * float(s) / SEGMENTS;
            VERTEX v = {};
            v.position[0] = 0.3f * std::cos(a);
            v.position[1] = y;
            v.position[2] = 0.3f * std::sin(a);
            v.position[3] = 1;
            v.normal[0] = std::cos(a);
            v.normal[2] = std::sin(a);
            v.joint_indices[0] = 0;
            v.joint_indices[1] = 1;
            v.joint_indices[2] = v.joint_indices[3] = -1;
            v.joint_weights[0] = 1 - upper;
            v.joint_weights[1] = upper;
            vertices.push_back(v);
        }
    }
    for (int r = 0; r + 1 < RINGS; ++r) {
        for (int s = 0; s < SEGMENTS; ++s) {
            const uint16_t a = uint16_t(r * SEGMENTS + s),
                           b = uint16_t(r * SEGMENTS + (s + 1) % SEGMENTS);
            const uint16_t c = uint16_t(a + SEGMENTS), d = uint16_t(b + SEGMENTS);
            for (uint16_t k : {a, c, b, b, c, d}) {
                indices.push_back(k);
            }
        }
    }
}

void skinned_place(int i, float& x, float& y, float& z) {
    x = float(i % 10) * 1.6f - 7.2f;
    y = float(i / 10) * 0.9f - 5.5f;
    z = -14.0f;
}

// ---------------------------------------------------------------------------
// The engine.

struct ENGINE_WORK {
    KIND kind = SPRITES_ONE_PICTURE;
    int count = 0;
    int frame = 0;
    std::vector<MOVER> movers;
    std::vector<SPRITE2D*> sprites;
    std::vector<MODEL_ACTOR*> actors;
    std::vector<std::string> lines;
    std::vector<ANIMATION> animations;
    std::vector<ANIMATION_FRAME> frames;
    std::vector<MATRIX4> frame_locals;
};

ENGINE_WORK* engine_work = nullptr;

void engine_lit_scene() {
    app_scene = new SCENE;
    app_scene->ambient[0] = app_scene->ambient[1] = app_scene->ambient[2] = 0.25f;
    scene_add_camera(app_scene, default_camera);
    app_scene->active_camera = default_camera;
    LIGHT* light = new LIGHT;
    light->type = LIGHT_TYPE_DIRECTIONAL;
    matrix_translate(light->local, 3, 4, 2);
    scene_add_light(app_scene, light);
}

bool engine_setup_sprites(ENGINE_WORK& w) {
    app_scene = new SCENE;
    w.movers = make_movers(w.count);
    TEXTURE* pictures[PICTURES] = {};
    for (int g = 0; g < PICTURES; ++g) {
        pictures[g] = create_texture(SPRITE_SIZE, SPRITE_SIZE);
        fill_picture(pictures[g]->image->pixels, g);
        pictures[g]->dirty = true;
    }
    w.sprites.reserve(size_t(w.count));
    // Appending walks the list to its tail; build the links directly.
    SPRITE2D* tail = nullptr;
    for (int i = 0; i < w.count; ++i) {
        SPRITE2D* s = new SPRITE2D(app_scene);
        sprite_set_texture(s, pictures[picture_of(i, w.count, w.kind)]);
        s->position = VECTOR3{w.movers[size_t(i)].x, w.movers[size_t(i)].y, 0};
        if (tail) {
            tail->next = s;
        } else {
            app_scene->layer2.sprites2d = s;
        }
        tail = s;
        w.sprites.push_back(s);
    }
    app_scene->layer2.sprite2d_count = w.count;
    return true;
}

bool engine_setup_cubes(ENGINE_WORK& w) {
    if (!create_model_programs()) {
        return false;
    }
    CUBE_GEOMETRY g = cube_geometry();
    MODEL* model = build_model(g.vertices.data(), int32_t(g.vertices.size()));
    MESH* mesh = model ? build_mesh(model, g.indices.data(), int32_t(g.indices.size())) : nullptr;
    if (!mesh) {
        return false;
    }
    TEXTURE* texture = new TEXTURE;
    create_image(texture, 64, 64);
    checkerboard(texture->image->pixels);
    texture->dirty = true;
    material_add_texture(mesh->material, texture);
    engine_lit_scene();
    for (int i = 0; i < w.count; ++i) {
        MODEL_ACTOR* a = new MODEL_ACTOR;
        a->model = model;
        cube_place(i, w.count, a->position.x, a->position.y, a->position.z);
        layer_add_model_actor(&app_scene->layer1, a);
        w.actors.push_back(a);
    }
    return true;
}

bool engine_setup_skinned(ENGINE_WORK& w) {
    if (!create_model_programs()) {
        return false;
    }
    std::vector<VERTEX> vertices;
    std::vector<uint16_t> indices;
    tube_geometry(vertices, indices);
    MODEL* model = build_model(vertices.data(), int32_t(vertices.size()), true);
    MESH* mesh = model ? build_mesh(model, indices.data(), int32_t(indices.size())) : nullptr;
    if (!mesh) {
        return false;
    }
    engine_lit_scene();
    // Sixty poses of the upper joint; every model plays them from its own place.
    constexpr int FRAMES = 60;
    w.frame_locals.resize(FRAMES * 2);
    w.frames.resize(FRAMES);
    for (int f = 0; f < FRAMES; ++f) {
        MATRIX4* locals = &w.frame_locals[size_t(f) * 2];
        matrix_identity(locals[0]);
        matrix_identity(locals[1]);
        matrix_translate(locals[1], 0, 1, 0);
        matrix_rotate(locals[1], skin_angle(0, f), 0, 0, 1);
        w.frames[size_t(f)].joint_locals = locals;
    }
    w.animations.resize(size_t(w.count));
    for (int i = 0; i < w.count; ++i) {
        JOINT* joints = new JOINT[2];
        joint_init(&joints[0], 0);
        joint_init(&joints[1], 1);
        matrix_translate(joints[1].bind_local_transform, 0, 1, 0);
        matrix_translate(joints[1].inverse_bind_matrix, 0, -1, 0);
        joints[1].animated = true;
        joint_add_child(&joints[0], &joints[1]);
        SKIN* skin = build_skin(2);
        skin->joints[0] = &joints[0];
        skin->joints[1] = &joints[1];
        skin_add_root(skin, &joints[0]);
        ANIMATION& animation = w.animations[size_t(i)];
        animation.frame_count = FRAMES;
        animation.frames = w.frames.data();
        animation.speed = 1.0f / FRAMES;
        animation.playback_position = float(i % FRAMES) / FRAMES + 0.001f;
        MODEL_ACTOR* a = new MODEL_ACTOR;
        a->model = model;
        a->skin = skin;
        a->animation = &animation;
        skinned_place(i, a->position.x, a->position.y, a->position.z);
        layer_add_model_actor(&app_scene->layer1, a);
    }
    return true;
}

bool engine_setup(void*) {
    ENGINE_WORK& w = *engine_work;
    switch (w.kind) {
    case SPRITES_ONE_PICTURE:
    case SPRITES_16_PICTURES:
        return engine_setup_sprites(w);
    case CUBES:
    case CUBES_100_MOVE:
        return engine_setup_cubes(w);
    case TEXT:
        app_scene = new SCENE;
        for (int i = 0; i < w.count; ++i) {
            char line[64];
            text_line(line, sizeof line, i);
            w.lines.emplace_back(line);
        }
        return true;
    case SKINNED:
        return engine_setup_skinned(w);
    }
    return false;
}

void engine_frame(void*) {
    ENGINE_WORK& w = *engine_work;
    ++w.frame;
    switch (w.kind) {
    case SPRITES_ONE_PICTURE:
    case SPRITES_16_PICTURES:
        for (size_t i = 0; i < w.sprites.size(); ++i) {
            move(w.movers[i]);
            w.sprites[i]->position.x = w.movers[i].x;
            w.sprites[i]->position.y = w.movers[i].y;
        }
        render_scene();
        break;
    case CUBES:
    case CUBES_100_MOVE:
        for (size_t i = 0; i < w.actors.size(); ++i) {
            if (cube_moves(int(i), w.kind)) {
                w.actors[i]->rotation.x += 0.7f;
                w.actors[i]->rotation.y += 1.1f;
            }
        }
        render_scene();
        break;
    case TEXT:
        render_scene();
        for (int i = 0; i < w.count; ++i) {
            int x = 0, y = 0;
            text_place(i, x, y);
            draw_text(w.lines[size_t(i)].c_str(), x, y, 1);
        }
        break;
    case SKINNED:
        render_scene();
        break;
    }
}

// ---------------------------------------------------------------------------
// The plain programs: SDL2, GLEW and GL 2.1 shaders, nothing of the engine.

GLuint compile(GLenum type, const char* source) {
    GLuint s = glCreateShader(type);
    glShaderSource(s, 1, &source, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024];
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        std::fprintf(stderr, "plain program: shader: %s\n", log);
        std::exit(1);
    }
    return s;
}

GLuint link(const char* vs, const char* fs, std::initializer_list<const char*> attributes) {
    GLuint p = glCreateProgram();
    glAttachShader(p, compile(GL_VERTEX_SHADER, vs));
    glAttachShader(p, compile(GL_FRAGMENT_SHADER, fs));
    GLuint location = 0;
    for (const char* a : attributes) {
        glBindAttribLocation(p, location++, a);
    }
    glLinkProgram(p);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        std::fprintf(stderr, "plain program: link failed\n");
        std::exit(1);
    }
    return p;
}

// Window pixels, y down; rect = (x, y, w, h) places the corner attribute.
const char* QUAD_VS = R"(#version 120
uniform vec4 rect;
attribute vec2 corner;
attribute vec2 texcoord;
varying vec2 uv;
void main() {
    vec2 p = rect.xy + corner * rect.zw;
    gl_Position = vec4(p.x / 512.0 - 1.0, 1.0 - p.y / 300.0, 0.0, 1.0);
    uv = texcoord;
})";
const char* QUAD_FS = R"(#version 120
uniform sampler2D picture;
uniform vec4 colour;
varying vec2 uv;
void main() { gl_FragColor = texture2D(picture, uv) * colour; })";

const char* LIT_VS = R"(#version 120
uniform mat4 view_projection;
uniform mat4 model;
uniform mat4 joints[2];
uniform float skinned;
attribute vec3 position;
attribute vec3 normal;
attribute vec2 texcoord;
attribute vec2 weights;
varying vec2 uv;
varying float light;
void main() {
    mat4 m = model;
    if (skinned > 0.5) {
        m = model * (joints[0] * weights.x + joints[1] * weights.y);
    }
    vec3 n = normalize(mat3(m) * normal);
    light = 0.25 + 0.75 * max(dot(n, normalize(vec3(3.0, 4.0, 2.0))), 0.0);
    uv = texcoord;
    gl_Position = view_projection * m * vec4(position, 1.0);
})";
const char* LIT_FS = R"(#version 120
uniform sampler2D picture;
varying vec2 uv;
varying float light;
void main() { gl_FragColor = vec4(texture2D(picture, uv).rgb * light, 1.0); })";

struct QUAD_VERTEX {
    float x, y, u, v;
};

struct LIT_VERTEX {
    float position[3], normal[3], texcoord[2], weights[2];
};

void multiply(float* out, const float* a, const float* b) {
    float r[16];
    for (int c = 0; c < 4; ++c) {
        for (int row = 0; row < 4; ++row) {
            r[c * 4 + row] = a[row] * b[c * 4] + a[4 + row] * b[c * 4 + 1] +
                             a[8 + row] * b[c * 4 + 2] + a[12 + row] * b[c * 4 + 3];
        }
    }
    std::memcpy(out, r, sizeof r);
}

// T(x, y, z) · Rx(ax) · Ry(ay), angles in degrees.
void model_matrix(float* m, float x, float y, float z, float ax, float ay) {
    const float a = ax * 0.017453292f, b = ay * 0.017453292f;
    const float ca = std::cos(a), sa = std::sin(a), cb = std::cos(b), sb = std::sin(b);
    const float rx[16] = {1, 0, 0, 0, 0, ca, sa, 0, 0, -sa, ca, 0, 0, 0, 0, 1};
    const float ry[16] = {cb, 0, -sb, 0, 0, 1, 0, 0, sb, 0, cb, 0, 0, 0, 0, 1};
    multiply(m, rx, ry);
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

void perspective(float* m) {
    const float f = 1.0f / std::tan(30.0f * 0.017453292f), aspect = float(WIDTH) / HEIGHT;
    const float n = 0.1f, fa = 10000.0f;
    const float p[16] = {
        f / aspect, 0, 0, 0, 0, f, 0, 0, 0, 0, (fa + n) / (n - fa), -1, 0, 0, 2 * fa * n / (n - fa),
        0};
    std::memcpy(m, p, sizeof p);
}

GLuint make_texture(int w, int h, const uint8_t* pixels) {
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    return t;
}

// The cubes' program: the engine's own model shader files (read and put
// together by the engine's shader-source loader, header and includes),
// compiled and linked here with plain GL and fed the uniforms the engine
// sends for a textured cube under one directional light, so the per-object
// plain program makes the same draw with the same per-vertex and per-pixel
// work as the engine's.
struct MODEL_PROGRAM {
    GLuint program = 0;
    GLint mvp = -1, world = -1, normal = -1;
};

GLuint compile_engine_stage(GLenum type, const char* file) {
    SHADER_STAGE stage;
    stage.type = type;
    // The engine's own shaders, where the engine finds them (beside the program).
    const std::string path = find_shader_directory() + "/" + file;
    if (!assemble_stage_text(path.c_str(), &stage)) {
        std::exit(1);
    }
    return compile(type, stage.text.c_str());
}

MODEL_PROGRAM link_model_program() {
    MODEL_PROGRAM m;
    m.program = glCreateProgram();
    glAttachShader(m.program, compile_engine_stage(GL_VERTEX_SHADER, MODEL_VS_FILE));
    glAttachShader(m.program, compile_engine_stage(GL_FRAGMENT_SHADER, MODEL_FS_FILE));
    glLinkProgram(m.program);
    GLint ok = 0;
    glGetProgramiv(m.program, GL_LINK_STATUS, &ok);
    if (!ok) {
        std::fprintf(stderr, "plain program: the model program did not link\n");
        std::exit(1);
    }
    const GLuint p = m.program;
    m.mvp = glGetUniformLocation(p, "ModelViewProjectionMatrix");
    m.world = glGetUniformLocation(p, "WorldMatrix");
    m.normal = glGetUniformLocation(p, "NormalMatrix");
    glUseProgram(p);
    glUniform1i(glGetUniformLocation(p, "shader_texture_ids[0]"), 0);
    glUniform1i(glGetUniformLocation(p, "shader_texture_ids[1]"), 1);
    // The engine's scene: ambient 0.25, one white directional light placed
    // at (3, 4, 2) aiming at the origin, the other slots empty; the camera at
    // the origin; a white material with one texture, opaque.
    glUniform3f(glGetUniformLocation(p, "g_LightModel.ambient"), 0.25f, 0.25f, 0.25f);
    for (int i = 0; i < MAX_LIGHTS; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "g_Lights[%d].type", i);
        glUniform1i(glGetUniformLocation(p, name),
                    i == 0 ? LIGHT_TYPE_DIRECTIONAL : LIGHT_TYPE_NONE);
    }
    const float length = std::sqrt(3.0f * 3 + 4 * 4 + 2 * 2);
    glUniform3f(glGetUniformLocation(p, "g_Lights[0].diffuse"), 1, 1, 1);
    glUniform3f(glGetUniformLocation(p, "g_Lights[0].direction"), 3 / length, 4 / length,
                2 / length);
    glUniform3f(glGetUniformLocation(p, "posicion_camara_world"), 0, 0, 0);
    glUniform1i(glGetUniformLocation(p, "g_DatosMaterial.numTextures"), 1);
    glUniform1f(glGetUniformLocation(p, "g_DatosMaterial.transparency"), 1);
    return m;
}

struct PLAIN {
    KIND kind = SPRITES_ONE_PICTURE;
    int count = 0;
    bool batched = false;
    int frame = 0;
    std::vector<MOVER> movers;
    GLuint quad_program = 0, lit_program = 0;
    GLint rect = -1, colour = -1, view_projection = -1, model = -1, joints = -1, skinned = -1;
    MODEL_PROGRAM cube_program;
    GLuint pictures[PICTURES] = {};
    GLuint checker = 0, font = 0;
    GLuint unit_quad = 0, stream = 0, cube_vertices = 0, cube_indices = 0, batch_indices = 0;
    GLuint tube_vertices = 0, tube_indices = 0;
    GLsizei tube_index_count = 0;
    std::vector<QUAD_VERTEX> quads;
    std::vector<LIT_VERTEX> cube, lit_stream;
    std::vector<uint16_t> cube_index_list;
    std::vector<std::string> lines;
};

void quad_attributes() {
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(QUAD_VERTEX), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(QUAD_VERTEX),
                          reinterpret_cast<void*>(2 * sizeof(float)));
}

void lit_attributes() {
    for (GLuint a = 0; a < 4; ++a) {
        static const int sizes[4] = {3, 3, 2, 2}, offsets[4] = {0, 3, 6, 8};
        glVertexAttribPointer(a, sizes[a], GL_FLOAT, GL_FALSE, sizeof(LIT_VERTEX),
                              reinterpret_cast<void*>(size_t(offsets[a]) * sizeof(float)));
    }
}

// Sends count elements through the stream buffer with new storage each
// frame (the driver hands back a buffer the GPU is not reading).
void stream(GLuint buffer, const void* data, size_t bytes) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(bytes), nullptr, GL_STREAM_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, GLsizeiptr(bytes), data);
}

void add_quad(std::vector<QUAD_VERTEX>& q, float x, float y, float w, float h, float u0, float v0,
              float u1, float v1) {
    q.push_back({x, y, u0, v0});
    q.push_back({x, y + h, u0, v1});
    q.push_back({x + w, y + h, u1, v1});
    q.push_back({x, y, u0, v0});
    q.push_back({x + w, y + h, u1, v1});
    q.push_back({x + w, y, u1, v0});
}

// Glyph c of the plain program's own 16 x 6 cell font atlas (128 x 64).
void add_glyph_quad(std::vector<QUAD_VERTEX>& q, char c, float x, float y) {
    const int cell = (c - 32) & 127;
    const float u = float(cell % 16) / 16, v = float(cell / 16) / 8;
    add_quad(q, x, y, 8, 8, u, v, u + 1.0f / 16, v + 1.0f / 8);
}

void plain_setup(PLAIN& p) {
    p.quad_program = link(QUAD_VS, QUAD_FS, {"corner", "texcoord"});
    p.rect = glGetUniformLocation(p.quad_program, "rect");
    p.colour = glGetUniformLocation(p.quad_program, "colour");
    p.lit_program = link(LIT_VS, LIT_FS, {"position", "normal", "texcoord", "weights"});
    p.view_projection = glGetUniformLocation(p.lit_program, "view_projection");
    p.model = glGetUniformLocation(p.lit_program, "model");
    p.joints = glGetUniformLocation(p.lit_program, "joints");
    p.skinned = glGetUniformLocation(p.lit_program, "skinned");
    glGenBuffers(1, &p.stream);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    switch (p.kind) {
    case SPRITES_ONE_PICTURE:
    case SPRITES_16_PICTURES: {
        p.movers = make_movers(p.count);
        std::vector<uint8_t> pixels(SPRITE_SIZE * SPRITE_SIZE * 4);
        for (int g = 0; g < PICTURES; ++g) {
            fill_picture(pixels.data(), g);
            p.pictures[g] = make_texture(SPRITE_SIZE, SPRITE_SIZE, pixels.data());
        }
        std::vector<QUAD_VERTEX> unit;
        add_quad(unit, 0, 0, 1, 1, 0, 0, 1, 1);
        glGenBuffers(1, &p.unit_quad);
        glBindBuffer(GL_ARRAY_BUFFER, p.unit_quad);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(unit.size() * sizeof unit[0]), unit.data(),
                     GL_STATIC_DRAW);
        break;
    }
    case TEXT: {
        std::vector<uint8_t> atlas(128 * 64 * 4);
        for (size_t i = 0; i < atlas.size(); ++i) {
            atlas[i] = uint8_t((i * 2654435761u) >> 24 & 0x80 ? 255 : 0);
        }
        p.font = make_texture(128, 64, atlas.data());
        for (int i = 0; i < p.count; ++i) {
            char line[64];
            text_line(line, sizeof line, i);
            p.lines.emplace_back(line);
        }
        break;
    }
    case CUBES:
    case CUBES_100_MOVE: {
        p.cube_program = link_model_program();
        // The model program reads the fixed-function arrays; generic array 0
        // would stand in for gl_Vertex.
        glDisableVertexAttribArray(0);
        glDisableVertexAttribArray(1);
        glEnableClientState(GL_VERTEX_ARRAY);
        glEnableClientState(GL_NORMAL_ARRAY);
        glEnableClientState(GL_TEXTURE_COORD_ARRAY);
        std::vector<uint8_t> pixels(64 * 64 * 4);
        checkerboard(pixels.data());
        p.checker = make_texture(64, 64, pixels.data());
        CUBE_GEOMETRY g = cube_geometry();
        for (const VERTEX& v : g.vertices) {
            p.cube.push_back({{v.position[0], v.position[1], v.position[2]},
                              {v.normal[0], v.normal[1], v.normal[2]},
                              {v.texcoord0[0], v.texcoord0[1]},
                              {0, 0}});
        }
        p.cube_index_list = g.indices;
        glGenBuffers(1, &p.cube_vertices);
        glBindBuffer(GL_ARRAY_BUFFER, p.cube_vertices);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(p.cube.size() * sizeof p.cube[0]), p.cube.data(),
                     GL_STATIC_DRAW);
        glGenBuffers(1, &p.cube_indices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p.cube_indices);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(g.indices.size() * 2), g.indices.data(),
                     GL_STATIC_DRAW);
        if (p.batched) {
            std::vector<uint32_t> all;
            for (int i = 0; i < p.count; ++i) {
                for (uint16_t k : g.indices) {
                    all.push_back(uint32_t(i) * 24 + k);
                }
            }
            glGenBuffers(1, &p.batch_indices);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p.batch_indices);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(all.size() * 4), all.data(),
                         GL_STATIC_DRAW);
        }
        break;
    }
    case SKINNED: {
        std::vector<uint8_t> white(4, 255);
        p.checker = make_texture(1, 1, white.data());
        std::vector<VERTEX> vertices;
        std::vector<uint16_t> indices;
        tube_geometry(vertices, indices);
        std::vector<LIT_VERTEX> lit;
        for (const VERTEX& v : vertices) {
            lit.push_back({{v.position[0], v.position[1], v.position[2]},
                           {v.normal[0], v.normal[1], v.normal[2]},
                           {0, 0},
                           {v.joint_weights[0], v.joint_weights[1]}});
        }
        glGenBuffers(1, &p.tube_vertices);
        glBindBuffer(GL_ARRAY_BUFFER, p.tube_vertices);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(lit.size() * sizeof lit[0]), lit.data(),
                     GL_STATIC_DRAW);
        glGenBuffers(1, &p.tube_indices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p.tube_indices);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(indices.size() * 2), indices.data(),
                     GL_STATIC_DRAW);
        p.tube_index_count = GLsizei(indices.size());
        break;
    }
    }
}

void plain_sprites(PLAIN& p) {
    glUseProgram(p.quad_program);
    glUniform4f(p.colour, 1, 1, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const float s = SPRITE_SIZE;
    int bound = -1;
    if (!p.batched) {
        glBindBuffer(GL_ARRAY_BUFFER, p.unit_quad);
        quad_attributes();
        for (int i = 0; i < p.count; ++i) {
            MOVER& m = p.movers[size_t(i)];
            move(m);
            const int picture = picture_of(i, p.count, p.kind);
            if (picture != bound) {
                glBindTexture(GL_TEXTURE_2D, p.pictures[picture]);
                bound = picture;
            }
            glUniform4f(p.rect, std::trunc(m.x), std::trunc(m.y), s, s);
            glDrawArrays(GL_TRIANGLES, 0, 6);
        }
        return;
    }
    glUniform4f(p.rect, 0, 0, 1, 1);
    int first = 0;
    p.quads.clear();
    for (int i = 0; i <= p.count; ++i) {
        const int picture = i < p.count ? picture_of(i, p.count, p.kind) : -1;
        if (picture != bound && !p.quads.empty()) {
            glBindTexture(GL_TEXTURE_2D, p.pictures[bound]);
            stream(p.stream, p.quads.data(), p.quads.size() * sizeof p.quads[0]);
            quad_attributes();
            glDrawArrays(GL_TRIANGLES, 0, GLsizei(p.quads.size()));
            p.quads.clear();
            first = i;
        }
        if (i == p.count) {
            break;
        }
        bound = picture;
        MOVER& m = p.movers[size_t(i)];
        move(m);
        add_quad(p.quads, std::trunc(m.x), std::trunc(m.y), s, s, 0, 0, 1, 1);
    }
    (void)first;
}

void plain_text(PLAIN& p) {
    glUseProgram(p.quad_program);
    glUniform4f(p.colour, 1, 1, 1, 1);
    glUniform4f(p.rect, 0, 0, 1, 1);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, p.font);
    p.quads.clear();
    for (int i = 0; i < p.count; ++i) {
        int x = 0, y = 0;
        text_place(i, x, y);
        float pen = float(x);
        for (char c : p.lines[size_t(i)]) {
            add_glyph_quad(p.quads, c, pen, float(y));
            pen += 8;
        }
        if (!p.batched) {
            stream(p.stream, p.quads.data(), p.quads.size() * sizeof p.quads[0]);
            quad_attributes();
            glDrawArrays(GL_TRIANGLES, 0, GLsizei(p.quads.size()));
            p.quads.clear();
        }
    }
    if (p.batched) {
        stream(p.stream, p.quads.data(), p.quads.size() * sizeof p.quads[0]);
        quad_attributes();
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(p.quads.size()));
    }
}

void plain_lit_begin(PLAIN& p) {
    glUseProgram(p.lit_program);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnableVertexAttribArray(2);
    glEnableVertexAttribArray(3);
    float vp[16];
    perspective(vp);
    glUniformMatrix4fv(p.view_projection, 1, GL_FALSE, vp);
    glBindTexture(GL_TEXTURE_2D, p.checker);
}

// The cube's arrays for the model program's gl_Vertex, gl_Normal and
// gl_MultiTexCoord0, as the engine binds its own vertex layout.
void cube_arrays() {
    glVertexPointer(3, GL_FLOAT, sizeof(LIT_VERTEX), nullptr);
    glNormalPointer(GL_FLOAT, sizeof(LIT_VERTEX), reinterpret_cast<void*>(3 * sizeof(float)));
    glTexCoordPointer(2, GL_FLOAT, sizeof(LIT_VERTEX), reinterpret_cast<void*>(6 * sizeof(float)));
}

void plain_cubes(PLAIN& p) {
    const MODEL_PROGRAM& program = p.cube_program;
    glUseProgram(program.program);
    glEnable(GL_BLEND); // the engine draws every mesh with alpha blending
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glBindTexture(GL_TEXTURE_2D, p.checker);
    float vp[16], mvp[16];
    perspective(vp);
    const float angle_x = 0.7f * float(p.frame), angle_y = 1.1f * float(p.frame);
    float m[16];
    if (!p.batched) {
        glBindBuffer(GL_ARRAY_BUFFER, p.cube_vertices);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p.cube_indices);
        cube_arrays();
        for (int i = 0; i < p.count; ++i) {
            float x, y, z;
            cube_place(i, p.count, x, y, z);
            const bool moves = cube_moves(i, p.kind);
            model_matrix(m, x, y, z, moves ? angle_x : 0, moves ? angle_y : 0);
            multiply(mvp, vp, m);
            glUniformMatrix4fv(program.mvp, 1, GL_FALSE, mvp);
            glUniformMatrix4fv(program.world, 1, GL_FALSE, m);
            // A rotation and a translation: the inverse transpose of the
            // upper 3 x 3 is the matrix itself (and w = 0 drops the rest).
            glUniformMatrix4fv(program.normal, 1, GL_FALSE, m);
            glDrawElements(GL_TRIANGLES, 36, GL_UNSIGNED_SHORT, nullptr);
        }
        return;
    }
    // Batched: every cube's vertices transformed here into one stream.
    p.lit_stream.resize(size_t(p.count) * 24);
    for (int i = 0; i < p.count; ++i) {
        float x, y, z;
        cube_place(i, p.count, x, y, z);
        const bool moves = cube_moves(i, p.kind);
        model_matrix(m, x, y, z, moves ? angle_x : 0, moves ? angle_y : 0);
        LIT_VERTEX* out = &p.lit_stream[size_t(i) * 24];
        for (const LIT_VERTEX& v : p.cube) {
            *out = v;
            for (int r = 0; r < 3; ++r) {
                out->position[r] = m[r] * v.position[0] + m[4 + r] * v.position[1] +
                                   m[8 + r] * v.position[2] + m[12 + r];
                out->normal[r] =
                    m[r] * v.normal[0] + m[4 + r] * v.normal[1] + m[8 + r] * v.normal[2];
            }
            ++out;
        }
    }
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    glUniformMatrix4fv(program.mvp, 1, GL_FALSE, vp);
    glUniformMatrix4fv(program.world, 1, GL_FALSE, identity);
    glUniformMatrix4fv(program.normal, 1, GL_FALSE, identity);
    stream(p.stream, p.lit_stream.data(), p.lit_stream.size() * sizeof p.lit_stream[0]);
    cube_arrays();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p.batch_indices);
    glDrawElements(GL_TRIANGLES, p.count * 36, GL_UNSIGNED_INT, nullptr);
}

void plain_skinned(PLAIN& p) {
    plain_lit_begin(p);
    glUniform1f(p.skinned, 1);
    glBindBuffer(GL_ARRAY_BUFFER, p.tube_vertices);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, p.tube_indices);
    lit_attributes();
    float m[16], joints[32], upper[16], back[16];
    for (int i = 0; i < p.count; ++i) {
        float x, y, z;
        skinned_place(i, x, y, z);
        model_matrix(m, x, y, z, 0, 0);
        glUniformMatrix4fv(p.model, 1, GL_FALSE, m);
        // Upper joint: T(0, 1, 0) · Rz(angle) · T(0, -1, 0).
        const float a = skin_angle(i, p.frame) * 0.017453292f;
        const float rz[16] = {
            std::cos(a), std::sin(a), 0, 0, -std::sin(a), std::cos(a), 0, 0, 0, 0, 1, 0,
            0,           1,           0, 1};
        const float down[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, -1, 0, 1};
        std::memcpy(upper, rz, sizeof rz);
        multiply(back, upper, down);
        const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        std::memcpy(joints, identity, sizeof identity);
        std::memcpy(joints + 16, back, sizeof back);
        glUniformMatrix4fv(p.joints, 2, GL_FALSE, joints);
        glDrawElements(GL_TRIANGLES, p.tube_index_count, GL_UNSIGNED_SHORT, nullptr);
    }
}

void plain_frame(PLAIN& p) {
    ++p.frame;
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    switch (p.kind) {
    case SPRITES_ONE_PICTURE:
    case SPRITES_16_PICTURES:
        plain_sprites(p);
        break;
    case TEXT:
        plain_text(p);
        break;
    case CUBES:
    case CUBES_100_MOVE:
        plain_cubes(p);
        break;
    case SKINNED:
        plain_skinned(p);
        break;
    }
    glFlush();
}

// ---------------------------------------------------------------------------
// One measurement in a child process.

struct RESULT {
    double ms = -1; // main-thread CPU per frame; negative: failed or not run
    double peak_mb = -1;
    uint32_t draws = 0;
};

double peak_resident_mb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

RESULT run_engine(const CASE& c, int frames) {
    ENGINE_WORK work;
    work.kind = c.kind;
    work.count = c.count;
    engine_work = &work;
    APPLICATION app;
    app.title = "vexa objects bench";
    app.setup = engine_setup;
    app.frame = engine_frame;
    if (!app_startup(app)) {
        return {};
    }
    frame_pacer.target_rate = 0; // unpaced
    run_loop(WARM_UP_FRAMES);
    const double start = thread_ms();
    run_loop(frames);
    RESULT r;
    r.ms = (thread_ms() - start) / frames;
    r.draws = frame_stats.draws;
    r.peak_mb = peak_resident_mb();
    return r;
}

RESULT run_plain(const CASE& c, bool batched, int frames) {
    if (c.kind == SKINNED && batched) {
        return {}; // each model has its own pose: no batched plain program
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        return {};
    }
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_Window* window =
        SDL_CreateWindow("plain GL", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, WIDTH,
                         HEIGHT, SDL_WINDOW_OPENGL);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || glewInit() != GLEW_OK) {
        return {};
    }
    SDL_GL_SetSwapInterval(0);
    PLAIN p;
    p.kind = c.kind;
    p.count = c.count;
    p.batched = batched;
    plain_setup(p);
    const auto frame = [&] {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
        }
        plain_frame(p);
        SDL_GL_SwapWindow(window);
    };
    for (int f = 0; f < WARM_UP_FRAMES; ++f) {
        frame();
    }
    const double start = thread_ms();
    for (int f = 0; f < frames; ++f) {
        frame();
    }
    RESULT r;
    r.ms = (thread_ms() - start) / frames;
    r.peak_mb = peak_resident_mb();
    return r;
}

// Runs one measurement in a child process and reads its result back.
RESULT measure(const CASE& c, IMPL impl, int frames) {
    int fds[2];
    if (pipe(fds) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        const RESULT r =
            impl == ENGINE ? run_engine(c, frames) : run_plain(c, impl == PLAIN_BATCHED, frames);
        if (write(fds[1], &r, sizeof r) != ssize_t(sizeof r)) {
            _exit(1);
        }
        _exit(0);
    }
    close(fds[1]);
    RESULT r;
    if (child < 0 || read(fds[0], &r, sizeof r) != ssize_t(sizeof r)) {
        r = {};
    }
    close(fds[0]);
    int status = 0;
    if (child > 0) {
        waitpid(child, &status, 0);
    }
    return r;
}

double median(std::vector<double> v) {
    if (v.empty()) {
        return -1;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Frames per measurement: about the same main-thread time for every case.
int frames_for(const CASE& c, int requested) {
    if (requested > 0) {
        return requested;
    }
    const long objects = c.kind == TEXT ? c.count * 10L : c.count;
    return int(std::clamp(200000L / std::max(objects, 1L), 8L, 300L));
}

void print_cell(double ms) {
    if (ms < 0) {
        std::printf(" — |");
    } else {
        std::printf(" %.2f |", ms);
    }
}

void print_ratio(double a, double b) {
    if (a < 0 || b <= 0) {
        std::printf(" — |");
    } else {
        std::printf(" %.2f |", a / b);
    }
}

} // namespace

int main(int argc, char** argv) {
    int rounds = 3, frames = 0;
    const char* only = nullptr;
    CASE custom{SPRITES_ONE_PICTURE, -1, "sprites, one picture"};
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--rounds")) {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        } else if (!std::strcmp(argv[i], "--frames")) {
            frames = std::max(1, std::atoi(argv[i + 1]));
        } else if (!std::strcmp(argv[i], "--only")) {
            only = argv[i + 1];
        } else if (!std::strcmp(argv[i], "--sprites")) {
            custom.count = std::max(0, std::atoi(argv[i + 1]));
        }
    }
    std::vector<const CASE*> cases;
    if (custom.count >= 0) {
        cases.push_back(&custom);
    }
    for (const CASE& c : CASES) {
        if (custom.count >= 0) {
            break;
        }
        char label[96];
        std::snprintf(label, sizeof label, "%s %d", c.name, c.count);
        if (!only || std::strstr(label, only)) {
            cases.push_back(&c);
        }
    }
    // samples[case][impl] over the rounds, interleaved.
    std::vector<std::vector<std::vector<RESULT>>> samples(cases.size(),
                                                          std::vector<std::vector<RESULT>>(3));
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < cases.size(); ++k) {
            for (IMPL impl : {ENGINE, PLAIN_EACH, PLAIN_BATCHED}) {
                samples[k][impl].push_back(measure(*cases[k], impl, frames_for(*cases[k], frames)));
            }
        }
        std::fprintf(stderr, "round %d of %d done\n", round + 1, rounds);
    }
    std::printf("| case | N | engine ms | plain, draw per object ms | plain, batched ms | "
                "engine / per object | engine / batched | engine draws | peak MB engine / "
                "per object / batched |\n|---|---|---|---|---|---|---|---|---|\n");
    for (size_t k = 0; k < cases.size(); ++k) {
        double ms[3], mb[3];
        uint32_t draws = 0;
        for (int impl = 0; impl < 3; ++impl) {
            std::vector<double> t, m;
            for (const RESULT& r : samples[k][size_t(impl)]) {
                if (r.ms >= 0) {
                    t.push_back(r.ms);
                    m.push_back(r.peak_mb);
                    draws = impl == ENGINE ? r.draws : draws;
                }
            }
            ms[impl] = median(t);
            mb[impl] = median(m);
        }
        std::printf("| %s | %d |", cases[k]->name, cases[k]->count);
        for (double v : ms) {
            print_cell(v);
        }
        print_ratio(ms[ENGINE], ms[PLAIN_EACH]);
        print_ratio(ms[ENGINE], ms[PLAIN_BATCHED]);
        std::printf(" %u | %.0f / %.0f / ", draws, mb[ENGINE], mb[PLAIN_EACH]);
        if (mb[PLAIN_BATCHED] < 0) {
            std::printf("— |\n");
        } else {
            std::printf("%.0f |\n", mb[PLAIN_BATCHED]);
        }
    }
    return 0;
}
