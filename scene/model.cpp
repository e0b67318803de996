// Models, meshes and materials (see model.h). Owns no globals. Every GL state
// change goes through a cache (program, render state, textures, buffers)
// except draw_mesh's depth-test switch; draws are counted in frame_stats.
#include "scene/model.h"

#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/report.h"
#include "math/matrix_stack.h"
#include "scene/skeleton.h"
#include "shader/limits.h"
#include "shader/program.h"
#include "scene/uniforms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// True when m's upper 3 x 3 has a negative determinant (an odd number of
// negative scales): the draw is the mirror image of its vertices.
bool mirrors(const MATRIX4& m) {
    const float* a = m.m; // columns
    const double det = double(a[0]) * (double(a[5]) * a[10] - double(a[9]) * a[6]) -
                       double(a[4]) * (double(a[1]) * a[10] - double(a[9]) * a[2]) +
                       double(a[8]) * (double(a[1]) * a[6] - double(a[5]) * a[2]);
    return det < 0.0;
}

int32_t resolved(int32_t override_mode, int32_t own_mode) {
    return override_mode == INHERIT ? own_mode : override_mode;
}

void apply_blend(const MATERIAL& m, float alpha) {
    int32_t mode = m.blend_override;
    if (mode == INHERIT) {
        mode = m.blend_mode;
        // Only the material's own 0 means automatic; an override of 0 is opaque.
        if (mode == 0) {
            mode = m.transparent || alpha < 1.0f ? BLEND_ALPHA : BLEND_OPAQUE;
        }
    }
    if (mode == BLEND_OPAQUE || mode == BLEND_ADDITIVE || mode == BLEND_ALPHA) {
        set_blend_mode(mode);
    }
}

void apply_depth(int32_t mode) {
    switch (mode) {
    case DEPTH_TEST_ONLY:
        depth_test_on();
        depth_writes_off();
        break;
    case DEPTH_WRITE_ONLY:
        depth_test_off();
        depth_writes_on();
        break;
    case DEPTH_TEST_WRITE:
        depth_test_on();
        depth_writes_on();
        break;
    default:
        break;
    }
}

int32_t bound_texture_count(const MATERIAL& m) {
    if (!m.textures || m.texture_count <= 0) {
        return 0;
    }
    return m.texture_count < MAX_MATERIAL_TEXTURES ? m.texture_count : MAX_MATERIAL_TEXTURES;
}

// Generic attribute arrays the skinned draw left enabled (bit i: array i).
// They point into that model's vertex buffer, so every other draw turns them
// off first: GL must never fetch from a buffer the current draw did not bind.
uint32_t joint_arrays_enabled = 0;

uint32_t array_bit(int32_t location) {
    return location >= 0 && location < 32 ? 1u << location : 0u;
}

// Turns off every joint array enabled earlier that is not in keep.
void disable_joint_arrays_except(uint32_t keep) {
    for (GLuint i = 0; (joint_arrays_enabled & ~keep) != 0; ++i) {
        const uint32_t bit = 1u << i;
        if ((joint_arrays_enabled & ~keep) & bit) {
            joint_arrays_enabled &= ~bit;
            glDisableVertexAttribArray(i);
            gl_check();
        }
    }
}

void send_vertex_attribute(int32_t location, size_t offset) {
    if (location == -1) {
        return;
    }
    joint_arrays_enabled |= array_bit(location);
    glVertexAttribPointer(GLuint(location), 4, GL_FLOAT, GL_FALSE, VERTEX_STRIDE,
                          reinterpret_cast<const void*>(offset));
    gl_check();
    glEnableVertexAttribArray(GLuint(location));
    gl_check();
}

bool skeleton_drawable(const SKIN* skin) {
    const int32_t levels = skeleton_depth(skin, int32_t(MODEL_STACK_CAPACITY));
    return levels != SKELETON_CYCLE && levels <= int32_t(MODEL_STACK_CAPACITY);
}

} // namespace

void disable_joint_attribute_arrays() {
    disable_joint_arrays_except(0);
}

void joint_attribute_arrays_reset() {
    joint_arrays_enabled = 0;
}

MATERIAL::~MATERIAL() {
    release_material_textures(this);
}

MODEL::~MODEL() {
    destroy_model(this);
}

MESH* add_mesh(MODEL* model) {
    MESH* mesh = new MESH;
    MESH** tail = &model->meshes;
    while (*tail) {
        tail = &(*tail)->next;
    }
    *tail = mesh;
    ++model->mesh_count;
    return mesh;
}

bool material_add_texture(MATERIAL* material, TEXTURE* texture) {
    int32_t count = material->textures ? material->texture_count : 0;
    if (count >= MAX_MATERIAL_TEXTURES) {
        return false;
    }
    void* grown = std::realloc(material->textures, sizeof(TEXTURE*) * size_t(count + 1));
    if (!grown) {
        throw std::bad_alloc();
    }
    material->textures = static_cast<TEXTURE**>(grown);
    material->textures[count] = texture;
    material->texture_count = count + 1;
    return true;
}

bool material_set_texture(MATERIAL* material, TEXTURE* texture, int unit) {
    const int32_t count = material->textures ? material->texture_count : 0;
    if (!texture || unit < 0 || unit > count || unit >= MAX_MATERIAL_TEXTURES) {
        std::fprintf(stderr, "vexa: a material takes a texture at unit 0 to %d, not %s at %d\n",
                     count < MAX_MATERIAL_TEXTURES ? count : MAX_MATERIAL_TEXTURES - 1,
                     texture ? "one" : "none", unit);
        return false;
    }
    texture->borrowed = 1;
    const uint32_t bit = 1u << unit;
    if (unit == count) {
        if (!material_add_texture(material, texture)) {
            return false;
        }
    } else {
        TEXTURE*& held = material->textures[unit];
        if (held && held != texture && !(material->shown_units & bit) && !held->borrowed) {
            release_texture(held);
        }
        held = texture;
    }
    material->shown_units |= bit;
    return true;
}

void release_material_textures(MATERIAL* material) {
    if (!material->textures) {
        return;
    }
    for (int32_t i = 0; i < material->texture_count; ++i) {
        TEXTURE*& texture = material->textures[i];
        // A shown texture may already be gone: its bit is all that is read.
        if ((material->shown_units & (1u << i)) || !texture || texture->borrowed) {
            continue;
        }
        if (texture->slot != -1) {
            texture_release(uint32_t(texture->slot));
            texture->slot = -1;
        }
        delete texture; // its IMAGE with it
        texture = nullptr;
    }
    std::free(material->textures);
    material->textures = nullptr;
    material->texture_count = 0;
    material->shown_units = 0;
}

namespace {

// A texture whose rows run bottom-up (a render texture, the scene target) is
// sampled with v mirrored in the vertex stage, so it shows upright like an
// uploaded picture on any mesh; the model's own texture coordinates stay as
// they are. The uniform goes to GL only when its value changes: a program
// that never shows such a texture makes no extra call.
void send_texture_orientation(const MATERIAL& material, int32_t textures) {
    SHADER_PROGRAM* program = current_program;
    if (!program) {
        return;
    }
    uint32_t bottom_up = 0;
    for (int32_t i = 0; i < textures && i < MAX_MATERIAL_TEXTURES; ++i) {
        if (material.textures[i] && material.textures[i]->bottom_up) {
            bottom_up |= 1u << i;
        }
    }
    if (bottom_up == program->bottom_up_sent) {
        return;
    }
    if (program->bottom_up_location == -2) {
        program->bottom_up_location =
            glGetUniformLocation(program->program, "texture_rows_bottom_up");
    }
    program->bottom_up_sent = bottom_up;
    if (program->bottom_up_location != -1) {
        glUniform2f(program->bottom_up_location, bottom_up & 1u ? 1.0f : 0.0f,
                    bottom_up & 2u ? 1.0f : 0.0f);
        gl_check();
    }
}

} // namespace

void apply_material(MATERIAL* material, float alpha) {
    use_program(material->program);
    apply_blend(*material, alpha);
    set_cull_mode(resolved(material->cull_override, material->cull_mode) == CULL_BACK ? CULL_BACK
                                                                                      : CULL_NONE);
    apply_depth(resolved(material->depth_override, material->depth_mode));

    int32_t textures = bound_texture_count(*material);
    for (int32_t i = 0; i < textures; ++i) {
        // bind_texture skips a texture without a GL texture: the table has no slot to bind.
        const TEXTURE* texture = material->textures[i];
        if (texture && texture->slot == -1) {
            static ONCE_FLAG no_picture;
            report_once(no_picture, "vexa: a material's texture has no picture (made without "
                                    "create_image or texture_take_picture); it is not shown\n");
        }
        bind_texture(material->textures[i], i);
    }
    send_texture_orientation(*material, textures);
    // Values the program already holds are not sent again.
    SHADER_PROGRAM* program = current_program;
    if (program && program->material_locations.num_textures != -1 &&
        !(program->textures_known && program->textures_sent == material->texture_count)) {
        glUniform1i(program->material_locations.num_textures, material->texture_count);
        gl_check();
        program->textures_sent = material->texture_count;
        program->textures_known = true;
    }
    upload_material_values(material, alpha);
}

void send_colour(SHADER_PROGRAM* program, const float colour[4]) {
    if (!program || program->build_failed) {
        return;
    }
    float complement[4];
    for (int i = 0; i < 4; ++i) {
        const float c = std::isfinite(colour[i]) ? std::max(colour[i], 0.0f) : 1.0f;
        complement[i] = 1.0f - c;
    }
    if (std::equal(complement, complement + 4, program->colour_sent)) {
        return;
    }
    if (program->colour_location == -2) {
        program->colour_location = glGetUniformLocation(program->program, "colour_complement");
    }
    std::copy(complement, complement + 4, program->colour_sent);
    if (program->colour_location != -1) {
        glUniform4fv(program->colour_location, 1, complement);
        gl_check();
    }
}

void upload_material_values(MATERIAL* material, float alpha) {
    if (!current_program) {
        return;
    }
    const VECTOR4 own = material->has_first_colour ? material->first_colour : VECTOR4{1, 1, 1, 1};
    const float colour[4] = {own.x, own.y, own.z, own.w};
    send_colour(current_program, colour);
    // The program holds these values already (bit for bit): nothing to send.
    const float values[11] = {
        material->emission.x,         material->emission.y,         material->emission.z,
        material->specular.x,         material->specular.y,         material->specular.z,
        material->alpha * alpha,      material->texture_offsets[0], material->texture_offsets[1],
        material->texture_offsets[2], material->texture_offsets[3]};
    static_assert(sizeof values == sizeof current_program->material_sent);
    if (current_program->material_known &&
        std::memcmp(values, current_program->material_sent, sizeof values) == 0) {
        return;
    }
    std::memcpy(current_program->material_sent, values, sizeof values);
    current_program->material_known = true;
    const MATERIAL_LOCATIONS& l = current_program->material_locations;
    if (l.emission != -1) {
        const float emission[3] = {material->emission.x, material->emission.y,
                                   material->emission.z};
        glUniform3fv(l.emission, 1, emission);
        gl_check();
    }
    if (l.specular != -1) {
        const float specular[3] = {material->specular.x, material->specular.y,
                                   material->specular.z};
        glUniform3fv(l.specular, 1, specular);
        gl_check();
    }
    if (l.transparency != -1) {
        glUniform1f(l.transparency, material->alpha * alpha);
        gl_check();
    }
    if (l.offset_animacion0 != -1) {
        glUniform2f(l.offset_animacion0, material->texture_offsets[0],
                    material->texture_offsets[1]);
        gl_check();
    }
    if (l.offset_animacion1 != -1) {
        glUniform2f(l.offset_animacion1, material->texture_offsets[2],
                    material->texture_offsets[3]);
        gl_check();
    }
}

void bind_skinned_vertex_format() {
    if (!current_program) {
        disable_joint_attribute_arrays();
        return;
    }
    // Arrays another skinned program enabled at other locations (or a GPU-
    // skinned draw before a CPU-skinned one) would still point into that
    // draw's buffer.
    disable_joint_arrays_except(array_bit(current_program->joint_indices_location) |
                                array_bit(current_program->joint_weights_location));
    bind_vertex_format();
    send_vertex_attribute(current_program->joint_indices_location, offsetof(VERTEX, joint_indices));
    send_vertex_attribute(current_program->joint_weights_location, offsetof(VERTEX, joint_weights));
}

namespace {

// The draw both paths share once the buffers are known: material, matrices,
// buffers through the caches, vertex layout, depth test, culling, blending,
// glDrawElements. front_clockwise: the vertices arrive mirrored.
void draw_mesh_buffers(MESH* mesh, MODEL* model, SKIN* skin, bool cpu_skinned, float alpha,
                       const VERTEXBUFFER& vertices, const INDEXBUFFER& indices,
                       bool front_clockwise) {
    MATERIAL* material = mesh->material;
    apply_material(material, alpha);
    // A program that failed to build has nothing GL can run: drawing anyway
    // would fall back to fixed-function GL with none of the matrices set.
    // (The build said so, one line per failing file.)
    if (current_program && current_program->build_failed) {
        return;
    }
    upload_matrices(material->program);

    vertex_buffer_bind(uint32_t(vertices.slot));
    index_buffer_bind(uint32_t(indices.slot));
    if (model->skinned) {
        bind_skinned_vertex_format();
        // A skeleton with a cycle (or too deep to pose) is refused on both
        // paths: it was never posed, so nothing drawn with it would be right.
        if (skin && !cpu_skinned && !upload_joint_matrices(skin)) {
            return;
        }
        if (skin && cpu_skinned && !skeleton_drawable(skin)) {
            return;
        }
    } else {
        disable_joint_attribute_arrays();
        bind_vertex_format();
    }

    // Straight to GL from the material's own mode: the cache's depth bits keep
    // what apply_material recorded, even where an override chose otherwise.
    if (material->depth_mode & DEPTH_BIT_TEST) {
        glEnable(GL_DEPTH_TEST);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    gl_check();
    // Every mesh blends with alpha, whatever mode apply_material recorded.
    enable_alpha_blending();
    if (material->cull_mode == CULL_NONE) {
        culling_off();
    } else {
        culling_on();
    }
    // A mirroring world matrix turns the triangles' winding round: their
    // front faces are then the clockwise ones.
    set_front_face_clockwise(front_clockwise);

    glDrawElements(GL_TRIANGLES, indices.count, GL_UNSIGNED_SHORT, nullptr);
    gl_check();
    ++frame_stats.draws;
}

} // namespace

bool matrix_mirrors(const MATRIX4& m) {
    return mirrors(m);
}

void draw_mesh(MESH* mesh, MODEL* model, SKIN* skin, bool cpu_skinned, float alpha) {
    if (!mesh || !model || !mesh->material || model->vertices.slot == -1 ||
        mesh->indices.slot == -1) {
        return;
    }
    draw_mesh_buffers(mesh, model, skin, cpu_skinned, alpha, model->vertices, mesh->indices,
                      model_stack && model_stack->top && mirrors(*model_stack->top));
}

void draw_mesh_merged(MESH* mesh, MODEL* model, const VERTEXBUFFER& vertices,
                      const INDEXBUFFER& indices, bool mirrored, float alpha) {
    if (!mesh || !model || model->skinned || !mesh->material || vertices.slot == -1 ||
        indices.slot == -1) {
        return;
    }
    draw_mesh_buffers(mesh, model, nullptr, false, alpha, vertices, indices, mirrored);
}

void update_reference_points(const MATRIX4& matrix, MODEL* model) {
    matrix_transform(model->world_a, matrix, model->reference_a);
    matrix_transform(model->world_b, matrix, model->reference_b);
    for (MESH* mesh = model->meshes; mesh; mesh = mesh->next) {
        matrix_transform(mesh->world_a, matrix, mesh->reference_a);
        matrix_transform(mesh->world_b, matrix, mesh->reference_b);
    }
}

void destroy_model(MODEL* model) {
    MESH* mesh = model->meshes;
    while (mesh) {
        MESH* next = mesh->next;
        delete mesh->material; // releases its owned textures
        mesh->material = nullptr;
        delete mesh; // its index buffer with it
        mesh = next;
    }
    model->meshes = nullptr;
    model->mesh_count = 0;
    model->source_vertices = VERTEXBUFFER{};
    model->vertices = VERTEXBUFFER{};
}

const float* model_bound(MODEL* model) {
    const VERTEXBUFFER& v = model->vertices;
    if (model->bound_uploads == v.uploads) {
        return model->bound;
    }
    model->bound_uploads = v.uploads;
    model->bound[3] = -1;
    if (!v.data || v.count <= 0) {
        return model->bound;
    }
    // The centre of the box around the vertices, and the farthest vertex from it.
    float low[3] = {v.data[0].position[0], v.data[0].position[1], v.data[0].position[2]};
    float high[3] = {low[0], low[1], low[2]};
    for (int32_t i = 0; i < v.count; ++i) {
        const float* p = v.data[i].position;
        // A w other than 1 (or a coordinate that is no number) places the
        // vertex where this sphere cannot follow: no culling.
        if (p[3] != 1.0f || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
            return model->bound;
        }
        for (int k = 0; k < 3; ++k) {
            low[k] = p[k] < low[k] ? p[k] : low[k];
            high[k] = p[k] > high[k] ? p[k] : high[k];
        }
    }
    float centre[3];
    for (int k = 0; k < 3; ++k) {
        centre[k] = low[k] * 0.5f + high[k] * 0.5f;
    }
    float farthest = 0;
    for (int32_t i = 0; i < v.count; ++i) {
        const float* p = v.data[i].position;
        const float dx = p[0] - centre[0], dy = p[1] - centre[1], dz = p[2] - centre[2];
        const float d = dx * dx + dy * dy + dz * dz;
        farthest = d > farthest ? d : farthest;
    }
    model->bound[0] = centre[0];
    model->bound[1] = centre[1];
    model->bound[2] = centre[2];
    // A little over the exact distance, so rounding never cuts a vertex off.
    model->bound[3] = std::sqrt(farthest) * 1.0001f + 1e-6f;
    return model->bound;
}
