// Actors and animation playback: ACTOR, the base of everything placed in a
// scene (cameras, lights, sprites, model actors), its name and local
// transform, and the ANIMATION record with its per-step playback. Owns the
// global `actor_counter` that names new actors; relies on math/matrix.h and
// the global model stack (math/matrix_stack.h).
#pragma once

#include "math/matrix.h"

#include <cstdint>

struct ANIMATION_FRAME;

// Owns a heap copy of a zero-terminated name, or null.
struct BASE_NAME {
    char* name = nullptr;

    BASE_NAME() = default;
    BASE_NAME(const BASE_NAME&) = delete;
    BASE_NAME& operator=(const BASE_NAME&) = delete;
    ~BASE_NAME();
};

// Intrusive: an actor sits in at most one list (a scene list or its parent's
// children) through `next`, which it does not own. Destroying an actor does
// not unlink it; its owner removes it first.
struct ACTOR : BASE_NAME {
    MATRIX4 local;             // rebuilt from position, rotation, scale by every draw walk
    VECTOR3 position{0, 0, 0}; //
    VECTOR3 rotation{0, 0, 0}; // degrees about x, y and z
    VECTOR3 scale{1, 1, 1};    //
    ACTOR* next = nullptr;     // list link, not owned
    bool hidden = false;       // neither the actor nor its children are drawn
    bool flag_a = true;        // set at construction; read by nothing
    bool flag_b = false;       // set at construction; read by nothing
    // What local was last composed from, and the result: a draw walk that
    // finds both unchanged keeps local instead of composing it again.
    float composed_from[9] = {};
    MATRIX4 composed_local{};
    bool composed = false;

    // Names the actor "Actor<n>" from actor_counter, then advances the counter.
    ACTOR();
    virtual ~ACTOR();
};

// Number given to the next actor's name; the default camera is made first at
// start-up, so it is "Actor0".
extern uint32_t actor_counter;

// Frees the current name; stores a heap copy of text unless it is null.
void set_name(BASE_NAME* object, const char* text);

// local = T·Rx·Ry·Rz·S from position, rotation and scale, then multiplied
// into the model stack's top (the draw walks fold each node in this way).
// An actor whose position, rotation, scale and local are as the last
// compose left them keeps its local: still objects cost no trigonometry.
void apply_local_transform(ACTOR* actor);

// Playback state shared by model actors, skeletal posing and material texture
// animation. Owned by whoever creates it; actors and materials only refer to it.
struct ANIMATION {
    float rate = 1.0f;                 // multiplies speed at every step; 0 pauses
    int32_t frame_count = 0;           // entries of frames
    int32_t spare_a = 0;               // carried, read by nothing
    int32_t advanced = 0;              // set to 1 by every advance_animation
    float speed = 0.0f;                // per step; its sign picks the wrap direction
    float playback_position = 0.0f;    // kept between 0 and 1
    bool wrapped = false;              // set when the position wrapped; never cleared here
    int32_t spare_b = 0;               // carried, read by nothing
    ANIMATION_FRAME* frames = nullptr; // poses of the skeleton, frame_count entries
};

// One playback step: position += rate · speed, wrapped back into (0, 1) by
// one whole turn when it reaches either end.
void advance_animation(ANIMATION* animation);

// Start-of-process state: the next actor is "Actor0" again.
void actors_reset();
