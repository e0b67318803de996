// Model, skin and scene-list builders (see builders.h). Owns no globals; the
// models and skins it creates belong to the caller.
#include "scene/builders.h"

#include "scene/camera.h"
#include "scene/model.h"
#include "scene/model_actor.h"
#include "scene/scene.h"
#include "scene/skin.h"
#include "scene/uniforms.h"
#include "gfx/report.h"
#include "shader/limits.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

// 16-bit indices name at most this many vertices.
constexpr int32_t MAX_MODEL_VERTICES = 65536;

// Appends item at the tail of a list linked through ACTOR::next.
template <class T> void append_actor(T*& head, int32_t& count, ACTOR* item) {
    item->next = nullptr;
    if (!head) {
        head = static_cast<T*>(item);
    } else {
        ACTOR* tail = head;
        while (tail->next) {
            tail = tail->next;
        }
        tail->next = item;
    }
    ++count;
}

} // namespace

MODEL* build_model(const VERTEX* vertices, int32_t vertex_count, bool skinned) {
    if (!vertices || vertex_count < 1 || vertex_count > MAX_MODEL_VERTICES) {
        std::fprintf(stderr, "vexa: a model needs 1 to %d vertices, not %d\n", MAX_MODEL_VERTICES,
                     vertex_count);
        return nullptr;
    }
    size_t bytes = size_t(vertex_count) * sizeof(VERTEX);
    MODEL* model = new MODEL;
    model->skinned = skinned;
    model->vertices.reserve(vertex_count, USAGE_STATIC);
    std::memcpy(model->vertices.data, vertices, bytes);
    model->vertices.upload(vertex_count);
    if (skinned) {
        // Main-memory only: CPU skinning reads it, GL never sees it.
        void* copy = std::malloc(bytes);
        if (!copy) {
            delete model;
            throw std::bad_alloc();
        }
        std::memcpy(copy, vertices, bytes);
        model->source_vertices.data = static_cast<VERTEX*>(copy);
        model->source_vertices.capacity = uint32_t(bytes);
        model->source_vertices.count = vertex_count;
    }
    return model;
}

MESH* build_mesh(MODEL* model, const uint16_t* indices, int32_t index_count) {
    if (!model || !indices || index_count < 3 || index_count % 3 != 0) {
        std::fprintf(stderr, "vexa: a mesh needs whole triangles, not %d indices\n", index_count);
        return nullptr;
    }
    for (int32_t i = 0; i < index_count; ++i) {
        if (int32_t(indices[i]) >= model->vertices.count) {
            std::fprintf(stderr, "vexa: mesh index %u names no vertex of a %d-vertex model\n",
                         unsigned(indices[i]), model->vertices.count);
            return nullptr;
        }
    }
    MESH* mesh = add_mesh(model);
    mesh->indices.reserve(index_count, USAGE_STATIC);
    std::memcpy(mesh->indices.data, indices, size_t(index_count) * sizeof(uint16_t));
    mesh->indices.upload(index_count);
    mesh->material = new MATERIAL;
    return mesh;
}

SKIN* build_skin(int32_t joint_count) {
    SKIN* skin = new SKIN;
    matrix_identity(skin->bind_shape_matrix);
    if (joint_count > 0) {
        skin->joints = new JOINT*[size_t(joint_count)]();
        skin->joint_count = joint_count;
    }
    return skin;
}

namespace {

// Cuts a root list that runs in a circle where it closes, so a walk to its
// end ends and each node is met once.
void cut_root_circle(SKIN* skin) {
    SKIN_ROOT* slow = skin->roots;
    SKIN_ROOT* fast = skin->roots;
    while (fast && fast->next) {
        slow = slow->next;
        fast = fast->next->next;
        if (slow == fast) {
            break;
        }
    }
    if (!fast || !fast->next) {
        return;
    }
    // From the head and from the meeting point, both reach the circle's first
    // node after the same number of steps.
    for (slow = skin->roots; slow != fast; slow = slow->next) {
        fast = fast->next;
    }
    SKIN_ROOT* last = slow;
    while (last->next != slow) {
        last = last->next;
    }
    last->next = nullptr;
}

} // namespace

void skin_add_root(SKIN* skin, JOINT* joint) {
    if (!skin_root_list_ends(skin)) {
        std::fprintf(stderr, "vexa: a skin's root list runs in a circle; no root is added\n");
        return;
    }
    SKIN_ROOT* node = new SKIN_ROOT;
    node->joint = joint;
    SKIN_ROOT** tail = &skin->roots;
    while (*tail) {
        tail = &(*tail)->next;
    }
    *tail = node;
}

void destroy_skin(SKIN* skin) {
    if (!skin) {
        return;
    }
    cut_root_circle(skin);
    for (SKIN_ROOT* node = skin->roots; node;) {
        SKIN_ROOT* next = node->next;
        delete node;
        node = next;
    }
    delete[] skin->joints;
    delete skin;
}

void joint_init(JOINT* joint, int32_t index) {
    *joint = JOINT{};
    matrix_identity(joint->current_transform);
    matrix_identity(joint->bind_local_transform);
    matrix_identity(joint->inverse_bind_matrix);
    static constexpr float IDENTITY3[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::memcpy(joint->normal_matrix, IDENTITY3, sizeof IDENTITY3);
    joint->index = index;
}

void joint_add_child(JOINT* parent, JOINT* child) {
    child->next_sibling = nullptr;
    JOINT** tail = &parent->first_child;
    while (*tail) {
        tail = &(*tail)->next_sibling;
    }
    *tail = child;
}

namespace {

// The lowest slot no light of scene holds, or MAX_LIGHTS when all are held.
int32_t free_light_slot(const SCENE* scene) {
    bool held[MAX_LIGHTS] = {};
    for (const ACTOR* a = scene->lights; a; a = a->next) {
        const int32_t slot = static_cast<const LIGHT*>(a)->slot;
        if (slot >= 0 && slot < MAX_LIGHTS) {
            held[slot] = true;
        }
    }
    int32_t slot = 0;
    while (slot < MAX_LIGHTS && held[slot]) {
        ++slot;
    }
    return slot;
}

bool slot_held(const SCENE* scene, int32_t slot) {
    for (const ACTOR* a = scene->lights; a; a = a->next) {
        if (static_cast<const LIGHT*>(a)->slot == slot) {
            return true;
        }
    }
    return false;
}

} // namespace

void scene_add_light(SCENE* scene, LIGHT* light) {
    // Slot 0 is every light's default: a second light left there would
    // silently replace the first, so it takes the next free slot instead.
    if (light->slot == 0 && slot_held(scene, 0)) {
        light->slot = free_light_slot(scene);
        if (light->slot == MAX_LIGHTS) {
            report_once(light_slot_outside,
                        "vexa: a scene sends %d lights; a further light is not sent\n", MAX_LIGHTS);
        }
    }
    append_actor(scene->lights, scene->light_count, light);
}

void scene_add_camera(SCENE* scene, CAMERA3D* camera) {
    append_actor(scene->cameras, scene->camera_count, camera);
}

void layer_add_model_actor(SCENE_LAYER* layer, MODEL_ACTOR* actor) {
    append_actor(layer->model_actors, layer->model_actor_count, actor);
}

void layer_add_sprite3d(SCENE_LAYER* layer, SPRITE3D* sprite) {
    append_actor(layer->sprites3d, layer->sprite3d_count, sprite);
}

void model_actor_add_child(MODEL_ACTOR* parent, MODEL_ACTOR* child) {
    int32_t count = 0;
    append_actor(parent->children, count, child);
}

MODEL_ACTOR* add_model_actor(SCENE_LAYER* layer, MODEL* model) {
    MODEL_ACTOR* actor = new MODEL_ACTOR;
    actor->model = model;
    layer_add_model_actor(layer, actor);
    return actor;
}

LIGHT* add_light(SCENE* scene, int32_t type, const VECTOR3& position, const VECTOR3& target) {
    LIGHT* light = new LIGHT;
    light->type = type;
    light->target = target;
    matrix_translate(light->local, position.x, position.y, position.z);
    // Under the unlit default ambient of full white every face is already
    // at full colour, so a light could only clip it: the scene's first light
    // lowers an ambient nobody changed to one that lets the light shade.
    const float* ambient = scene->ambient;
    if (scene->light_count == 0 && ambient[0] == 1.0f && ambient[1] == 1.0f && ambient[2] == 1.0f) {
        scene->ambient[0] = scene->ambient[1] = scene->ambient[2] = LIT_SCENE_AMBIENT;
    }
    scene_add_light(scene, light);
    return light;
}
