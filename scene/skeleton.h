// Skeletal posing and CPU skinning of a MODEL_ACTOR's skinned model: frame
// selection, the recursive joint walk on the model stack, and the
// four-influence vertex deformation. Owns no globals; relies on the joint
// records of scene/skin.h, the model stack and the model's vertex buffers.
#pragma once

#include "scene/skin.h"

#include <cstdint>

struct ANIMATION;
struct MODEL_ACTOR;

// Frame of animation at its playback position: index (n - 1) * position
// truncated, clamped to 0 .. n - 1. Null without an animation or frames.
ANIMATION_FRAME* select_animation_frame(const ANIMATION* animation);

// What skeleton_depth answers for a hierarchy in which a joint is reached
// twice (a parent/child or sibling cycle, a joint with two parents) or whose
// root list runs in a circle.
constexpr int32_t SKELETON_CYCLE = -1;

// Levels of the joint hierarchy below and including the roots (0 without
// roots), counted up to limit + 1 at most, or SKELETON_CYCLE.
int32_t skeleton_depth(const SKIN* skin, int32_t limit);

// Poses the actor's skeleton for the frame its animation selects, when that
// frame differs from the one last posed, and then (CPU skinning) deforms and
// re-uploads the model's vertices. A hierarchy deeper than the model stack's
// free room, or with a cycle, is refused: nothing is posed and one line goes
// to stderr.
void update_skeleton_pose(MODEL_ACTOR* actor);

// current transform = model stack top · local, recursively for the children;
// local is the frame's matrix for an animated joint, else the bind local
// transform. A hierarchy that does not fit on the model stack or has a cycle
// is refused with one line, as by update_skeleton_pose.
void pose_joint(JOINT* joint, ANIMATION_FRAME* frame);

// Deforms the model's source vertices into its drawn vertices with the
// current joint transforms (positions and normals only). A joint index that
// is -1 or outside the skin's joint array counts as "no joint": the
// bind-shape-transformed vertex is used for that influence. A normal that
// sums to zero is replaced by the bind-shape-transformed normal.
void skin_vertices_cpu(MODEL_ACTOR* actor);
