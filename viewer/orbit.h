// The viewer's orbit camera: a point the camera circles, its distance and two
// angles, framed from a model's bounds; and the two lights that follow the
// camera. Owns no globals; relies on CAMERA3D (scene/camera.h) and LIGHT
// (shader/uniforms.h) and their position conventions.
#pragma once

#include "math/matrix.h"

struct CAMERA3D;
struct LIGHT;

struct ORBIT {
    VECTOR3 target{0, 0, 0};      // world point the camera looks at
    float radius = 1.0f;          // of the sphere around the framed box
    float distance = 3.0f;        // from target to the eye
    float framed_distance = 3.0f; // the distance orbit_frame chose
    float yaw = 0.0f;             // degrees, turning about the world's up axis
    float pitch = 0.0f;           // degrees, positive looks down on the target
};

// Fraction of the view's height or width (whichever the box reaches first)
// that the framed box's outline spans, measured through its centre.
constexpr float ORBIT_FILL = 2.0f / 3.0f;
// Every corner of the framed box, at its own depth, lies within this
// fraction of the view's half-width and half-height from the centre.
constexpr float ORBIT_CORNER_FILL = 0.9f;

// Frames the world-space box [low, high] for a camera with vertical field of
// view fovy (degrees) and the given aspect, seen slightly from above and to
// the side.
ORBIT orbit_frame(const VECTOR3& low, const VECTOR3& high, double fovy, double aspect);

// Applies a mouse drag of (dx, dy) pixels and wheel steps (positive: closer)
// to the orbit. The pitch stays short of straight up or down; the distance
// stays within a range around the framed one.
void orbit_drag(ORBIT* orbit, int dx, int dy);
void orbit_zoom(ORBIT* orbit, int steps);

// Eye position and the camera's right, up and backward directions in world
// space for the orbit's angles.
void orbit_basis(const ORBIT& orbit, VECTOR3* eye, VECTOR3* right, VECTOR3* up, VECTOR3* back);

// Places the camera (position, angles, near and far planes) and rebuilds its
// view.
void orbit_apply(const ORBIT& orbit, CAMERA3D* camera);

// A directional key light from the camera's upper left and a point fill light
// from its lower right, both aimed at the target.
void orbit_place_lights(const ORBIT& orbit, LIGHT* key, LIGHT* fill);
