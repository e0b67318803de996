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

void draw_list_draw(DRAW_LIST* list) {
    for (int32_t i = 0; i < list->count; ++i) {
        DRAW_ENTRY& e = list->entries[i];
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
