// Skeletal posing and CPU skinning (see skeleton.h). Owns no globals. The
// joint walk runs on the global model stack, whose room is checked before
// posing so a deep hierarchy is refused rather than written past the stack;
// a cyclic one is refused by the walk marks of scene/skin.h. Relies on
// scene/model.h for the vertex buffers.
#include "scene/skeleton.h"

#include "math/matrix_stack.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/skinning_fast.h"
#include "shader/limits.h"

#include <climits>
#include <cmath>
#include <cstdio>

namespace {

// Pushes the model stack can still take.
int32_t model_stack_room() {
    if (!model_stack || !model_stack->top) {
        return 0;
    }
    return int32_t(model_stack->capacity) - 1 - model_stack->depth;
}

// Levels from joint down, counted up to limit + 1; SKELETON_CYCLE when a
// joint of the walk is reached twice.
int32_t joint_depth(const JOINT* joint, int32_t limit, int32_t level, uint64_t walk) {
    if (joint_reached_again(joint, walk)) {
        return SKELETON_CYCLE;
    }
    int32_t deepest = level;
    if (level > limit) {
        return deepest;
    }
    for (const JOINT* child = joint->first_child; child; child = child->next_sibling) {
        int32_t d = joint_depth(child, limit, level + 1, walk);
        if (d == SKELETON_CYCLE) {
            return d;
        }
        deepest = d > deepest ? d : deepest;
        if (deepest > limit) {
            break;
        }
    }
    return deepest;
}

// One line per kind of refusal for the whole run: content that breaks the
// rules tends to do so every frame.
bool refused(int32_t depth, int32_t room) {
    if (depth == SKELETON_CYCLE) {
        static bool warned = false;
        if (!warned) {
            warned = true;
            std::fprintf(stderr, "vexa: a joint hierarchy has a cycle; it is not posed\n");
        }
        return true;
    }
    // One push for the skeleton's own space, one per joint level.
    if (depth + 1 > room) {
        static bool warned = false;
        if (!warned) {
            warned = true;
            std::fprintf(stderr, "vexa: a joint hierarchy is deeper than the model stack "
                                 "has room for; it is not posed\n");
        }
        return true;
    }
    return false;
}

// An animated joint reads its frame matrix only when its index selects one.
const MATRIX4& local_transform(const JOINT* joint, const ANIMATION_FRAME* frame,
                               int32_t matrix_count) {
    if (frame && frame->joint_locals && joint->animated && joint->index >= 0 &&
        joint->index < matrix_count) {
        return frame->joint_locals[joint->index];
    }
    return joint->bind_local_transform;
}

void pose(JOINT* joint, const ANIMATION_FRAME* frame, int32_t matrix_count) {
    if (model_stack_room() < 1) {
        return;
    }
    matrix_stack_push(model_stack);
    matrix_stack_mult(model_stack, local_transform(joint, frame, matrix_count));
    joint->current_transform = *model_stack->top;
    for (JOINT* child = joint->first_child; child; child = child->next_sibling) {
        pose(child, frame, matrix_count);
    }
    matrix_stack_pop(model_stack);
}

// The joint a vertex's float index names, or null for -1, a NaN or any index
// outside the skin's joint array. An index in (-1, 0) truncates to joint 0,
// so a skin counting no joints is checked for explicitly.
const JOINT* vertex_joint(const SKIN* skin, float index) {
    if (!skin->joints || skin->joint_count <= 0 ||
        !(index > -1.0f && index < float(skin->joint_count))) {
        return nullptr;
    }
    return skin->joints[int32_t(index)];
}

VECTOR3 mul3(const float* m, int stride, const VECTOR3& v) {
    // Column c starts at c * stride: 3 for the 3x3 normal matrix, 4 for a MATRIX4.
    return VECTOR3{m[0] * v.x + m[stride] * v.y + m[2 * stride] * v.z,
                   m[1] * v.x + m[stride + 1] * v.y + m[2 * stride + 1] * v.z,
                   m[2] * v.x + m[stride + 2] * v.y + m[2 * stride + 2] * v.z};
}

bool unit(VECTOR3& v) {
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        return false;
    }
    v = VECTOR3{v.x / length, v.y / length, v.z / length};
    return true;
}

void skin_vertex(const SKIN* skin, const VERTEX& s, VERTEX& d) {
    const MATRIX4& b = skin->bind_shape_matrix;
    VECTOR4 p_bind;
    matrix_transform(p_bind, b,
                     VECTOR4{s.position[0], s.position[1], s.position[2], s.position[3]});
    VECTOR3 n_bind = mul3(b.m, 4, VECTOR3{s.normal[0], s.normal[1], s.normal[2]});

    VECTOR4 p{0, 0, 0, 0};
    VECTOR3 n{0, 0, 0};
    for (int k = 0; k < MAX_JOINT_INFLUENCES; ++k) {
        float w = s.joint_weights[k];
        if (!(w > 0.0f)) {
            continue;
        }
        VECTOR4 pk = p_bind;
        VECTOR3 nk = n_bind;
        if (const JOINT* j = vertex_joint(skin, s.joint_indices[k])) {
            VECTOR4 unbound;
            matrix_transform(unbound, j->inverse_bind_matrix, p_bind);
            matrix_transform(pk, j->current_transform, unbound);
            nk = mul3(j->current_transform.m, 4, mul3(j->normal_matrix, 3, n_bind));
        }
        p = VECTOR4{p.x + w * pk.x, p.y + w * pk.y, p.z + w * pk.z, p.w + w * pk.w};
        n = VECTOR3{n.x + w * nk.x, n.y + w * nk.y, n.z + w * nk.z};
    }
    // Influences that cancel leave no direction: fall back to the bind-pose normal.
    if (!unit(n)) {
        n = n_bind;
        if (!unit(n)) {
            n = VECTOR3{0, 0, 1};
        }
    }
    d.position[0] = p.x;
    d.position[1] = p.y;
    d.position[2] = p.z;
    d.position[3] = p.w;
    d.normal[0] = n.x;
    d.normal[1] = n.y;
    d.normal[2] = n.z;
}

} // namespace

ANIMATION_FRAME* select_animation_frame(const ANIMATION* animation) {
    if (!animation || animation->frame_count <= 0 || !animation->frames) {
        return nullptr;
    }
    int32_t last = animation->frame_count - 1;
    float f = float(last) * animation->playback_position;
    // A position outside 0..1 (or NaN) must not index outside the frames.
    int32_t i = !(f > 0.0f) ? 0 : f >= float(last) ? last : int32_t(f);
    return &animation->frames[i];
}

int32_t skeleton_depth(const SKIN* skin, int32_t limit) {
    if (!skin_root_list_ends(skin)) {
        return SKELETON_CYCLE;
    }
    const uint64_t walk = joint_walk_begin();
    int32_t deepest = 0;
    for (const SKIN_ROOT* root = skin->roots; root && deepest <= limit; root = root->next) {
        for (const JOINT* j = root->joint; j && deepest <= limit; j = j->next_sibling) {
            int32_t d = joint_depth(j, limit, 1, walk);
            if (d == SKELETON_CYCLE) {
                return d;
            }
            deepest = d > deepest ? d : deepest;
        }
    }
    return deepest;
}

void update_skeleton_pose(MODEL_ACTOR* actor) {
    SKIN* skin = actor->skin;
    if (!skin) {
        return;
    }
    ANIMATION_FRAME* frame = select_animation_frame(actor->animation);
    bool changed = false;
    // "posed" makes the first update compute the bind pose even when no
    // animation ever selects a frame.
    if (frame != actor->current_frame || !actor->posed) {
        int32_t room = model_stack_room();
        if (refused(skeleton_depth(skin, room), room)) {
            return;
        }
        actor->current_frame = frame;
        actor->posed = true;
        matrix_stack_push(model_stack);
        MATRIX4 identity;
        matrix_identity(identity);
        matrix_stack_load(model_stack, identity);
        for (SKIN_ROOT* root = skin->roots; root; root = root->next) {
            for (JOINT* j = root->joint; j; j = j->next_sibling) {
                pose(j, frame, skin->joint_count);
            }
        }
        matrix_stack_pop(model_stack);
        changed = true;
    }
    MODEL* model = actor->model;
    if (actor->skin_on_cpu && changed && model) {
        skin_vertices_cpu(actor);
        if (model->vertices.slot != -1 && model->vertices.count > 0) {
            model->vertices.upload(model->vertices.count);
        }
    }
}

void pose_joint(JOINT* joint, ANIMATION_FRAME* frame) {
    // The joint's own level needs no extra slot for a skeleton space.
    int32_t room = model_stack_room();
    if (!joint || refused(joint_depth(joint, room, 1, joint_walk_begin()), room + 1)) {
        return;
    }
    pose(joint, frame, INT32_MAX);
}

void skin_vertices_cpu(MODEL_ACTOR* actor) {
    MODEL* model = actor->model;
    const SKIN* skin = actor->skin;
    if (!model || !skin || !model->vertices.data || !model->source_vertices.data) {
        return;
    }
    // Both arrays are read up to the shorter one.
    int32_t count = model->vertices.count < model->source_vertices.count
                        ? model->vertices.count
                        : model->source_vertices.count;
    if (skinning_path != SKINNING_PLAIN &&
        skin_vertices_fast(skin, model->source_vertices.data, model->vertices.data, count,
                           skinning_path == SKINNING_FAST_ALL_THREADS)) {
        return;
    }
    for (int32_t v = 0; v < count; ++v) {
        skin_vertex(skin, model->source_vertices.data[v], model->vertices.data[v]);
    }
}
