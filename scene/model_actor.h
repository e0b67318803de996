// The two 3D actors: MODEL_ACTOR (a hierarchy node carrying a MODEL, an
// optional skeleton and animation, and children) and SPRITE3D (a
// camera-facing drawable image), with their draw walks, which queue
// DRAW_ENTRYs into the scene's lists, and their update walk. Owns no globals;
// relies on the model stack, current_camera and the program slots.
#pragma once

#include "math/matrix.h"
#include "scene/actor.h"
#include "scene/sprite.h"
#include "scene/texture.h"

#include <cstdint>

struct ANIMATION_FRAME;
struct MODEL;
struct SCENE;
struct SKIN;

// Modes of SPRITE3D::billboard_mode; every other value is BILLBOARD_NONE.
enum : int32_t {
    BILLBOARD_NONE = 0,
    BILLBOARD_FULL = 1,   // faces the camera entirely
    BILLBOARD_AXIS_Y = 2, // turns about y only
};

// The DRAW_PROPERTIES part holds the actor's own cull, depth and blend modes
// (INHERIT: none) and its opacity. Children are linked through their
// ACTOR::next and are not owned; neither are the model, skin and animation.
struct MODEL_ACTOR : ACTOR, DRAWABLE_OBJECT {
    bool skin_on_cpu = false; // deform a skinned model on the CPU
    MATRIX4 pivot;            // after the local matrix; identity by default
    MODEL_ACTOR* children = nullptr;
    VECTOR4 reference_a{0, 0, 0, 1}; // local space
    VECTOR4 reference_b{0, 0, 0, 1};
    VECTOR4 transformed_a{0, 0, 0, 1}; // by the matrix of the last update_actor_points
    VECTOR4 transformed_b{0, 0, 0, 1};
    MODEL* model = nullptr;
    SKIN* skin = nullptr;
    ANIMATION* animation = nullptr;
    ANIMATION_FRAME* current_frame = nullptr; // the frame last posed
    bool posed = false;                       // the skeleton has been posed at least once
    // The last draw or update walk and the last update_actor_points walk that
    // reached this actor: a second arrival in one walk closes a cycle.
    uint64_t walk_mark = 0;
    uint64_t points_walk_mark = 0;
    // World matrix of the last draw walk that reached the actor; still: that
    // walk found it unchanged from the walk before, so the actor's meshes
    // may be drawn merged with still neighbours (draw_list.h).
    MATRIX4 drawn_world;
    bool drawn = false;
    bool still = false;

    // Own modes INHERIT, so a tree draws with its materials' modes until a
    // level says otherwise; alpha 1.
    MODEL_ACTOR();
    MODEL_ACTOR(const MODEL_ACTOR&) = delete;
    MODEL_ACTOR& operator=(const MODEL_ACTOR&) = delete;
    ~MODEL_ACTOR() override;
};

// A quad from SPRITE_BASE drawn in the 3D lists; always transparent (its
// alpha is forced to 0.5 at every enqueue).
struct SPRITE3D : ACTOR, SPRITE_BASE {
    MATRIX4 billboard;             // after the local matrix; rebuilt in modes 1 and 2
    float emission[3] = {0, 0, 0}; // copied into the quad's material at every enqueue
    int32_t billboard_mode = BILLBOARD_FULL;

    // A 1 x 1 quad facing the camera, with scene as its owner.
    explicit SPRITE3D(SCENE* scene = nullptr);
    ~SPRITE3D() override;
};

// Draw walk of a model actor tree: hidden nodes stop their subtree; a node
// whose model's bounding sphere lies wholly outside the current camera's view
// queues nothing (counted in frame_stats.culled) but its children are still
// walked; skinned models are never culled. Opacity multiplies down the tree
// and the outermost level whose mode is not INHERIT decides that mode for its
// subtree. A node that would not fit on the model
// stack is skipped with its subtree. The stack's depth is unchanged after.
void draw_actor_tree(MODEL_ACTOR* actor, SCENE* scene, float opacity, int32_t depth, int32_t cull,
                     int32_t blend);

// Queues one entry per mesh of actor's model with the model stack top as its
// world matrix, writing the resolved modes into each mesh's material as its
// overrides. Entries whose alpha is below 1 or whose material is
// transparent go into the transparent list.
void enqueue_model(MODEL_ACTOR* actor, int32_t cull, int32_t depth, SCENE* scene, float opacity,
                   int32_t blend);

// Transforms the reference points of actor (and its model and meshes, and
// every child) by matrix, or by each node's own local matrix when matrix is null.
void update_actor_points(MODEL_ACTOR* actor, const MATRIX4* matrix);

// Update walk: material texture animations, the actor's animation and its
// skeleton pose, then the children. Hidden actors are updated too.
void update_actor_tree(MODEL_ACTOR* actor, float time);

// Queues a visible sprite's quad (into the transparent list) facing the
// current camera as its billboard mode says. Nothing without a current camera.
void enqueue_sprite3d(SPRITE3D* sprite, SCENE* scene);
