// Actors and animation playback (see actor.h). Owns actor_counter; relies on
// the C heap for names and on the global model stack for local transforms.
#include "scene/actor.h"

#include "math/matrix_stack.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

uint32_t actor_counter = 0;

BASE_NAME::~BASE_NAME() {
    std::free(name);
    name = nullptr;
}

ACTOR::ACTOR() {
    matrix_identity(local);
    char text[128];
    std::snprintf(text, sizeof text, "Actor%lu", static_cast<unsigned long>(actor_counter));
    set_name(this, text);
    ++actor_counter;
}

ACTOR::~ACTOR() = default;

void set_name(BASE_NAME* object, const char* text) {
    std::free(object->name);
    object->name = nullptr;
    if (text) {
        size_t bytes = std::strlen(text) + 1;
        char* copy = static_cast<char*>(std::malloc(bytes));
        if (!copy) {
            throw std::bad_alloc();
        }
        std::memcpy(copy, text, bytes);
        object->name = copy;
    }
}

void apply_local_transform(ACTOR* actor) {
    const float from[9] = {actor->position.x, actor->position.y, actor->position.z,
                           actor->rotation.x, actor->rotation.y, actor->rotation.z,
                           actor->scale.x,    actor->scale.y,    actor->scale.z};
    // Compared bit for bit (0 and -0 compose differently); local is compared
    // too, as code may have written it directly since.
    const bool same = actor->composed &&
                      std::memcmp(from, actor->composed_from, sizeof from) == 0 &&
                      std::memcmp(&actor->local, &actor->composed_local, sizeof actor->local) == 0;
    if (!same) {
        matrix_compose(from[0], from[1], from[2], from[3], from[4], from[5], from[6], from[7],
                       from[8], actor->local);
        std::memcpy(actor->composed_from, from, sizeof from);
        actor->composed_local = actor->local;
        actor->composed = true;
    }
    if (model_stack) {
        matrix_stack_mult(model_stack, actor->local);
    }
}

void advance_animation(ANIMATION* animation) {
    animation->advanced = 1;
    if (animation->rate == 0.0f) {
        return;
    }
    float p = animation->rate * animation->speed + animation->playback_position;
    animation->playback_position = p;
    if (p >= 1.0f || p <= 0.0f) {
        animation->wrapped = true;
        animation->playback_position = animation->speed > 0.0f ? p - 1.0f : p + 1.0f;
    }
}

void actors_reset() {
    actor_counter = 0;
}
