// Model actors and camera-facing sprites (see model_actor.h). Owns no
// globals besides its walk counter. The draw walks use one model-stack slot
// per level and check for room before every push; the update walk is bounded
// to the same depth, and every walk stops at an actor it reaches twice.
// Relies on the program slots, current_camera and the skeleton code.
#include "scene/model_actor.h"

#include "gfx/frame_stats.h"
#include "gfx/render_state.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/draw_list.h"
#include "scene/model.h"
#include "scene/scene.h"
#include "scene/skeleton.h"
#include "shader/model_programs.h"
#include "shader/program.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// No hierarchy may nest deeper than the model stack could hold.
constexpr int32_t MAX_TREE_DEPTH = int32_t(MODEL_STACK_CAPACITY);

bool model_stack_has_room() {
    if (model_stack && model_stack->top &&
        uint32_t(model_stack->depth) + 1u < model_stack->capacity) {
        return true;
    }
    static bool warned = false;
    if (!warned) {
        warned = true;
        std::fprintf(stderr, "vexa: an actor hierarchy is deeper than the model stack; "
                             "its deepest levels are not drawn\n");
    }
    return false;
}

uint64_t actor_walks = 0;

// Stamps actor with walk; true (one line for the run) when the walk had
// already reached it: the tree has a cycle, and the walk stops there.
bool reached_again(uint64_t& mark, uint64_t walk) {
    if (mark != walk) {
        mark = walk;
        return false;
    }
    static bool warned = false;
    if (!warned) {
        warned = true;
        std::fprintf(stderr, "vexa: an actor tree has a cycle; the walk stops where it closes\n");
    }
    return true;
}

int32_t resolve(int32_t requested, int32_t own) {
    return requested == INHERIT ? own : requested;
}

// The view's six planes (a, b, c, d with a unit normal pointing inwards) in
// world space, from the current camera's projection times view; remade when
// either matrix changed since the last draw walk.
struct VIEW_PLANES {
    MATRIX4 projection;
    MATRIX4 view;
    float planes[6][4];
    bool made = false;
    bool valid = false;
};
VIEW_PLANES view_planes;

void refresh_view_planes() {
    if (!camera_valid(current_camera)) {
        view_planes.valid = false;
        return;
    }
    const MATRIX4& p = *current_camera->projection_stack->top;
    const MATRIX4& v = *current_camera->view_stack->top;
    if (view_planes.made && std::memcmp(&p, &view_planes.projection, sizeof p) == 0 &&
        std::memcmp(&v, &view_planes.view, sizeof v) == 0) {
        return;
    }
    view_planes.projection = p;
    view_planes.view = v;
    view_planes.made = true;
    view_planes.valid = true;
    MATRIX4 m;
    matrix_multiply(m, p, v);
    // Clip space keeps -w <= x, y, z <= w: each bound is row 3 plus or minus a row.
    for (int i = 0; i < 6; ++i) {
        const int row = i / 2;
        const float sign = i % 2 == 0 ? 1.0f : -1.0f;
        float* plane = view_planes.planes[i];
        for (int k = 0; k < 4; ++k) {
            plane[k] = m.m[k * 4 + 3] + sign * m.m[k * 4 + row];
        }
        const float length =
            std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
        if (!(length > 0.0f) || !std::isfinite(length) || !std::isfinite(plane[3])) {
            view_planes.valid = false; // a projection no sphere can be tested against
            return;
        }
        for (float& k : view_planes.planes[i]) {
            k /= length;
        }
    }
}

// True when the model, placed by the model stack's top, lies wholly outside
// the view. Skinned models are posed beyond their bind-pose sphere and are
// never culled; neither is anything under a world matrix that is not affine.
bool outside_view(MODEL* model) {
    if (!view_planes.valid || model->skinned) {
        return false;
    }
    const float* b = model_bound(model);
    const float* w = model_stack->top->m;
    if (b[3] < 0 || w[3] != 0 || w[7] != 0 || w[11] != 0 || w[15] != 1) {
        return false;
    }
    float centre[3];
    float scale = 0;
    for (int k = 0; k < 3; ++k) {
        centre[k] = w[k] * b[0] + w[4 + k] * b[1] + w[8 + k] * b[2] + w[12 + k];
        const float column =
            w[k * 4] * w[k * 4] + w[k * 4 + 1] * w[k * 4 + 1] + w[k * 4 + 2] * w[k * 4 + 2];
        scale = column > scale ? column : scale;
    }
    const float radius = b[3] * std::sqrt(scale);
    if (!std::isfinite(radius) || !std::isfinite(centre[0] + centre[1] + centre[2])) {
        return false;
    }
    for (const float* plane : view_planes.planes) {
        if (plane[0] * centre[0] + plane[1] * centre[1] + plane[2] * centre[2] + plane[3] <
            -radius) {
            return true;
        }
    }
    return false;
}

DRAW_ENTRY entry_at_stack_top(MODEL* model) {
    DRAW_ENTRY e;
    e.world = *model_stack->top;
    e.model = model;
    e.position = VECTOR4{e.world.m[12], e.world.m[13], e.world.m[14], 1.0f};
    return e;
}

void queue(SCENE* scene, const DRAW_ENTRY& e, bool transparent) {
    draw_list_append(transparent ? &scene->transparent : &scene->opaque, e);
}

// Each walk returns false when it met a cycle, so every level above stops too.
bool update_points(MODEL_ACTOR* actor, const MATRIX4& m, int32_t level, uint64_t walk) {
    if (level >= MAX_TREE_DEPTH) {
        return true;
    }
    if (reached_again(actor->points_walk_mark, walk)) {
        return false;
    }
    matrix_transform(actor->transformed_a, m, actor->reference_a);
    matrix_transform(actor->transformed_b, m, actor->reference_b);
    if (actor->model) {
        update_reference_points(m, actor->model);
    }
    for (ACTOR* child = actor->children; child; child = child->next) {
        if (!update_points(static_cast<MODEL_ACTOR*>(child), m, level + 1, walk)) {
            return false;
        }
    }
    return true;
}

bool update_tree(MODEL_ACTOR* actor, float time, int32_t level, uint64_t walk) {
    if (level >= MAX_TREE_DEPTH) {
        return true;
    }
    if (reached_again(actor->walk_mark, walk)) {
        return false;
    }
    if (actor->model) {
        for (MESH* mesh = actor->model->meshes; mesh; mesh = mesh->next) {
            MATERIAL* material = mesh->material;
            if (material && material->texture_animation) {
                advance_animation(material->texture_animation);
                material->texture_offsets[0] += 0.001f;
                material->texture_offsets[1] += 0.001f;
            }
        }
    }
    if (actor->animation) {
        advance_animation(actor->animation);
    }
    if (actor->skin) {
        update_skeleton_pose(actor);
    }
    for (ACTOR* child = actor->children; child; child = child->next) {
        if (!update_tree(static_cast<MODEL_ACTOR*>(child), time, level + 1, walk)) {
            return false;
        }
    }
    return true;
}

bool draw_tree(MODEL_ACTOR* actor, SCENE* scene, float opacity, int32_t depth, int32_t cull,
               int32_t blend, uint64_t walk) {
    if (actor->hidden || !model_stack_has_room()) {
        return true;
    }
    if (reached_again(actor->walk_mark, walk)) {
        return false;
    }
    matrix_stack_push(model_stack);
    apply_local_transform(actor);
    matrix_stack_mult(model_stack, actor->pivot);
    update_actor_points(actor, nullptr);
    const MATRIX4& world = *model_stack->top;
    actor->still = actor->drawn && std::memcmp(&world, &actor->drawn_world, sizeof world) == 0;
    actor->drawn_world = world;
    actor->drawn = true;

    int32_t own_depth = resolve(depth, actor->depth_mode);
    int32_t own_cull = resolve(cull, actor->cull_mode);
    int32_t own_blend = resolve(blend, actor->blend_mode);
    float own_opacity = actor->alpha * opacity;
    if (actor->model) {
        if (outside_view(actor->model)) {
            ++frame_stats.culled;
        } else {
            enqueue_model(actor, own_cull, own_depth, scene, own_opacity, own_blend);
        }
    }
    bool whole = true;
    for (ACTOR* child = actor->children; whole && child; child = child->next) {
        whole = draw_tree(static_cast<MODEL_ACTOR*>(child), scene, own_opacity, own_depth, own_cull,
                          own_blend, walk);
    }
    matrix_stack_pop(model_stack);
    return whole;
}

} // namespace

MODEL_ACTOR::MODEL_ACTOR() {
    cull_mode = INHERIT;
    depth_mode = INHERIT;
    blend_mode = INHERIT;
    matrix_identity(pivot);
}

MODEL_ACTOR::~MODEL_ACTOR() = default;

SPRITE3D::SPRITE3D(SCENE* owner) {
    scene = owner;
    matrix_identity(billboard);
    // A see-through card: never culled, depth-tested without writing depth.
    cull_mode = CULL_NONE;
    depth_mode = DEPTH_TEST_ONLY;
    blend_mode = BLEND_ALPHA;
    transparent = true;
}

SPRITE3D::~SPRITE3D() = default;

void draw_actor_tree(MODEL_ACTOR* actor, SCENE* scene, float opacity, int32_t depth, int32_t cull,
                     int32_t blend) {
    refresh_view_planes();
    draw_tree(actor, scene, opacity, depth, cull, blend, ++actor_walks);
}

void enqueue_model(MODEL_ACTOR* actor, int32_t cull, int32_t depth, SCENE* scene, float opacity,
                   int32_t blend) {
    MODEL* model = actor->model;
    if (!model || !model->meshes || !model_stack || !model_stack->top) {
        return;
    }
    cull = resolve(cull, actor->cull_mode);
    depth = resolve(depth, actor->depth_mode);
    blend = resolve(blend, actor->blend_mode);
    float alpha = actor->alpha * opacity;

    DRAW_ENTRY e = entry_at_stack_top(model);
    // The model programs are built by the first model draw that needs one.
    if (model->skinned) {
        e.program = model_program(!actor->skin_on_cpu);
        e.skin = actor->skin;
        e.skin_on_cpu = actor->skin_on_cpu;
    } else {
        e.program = model_program(false);
        e.still = actor->still;
    }
    for (MESH* mesh = model->meshes; mesh; mesh = mesh->next) {
        MATERIAL* material = mesh->material;
        if (!material) {
            continue; // nothing to draw it with
        }
        material->depth_override = depth;
        material->cull_override = cull;
        material->blend_override = blend;
        e.mesh = mesh;
        e.properties.alpha = material->alpha * alpha;
        queue(scene, e, e.properties.alpha < 1.0f || material->transparent);
    }
}

void update_actor_points(MODEL_ACTOR* actor, const MATRIX4* matrix) {
    update_points(actor, matrix ? *matrix : actor->local, 0, ++actor_walks);
}

void update_actor_tree(MODEL_ACTOR* actor, float time) {
    update_tree(actor, time, 0, ++actor_walks);
}

void enqueue_sprite3d(SPRITE3D* sprite, SCENE* scene) {
    if (sprite->hidden || !model_stack_has_room()) {
        return;
    }
    matrix_stack_push(model_stack);
    apply_local_transform(sprite);
    if (!current_camera) {
        matrix_stack_pop(model_stack);
        return;
    }
    const VECTOR3& r = current_camera->rotation;
    if (sprite->billboard_mode == BILLBOARD_FULL) {
        matrix_identity(sprite->billboard);
        matrix_rotate(sprite->billboard, -r.z, 0, 0, 1);
        matrix_rotate(sprite->billboard, r.y, 0, 1, 0);
        matrix_rotate(sprite->billboard, r.x, 1, 0, 0);
    } else if (sprite->billboard_mode == BILLBOARD_AXIS_Y) {
        matrix_identity(sprite->billboard);
        matrix_rotate(sprite->billboard, r.y, 0, 1, 0);
    }
    matrix_stack_mult(model_stack, sprite->billboard);

    sprite->alpha = 0.5f;
    DRAW_ENTRY e = entry_at_stack_top(&sprite->model);
    e.properties.alpha = sprite->alpha;
    for (MESH* mesh = sprite->model.meshes; mesh; mesh = mesh->next) {
        MATERIAL* material = mesh->material;
        if (!material) {
            continue;
        }
        e.program = material->program;
        e.mesh = mesh;
        material->depth_override = sprite->depth_mode;
        material->cull_override = sprite->cull_mode;
        material->blend_override = sprite->blend_mode;
        material->emission.x = sprite->emission[0];
        material->emission.y = sprite->emission[1];
        material->emission.z = sprite->emission[2];
        material->has_emission = true;
        material->alpha = sprite->alpha;
        material->transparent = sprite->transparent;
        queue(scene, e, sprite->alpha < 1.0f || material->transparent);
    }
    matrix_stack_pop(model_stack);
}
