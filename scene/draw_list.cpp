// Draw lists and their sort orders (see draw_list.h). Owns no globals; the
// storage of each list is its own. Relies on the model stack, current_camera
// and draw_mesh.
#include "scene/draw_list.h"

#include "gfx/report.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/model.h"
#include "scene/scene.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

bool merge_still_draws = true;

// One merged draw: what it was built from (mesh, model, program, the
// model's vertices and the mesh's indices as they were, and every entry's
// world matrix) and the world-space copies of the vertices with indices
// into them. The contents are compared, not only the addresses: a model
// made again at a freed one's address must not show the old vertices.
struct MERGED_DRAW {
    MESH* mesh = nullptr;
    MODEL* model = nullptr;
    SHADER_PROGRAM* program = nullptr;
    std::vector<VERTEX> source_vertices;
    std::vector<uint16_t> source_indices;
    std::vector<MATRIX4> worlds;
    VERTEXBUFFER vertices;
    INDEXBUFFER indices;
};

// A list's merged draws in the order of the last frame's runs; kept across
// frames so a run that comes back unchanged is drawn without any rebuild.
struct MERGED_DRAWS {
    std::vector<std::unique_ptr<MERGED_DRAW>> draws;
};

namespace {

float squared_distance(const VECTOR3& c, const VECTOR4& p) {
    float dx = c.x - p.x;
    float dy = c.y - p.y;
    float dz = c.z - p.z;
    float dw = 1.0f - p.w;
    return dx * dx + dy * dy + dz * dz + dw * dw;
}

float depth_distance(const VECTOR3& c, const VECTOR4& p) {
    return std::fabs(c.z - p.z);
}

// Strict comparison of two keys for the chosen direction. A NaN key would
// compare false both ways, which is no strict weak ordering (std::sort may
// then run past the range); NaN keys are put after every number instead.
bool key_before(float a, float b, bool descending) {
    bool a_nan = std::isnan(a);
    bool b_nan = std::isnan(b);
    if (a_nan || b_nan) {
        return !a_nan && b_nan;
    }
    return descending ? a > b : a < b;
}

uintptr_t material_address(const DRAW_ENTRY& e) {
    return e.mesh ? reinterpret_cast<uintptr_t>(e.mesh->material) : 0;
}

// Vertices one merged draw may hold: its indices are 16-bit.
constexpr int32_t MERGED_VERTEX_LIMIT = 65536;

bool mergeable(const DRAW_ENTRY& e) {
    return e.still && e.program && e.mesh && e.mesh->material && e.model && !e.model->skinned &&
           !e.skin && e.model->vertices.data && e.model->vertices.count > 0 &&
           e.model->vertices.slot != -1 && e.mesh->indices.data && e.mesh->indices.count > 0 &&
           e.mesh->indices.slot != -1 && e.model->vertices.count <= MERGED_VERTEX_LIMIT;
}

bool same_draw(const DRAW_ENTRY& a, const DRAW_ENTRY& b) {
    return a.mesh == b.mesh && a.model == b.model && a.program == b.program &&
           std::memcmp(&a.properties.alpha, &b.properties.alpha, sizeof(float)) == 0 &&
           matrix_mirrors(a.world) == matrix_mirrors(b.world);
}

// Entries from first on that draw together (1: no neighbour to merge with).
int32_t run_length(const DRAW_LIST* list, int32_t first) {
    const DRAW_ENTRY& e = list->entries[first];
    if (!merge_still_draws || !mergeable(e)) {
        return 1;
    }
    const int32_t vertices = e.model->vertices.count;
    int32_t total = vertices;
    int32_t end = first + 1;
    while (end < list->count && total <= MERGED_VERTEX_LIMIT - vertices &&
           mergeable(list->entries[end]) && same_draw(e, list->entries[end])) {
        total += vertices;
        ++end;
    }
    return end - first;
}

bool built_from(const MERGED_DRAW& m, const DRAW_ENTRY* run, int32_t n) {
    const DRAW_ENTRY& e = run[0];
    const VERTEXBUFFER& v = e.model->vertices;
    const INDEXBUFFER& i = e.mesh->indices;
    if (m.mesh != e.mesh || m.model != e.model || m.program != e.program ||
        m.worlds.size() != size_t(n) || m.source_vertices.size() != size_t(v.count) ||
        m.source_indices.size() != size_t(i.count) ||
        std::memcmp(m.source_vertices.data(), v.data, size_t(v.count) * sizeof(VERTEX)) != 0 ||
        std::memcmp(m.source_indices.data(), i.data, size_t(i.count) * sizeof(uint16_t)) != 0) {
        return false;
    }
    for (int32_t k = 0; k < n; ++k) {
        if (std::memcmp(&m.worlds[size_t(k)], &run[k].world, sizeof(MATRIX4)) != 0) {
            return false;
        }
    }
    return true;
}

// Places every entry's copy of the model's vertices in world space, as the
// model program would with that entry's world and normal matrices.
void build_merged(MERGED_DRAW& m, const DRAW_ENTRY* run, int32_t n) {
    const DRAW_ENTRY& e = run[0];
    const VERTEXBUFFER& source = e.model->vertices;
    const INDEXBUFFER& source_indices = e.mesh->indices;
    m.mesh = e.mesh;
    m.model = e.model;
    m.program = e.program;
    m.source_vertices.assign(source.data, source.data + source.count);
    m.source_indices.assign(source_indices.data, source_indices.data + source_indices.count);
    m.worlds.resize(size_t(n));
    m.vertices.reserve(n * source.count, USAGE_STATIC);
    m.indices.reserve(n * source_indices.count, USAGE_STATIC);
    VERTEX* out = m.vertices.data;
    uint16_t* out_index = m.indices.data;
    for (int32_t k = 0; k < n; ++k) {
        const MATRIX4& w = run[k].world;
        m.worlds[size_t(k)] = w;
        // A singular world matrix is kept as it is, then transposed.
        MATRIX4 normal = w;
        matrix_invert(normal, normal);
        matrix_transpose(normal);
        for (int32_t v = 0; v < source.count; ++v) {
            const VERTEX& in = source.data[v];
            *out = in;
            VECTOR4 p;
            matrix_transform(
                p, w, VECTOR4{in.position[0], in.position[1], in.position[2], in.position[3]});
            VECTOR4 q;
            matrix_transform(q, normal, VECTOR4{in.normal[0], in.normal[1], in.normal[2], 0});
            out->position[0] = p.x;
            out->position[1] = p.y;
            out->position[2] = p.z;
            out->position[3] = p.w;
            out->normal[0] = q.x;
            out->normal[1] = q.y;
            out->normal[2] = q.z;
            ++out;
        }
        const uint32_t base = uint32_t(k) * uint32_t(source.count);
        for (int32_t i = 0; i < source_indices.count; ++i) {
            *out_index++ = uint16_t(base + source_indices.data[i]);
        }
    }
    m.vertices.upload(m.vertices.count);
    m.indices.upload(m.indices.count);
}

// Draws n neighbouring entries that merge as the list's merged draw number
// index, rebuilding it when they are not what it was built from.
void draw_merged(DRAW_LIST* list, size_t index, const DRAW_ENTRY* run, int32_t n) {
    if (!list->merged) {
        list->merged = new MERGED_DRAWS;
    }
    std::vector<std::unique_ptr<MERGED_DRAW>>& draws = list->merged->draws;
    if (draws.size() <= index) {
        draws.push_back(std::make_unique<MERGED_DRAW>());
    }
    MERGED_DRAW& m = *draws[index];
    if (!built_from(m, run, n)) {
        build_merged(m, run, n);
    }
    MATRIX4 identity;
    matrix_identity(identity);
    matrix_stack_load(model_stack, identity);
    run[0].mesh->material->program = run[0].program;
    draw_mesh_merged(run[0].mesh, run[0].model, m.vertices, m.indices, matrix_mirrors(run[0].world),
                     run[0].properties.alpha);
}

void draw_list_draw(DRAW_LIST* list) {
    size_t merged = 0;
    for (int32_t i = 0; i < list->count; ++i) {
        DRAW_ENTRY& e = list->entries[i];
        const int32_t run = run_length(list, i);
        if (run > 1) {
            draw_merged(list, merged++, &e, run);
            i += run - 1;
            continue;
        }
        matrix_stack_load(model_stack, e.world);
        if (!e.program || !e.mesh || !e.mesh->material || !e.model) {
            if (!e.program) {
                static ONCE_FLAG no_program;
                report_once(no_program, "vexa: meshes without a shader program are not drawn\n");
            }
            continue;
        }
        e.mesh->material->program = e.program;
        draw_mesh(e.mesh, e.model, e.skin, e.skin_on_cpu, e.properties.alpha);
    }
}

} // namespace

DRAW_LIST::~DRAW_LIST() {
    std::free(entries);
    delete merged;
}

bool draw_list_reserve(DRAW_LIST* list, int32_t capacity) {
    if (capacity <= list->capacity) {
        return true;
    }
    void* grown = std::realloc(list->entries, size_t(capacity) * sizeof(DRAW_ENTRY));
    if (!grown) {
        return false;
    }
    list->entries = static_cast<DRAW_ENTRY*>(grown);
    list->capacity = capacity;
    return true;
}

bool draw_list_append(DRAW_LIST* list, const DRAW_ENTRY& entry) {
    if (list->count == list->capacity) {
        int32_t grown = list->capacity < DRAW_LIST_INITIAL_CAPACITY ? DRAW_LIST_INITIAL_CAPACITY
                                                                    : list->capacity;
        // Doubling up to the largest count an int32 holds.
        if (list->capacity >= DRAW_LIST_INITIAL_CAPACITY) {
            grown = list->capacity > INT32_MAX / 2 ? INT32_MAX : list->capacity * 2;
        }
        if (grown == list->capacity || !draw_list_reserve(list, grown)) {
            if (list->dropped++ == 0) {
                std::fprintf(stderr,
                             "vexa: a draw list could not grow beyond %d entries; "
                             "further meshes are not drawn\n",
                             list->capacity);
            }
            return false;
        }
    }
    list->entries[list->count++] = entry;
    return true;
}

void draw_list_clear(DRAW_LIST* list) {
    list->count = 0;
}

void sort_draw_list(DRAW_LIST* list, int32_t mode, const VECTOR3& camera) {
    DRAW_ENTRY* first = list->entries;
    DRAW_ENTRY* last = list->entries + list->count;
    if (list->count < 2) {
        return;
    }
    switch (mode) {
    case SORT_FAR_TO_NEAR:
    case SORT_NEAR_TO_FAR: {
        bool far_first = mode == SORT_FAR_TO_NEAR;
        std::sort(first, last, [&](const DRAW_ENTRY& e, const DRAW_ENTRY& f) {
            return key_before(squared_distance(camera, e.position),
                              squared_distance(camera, f.position), far_first);
        });
        break;
    }
    case SORT_FAR_Z_FIRST:
    case SORT_NEAR_Z_FIRST: {
        bool far_first = mode == SORT_FAR_Z_FIRST;
        std::sort(first, last, [&](const DRAW_ENTRY& e, const DRAW_ENTRY& f) {
            return key_before(depth_distance(camera, e.position),
                              depth_distance(camera, f.position), far_first);
        });
        break;
    }
    case SORT_BY_PROGRAM:
        std::sort(first, last, [](const DRAW_ENTRY& e, const DRAW_ENTRY& f) {
            return reinterpret_cast<uintptr_t>(e.program) < reinterpret_cast<uintptr_t>(f.program);
        });
        break;
    case SORT_BY_MATERIAL:
        std::sort(first, last, [](const DRAW_ENTRY& e, const DRAW_ENTRY& f) {
            return material_address(e) < material_address(f);
        });
        break;
    default:
        break; // queue order
    }
}

void sort_and_draw_lists(SCENE* scene) {
    // A full stack would refuse the push; nothing can be drawn without it.
    if (!model_stack || !model_stack->top ||
        uint32_t(model_stack->depth) + 1u >= model_stack->capacity) {
        return;
    }
    matrix_stack_push(model_stack);
    VECTOR3 camera = current_camera ? current_camera->position : VECTOR3{0, 0, 0};
    sort_draw_list(&scene->opaque, scene->opaque_sort_mode, camera);
    draw_list_draw(&scene->opaque);
    sort_draw_list(&scene->transparent, scene->transparent_sort_mode, camera);
    draw_list_draw(&scene->transparent);
    matrix_stack_pop(model_stack);
}
