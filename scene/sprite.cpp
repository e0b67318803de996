// Drawable images, 2D sprites and the shared quad (see sprite.h). Owns
// shared_quad and the stream buffers layers of sprites are batched through.
// A lone sprite's draw rewrites and re-uploads its own quad; program, buffer
// and texture binds go through their caches.
#include "scene/sprite.h"

#include "scene/model.h"

#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/report.h"
#include "math/matrix_stack.h"
#include "shader/program.h"
#include "scene/uniforms.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

SHARED_QUAD* shared_quad = nullptr;

namespace {

// Fixed numbers in the quad's normal slots; nothing computes quad normals.
constexpr float QUAD_NORMALS[4][3] = {{30, 31, 32}, {40, 41, 42}, {50, 51, 52}, {60, 61, 62}};

constexpr int SHARED_QUAD_TEXTURE_SIZE = 16;

void write_quad_indices(INDEXBUFFER& indices) {
    indices.reserve_quad();
    std::memcpy(indices.data, QUAD_INDICES, sizeof QUAD_INDICES);
    indices.upload(QUAD_INDEX_COUNT);
}

void set_texcoord(VERTEX& v, float u, float t) {
    v.texcoord0[0] = u;
    v.texcoord0[1] = t;
}

// Truncation toward zero of a sprite coordinate; out-of-range values are
// clamped first so the conversion is always defined.
bool truncated(float value, int& out) {
    if (!std::isfinite(value)) {
        return false;
    }
    const float limit = 1.0e9f;
    out = int(value < -limit ? -limit : value > limit ? limit : value);
    return true;
}

// The texture a sprite draws with when it can be drawn: said once when it has
// no picture.
TEXTURE* drawable_texture(DRAWABLE_IMAGE_BASE* image) {
    TEXTURE* texture = drawable_image_texture(image);
    if (!image->model.meshes || !texture || !image->model.vertices.data) {
        return nullptr;
    }
    const IMAGE& picture = *texture->image;
    if (texture->slot == -1 || picture.texture_width <= 0 || picture.texture_height <= 0) {
        static ONCE_FLAG no_picture;
        report_once(no_picture, "vexa: a sprite's texture has no picture (made without "
                                "create_image or sprite_set_texture); it is not drawn\n");
        return nullptr;
    }
    return texture;
}

// Window position and texture coordinate (x, y, s, t) of the quad's four
// corners, in vertex order, for the top-left src_w x src_h pixels at (x, y).
void quad_corners(const DRAWABLE_IMAGE_BASE* image, const TEXTURE* texture, int x, int y,
                  float scale_x, float scale_y, int src_w, int src_h, float corners[4][4]) {
    const IMAGE& picture = *texture->image;
    // The source rectangle always starts at the picture's first pixel.
    float s0 = 0.0f / float(picture.texture_width);
    float t0 = 0.0f / float(picture.texture_height);
    float s1 = float(src_w) / float(picture.texture_width);
    float t1 = float(src_h) / float(picture.texture_height);
    if (texture->bottom_up) {
        // The picture's first row is the texture's last.
        t0 = 1.0f - t0;
        t1 = 1.0f - t1;
    }
    // A flip grows the rectangle the other way from (x, y), mirroring the picture.
    float sx = image->flip_horizontal ? -scale_x : scale_x;
    float sy = image->flip_vertical ? -scale_y : scale_y;
    float x0 = float(x);
    float y0 = float(y);
    float x1 = x0 + float(src_w) * sx;
    float y1 = y0 + float(src_h) * sy;
    const float placed[4][4] = {
        {x0, y0, s0, t0}, {x0, y1, s0, t1}, {x1, y1, s1, t1}, {x1, y0, s1, t0}};
    std::memcpy(corners, placed, sizeof placed);
}

// Makes the 2D sprites' program current and gives it the 2D pass's
// matrices; false when it failed to build. GL would then have no program in
// use and draw the quads by fixed function as opaque rectangles (the build
// said so, one line per failing file).
bool sprite_program() {
    if (program_sprites2d != current_program) {
        use_program(program_sprites2d);
    }
    if (program_sprites2d && program_sprites2d->build_failed) {
        return false;
    }
    upload_matrices(program_sprites2d);
    return true;
}

// Where a SPRITE2D goes: false when it is not drawn (hidden, a position that
// is not a number, no picture).
bool sprite2d_placement(SPRITE2D* sprite, TEXTURE*& texture, float corners[4][4]) {
    int x = 0;
    int y = 0;
    if (sprite->hidden || !truncated(sprite->position.x, x) || !truncated(sprite->position.y, y)) {
        return false;
    }
    texture = drawable_texture(sprite);
    if (!texture) {
        return false;
    }
    quad_corners(sprite, texture, x, y, sprite->scale.x, sprite->scale.y, texture->image->width,
                 texture->image->height, corners);
    return true;
}

// Batches of a layer's sprites: consecutive sprites showing one texture are
// one draw from a stream buffer that holds up to BATCH_QUADS quads (their
// 16-bit indices reach 65535), filled once per chunk of the walk.
constexpr int32_t BATCH_QUADS = 16384;

struct BATCH_RUN {
    TEXTURE* texture;
    float tint[4]; // the sprites' colour: a uniform, so a new tint starts a run
    int32_t first; // quad in the chunk
    int32_t count;
};

struct SPRITE_BATCH {
    VERTEXBUFFER vertices;
    INDEXBUFFER indices;
    std::vector<BATCH_RUN> runs; // of the chunk being filled; keeps its storage
    int32_t quads = 0;           // in the chunk being filled
};

SPRITE_BATCH* sprite_batch = nullptr;

// Room for quads quads (at most BATCH_QUADS): the CPU copy and GL storage
// grow to the busiest chunk seen and then stay.
void batch_reserve(SPRITE_BATCH& b, int32_t quads) {
    if (b.indices.count >= quads * QUAD_INDEX_COUNT) {
        return;
    }
    b.vertices.reserve(quads * QUAD_VERTEX_COUNT, USAGE_DYNAMIC);
    b.indices.reserve(quads * QUAD_INDEX_COUNT);
    for (int32_t q = 0; q < quads; ++q) {
        for (int32_t k = 0; k < QUAD_INDEX_COUNT; ++k) {
            b.indices.data[q * QUAD_INDEX_COUNT + k] =
                uint16_t(q * QUAD_VERTEX_COUNT + QUAD_INDICES[k]);
        }
    }
    b.indices.upload(b.indices.count);
    b.runs.reserve(size_t(quads));
}

// Sends the chunk's quads and draws each of its runs in order.
void batch_flush(SPRITE_BATCH& b) {
    if (b.quads == 0) {
        return;
    }
    b.vertices.upload_fresh(b.quads * QUAD_VERTEX_COUNT); // leaves it bound
    index_buffer_bind(uint32_t(b.indices.slot));
    disable_joint_attribute_arrays();
    bind_vertex_format();
    for (const BATCH_RUN& run : b.runs) {
        send_colour(program_sprites2d, run.tint);
        bind_texture(run.texture, 0);
        const size_t offset = size_t(run.first) * QUAD_INDEX_COUNT * sizeof(uint16_t);
        glDrawElements(GL_TRIANGLES, run.count * QUAD_INDEX_COUNT, GL_UNSIGNED_SHORT,
                       reinterpret_cast<const void*>(offset));
        gl_check();
        ++frame_stats.draws;
    }
    b.runs.clear();
    b.quads = 0;
}

void batch_add(SPRITE_BATCH& b, TEXTURE* texture, const float tint[4], const float corners[4][4]) {
    if (b.quads == BATCH_QUADS) {
        batch_flush(b);
    }
    VERTEX* v = b.vertices.data + b.quads * QUAD_VERTEX_COUNT;
    for (int i = 0; i < QUAD_VERTEX_COUNT; ++i) {
        // The vertex a lone sprite's quad holds, at this place.
        v[i] = VERTEX{};
        v[i].position[0] = corners[i][0];
        v[i].position[1] = corners[i][1];
        v[i].position[3] = 1;
        std::memcpy(v[i].normal, QUAD_NORMALS[i], sizeof v[i].normal);
        set_texcoord(v[i], corners[i][2], corners[i][3]);
    }
    if (b.runs.empty() || b.runs.back().texture != texture ||
        std::memcmp(b.runs.back().tint, tint, sizeof b.runs.back().tint) != 0) {
        BATCH_RUN run{texture, {}, b.quads, 0};
        std::memcpy(run.tint, tint, sizeof run.tint);
        b.runs.push_back(run);
    }
    ++b.runs.back().count;
    ++b.quads;
}

} // namespace

DRAWABLE_IMAGE_BASE::DRAWABLE_IMAGE_BASE() {
    model.vertices.reserve_quad(USAGE_STATIC);
    set_quad_size(this, 1, 1);
    MESH* mesh = add_mesh(&model);
    write_quad_indices(mesh->indices);

    MATERIAL* material = new MATERIAL;
    mesh->material = material;
    material->program = program_sprite3d;
    material->cull_mode = CULL_NONE;
    material->depth_mode = DEPTH_TEST_ONLY; // the default with its write bit cleared
    material->transparent = true;
    material_add_texture(material, new TEXTURE);
}

DRAWABLE_IMAGE_BASE::~DRAWABLE_IMAGE_BASE() {
    destroy_model(&model);
}

SPRITE2D::SPRITE2D(SCENE* owner) {
    scene = owner;
}

SPRITE2D::~SPRITE2D() {
    hidden = true;
}

SHARED_QUAD::SHARED_QUAD() {
    vertices.reserve_quad(USAGE_DYNAMIC);
    write_quad_indices(indices);
    // A whole 16 x 16 picture of opaque white: the upload reads every texel.
    static uint8_t white[SHARED_QUAD_TEXTURE_SIZE * SHARED_QUAD_TEXTURE_SIZE * 4];
    std::memset(white, 0xFF, sizeof white);
    texture_slot = int32_t(texture_create(SHARED_QUAD_TEXTURE_SIZE, SHARED_QUAD_TEXTURE_SIZE,
                                          GL_LINEAR, GL_LINEAR, GL_REPEAT, GL_RGBA, white));
}

SHARED_QUAD::~SHARED_QUAD() {
    if (texture_slot != -1) {
        texture_release(uint32_t(texture_slot));
        texture_slot = -1;
    }
}

TEXTURE* drawable_image_texture(DRAWABLE_IMAGE_BASE* image) {
    MESH* mesh = image->model.meshes;
    if (!mesh || !mesh->material || !mesh->material->textures ||
        mesh->material->texture_count < 1) {
        return nullptr;
    }
    return mesh->material->textures[0];
}

void sprite_set_texture(DRAWABLE_IMAGE_BASE* sprite, TEXTURE* texture) {
    MESH* mesh = sprite->model.meshes;
    if (!mesh || !mesh->material) {
        return;
    }
    material_set_texture(mesh->material, texture, 0);
}

void set_quad_size(DRAWABLE_IMAGE_BASE* image, float w, float h) {
    VERTEX* v = image->model.vertices.data;
    if (!v) {
        return;
    }
    const float corners[4][2] = {
        {-w / 2, -h / 2}, {-w / 2, h / 2}, {w / 2, h / 2}, {w / 2, -h / 2}};
    for (int i = 0; i < QUAD_VERTEX_COUNT; ++i) {
        v[i].position[0] = corners[i][0];
        v[i].position[1] = corners[i][1];
        v[i].position[2] = 0;
        v[i].position[3] = 1;
        std::memcpy(v[i].normal, QUAD_NORMALS[i], sizeof v[i].normal);
    }
    image->geometry_changed = true;
    set_texture_rect(image, 0, 1, 1, 0);
}

void set_texture_rect(DRAWABLE_IMAGE_BASE* image, float a, float b, float c, float d) {
    VERTEX* v = image->model.vertices.data;
    if (!v) {
        return;
    }
    if (image->flip_horizontal) {
        std::swap(a, c);
    }
    if (image->flip_vertical) {
        std::swap(b, d);
    }
    set_texcoord(v[0], a, b);
    set_texcoord(v[1], a, d);
    set_texcoord(v[2], c, d);
    set_texcoord(v[3], c, b);
    image->geometry_changed = false;
    image->model.vertices.upload(image->model.vertices.count);
}

void draw_sprite_2d(DRAWABLE_IMAGE_BASE* image, int x, int y, float scale_x, float scale_y,
                    int src_w, int src_h, const float* tint) {
    static constexpr float WHITE[4] = {1, 1, 1, 1};
    MESH* mesh = image->model.meshes;
    TEXTURE* texture = drawable_texture(image);
    VERTEX* v = image->model.vertices.data;
    if (!texture || !sprite_program()) {
        return;
    }
    float corners[4][4];
    quad_corners(image, texture, x, y, scale_x, scale_y, src_w, src_h, corners);
    // Sent only when it differs from what the program holds: white sprites
    // make no call.
    send_colour(program_sprites2d, tint ? tint : WHITE);
    for (int i = 0; i < QUAD_VERTEX_COUNT; ++i) {
        v[i].position[0] = corners[i][0];
        v[i].position[1] = corners[i][1];
        set_texcoord(v[i], corners[i][2], corners[i][3]);
    }
    image->model.vertices.upload(image->model.vertices.count);

    bind_texture(texture, 0);
    index_buffer_bind(uint32_t(mesh->indices.slot));
    disable_joint_attribute_arrays();
    bind_vertex_format();
    glDrawElements(GL_TRIANGLES, mesh->indices.count, GL_UNSIGNED_SHORT, nullptr);
    gl_check();
    ++frame_stats.draws;
}

void draw_sprite2d_actor(SPRITE2D* sprite) {
    if (sprite->hidden) {
        return;
    }
    int x = 0;
    int y = 0;
    if (!truncated(sprite->position.x, x) || !truncated(sprite->position.y, y)) {
        return;
    }
    TEXTURE* texture = drawable_image_texture(sprite);
    if (!texture) {
        return;
    }
    draw_sprite_2d(sprite, x, y, sprite->scale.x, sprite->scale.y, texture->image->width,
                   texture->image->height, sprite->colour);
}

void draw_sprite2d_list(SPRITE2D* first) {
    int32_t shown = 0;
    for (ACTOR* a = first; a; a = a->next) {
        shown += a->hidden ? 0 : 1;
    }
    if (shown < 2) {
        // One sprite is drawn from its own quad, as it always was.
        for (ACTOR* a = first; a; a = a->next) {
            draw_sprite2d_actor(static_cast<SPRITE2D*>(a));
        }
        return;
    }
    if (!sprite_program()) {
        return;
    }
    if (!sprite_batch) {
        sprite_batch = new SPRITE_BATCH;
    }
    SPRITE_BATCH& b = *sprite_batch;
    batch_reserve(b, shown < BATCH_QUADS ? shown : BATCH_QUADS);
    for (ACTOR* a = first; a; a = a->next) {
        TEXTURE* texture = nullptr;
        float corners[4][4];
        if (sprite2d_placement(static_cast<SPRITE2D*>(a), texture, corners)) {
            batch_add(b, texture, static_cast<SPRITE2D*>(a)->colour, corners);
        }
    }
    batch_flush(b);
}

void sprite_batch_reset() {
    if (sprite_batch) {
        // The tables are reset separately: forget the slots, don't release them.
        sprite_batch->vertices.slot = -1;
        sprite_batch->indices.slot = -1;
        delete sprite_batch;
        sprite_batch = nullptr;
    }
}
