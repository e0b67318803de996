// The perspective camera: CAMERA3D with its own view and projection matrix
// stacks and viewport rectangle, the 2D pass that borrows those stacks for
// window-pixel drawing, and the globals `default_camera` and `current_camera`.
// Relies on math/ for matrices and stacks, gfx/render_state.h for the 2D
// render state and gfx/window.h for the window size.
#pragma once

#include "math/matrix_stack.h"
#include "scene/actor.h"

#include <cstdint>

struct CAMERA_RECT {
    int32_t x, y, width, height;
};

// Conventions: world axes are right-handed (x right, y up, z towards the
// viewer) and an unrotated camera looks down -z. Angles are degrees: pitch
// (rotation.x) > 0 looks down, yaw (rotation.y) > 0 turns right (towards +x).
// Stored position (x, y, z) puts the eye at world (x, y, -z): the view
// translates by (-x, -y, +z). camera_advance and the basis use the same
// stored coordinates, so they stay consistent with each other; camera_look_at
// and camera_orbit take world points and do the conversion.
struct CAMERA3D : ACTOR {
    uint32_t tag = MATRIX_STACK_MAGIC; // written at construction, never tested
    CAMERA_RECT* viewport;             // always &rectangle
    CAMERA_RECT rectangle;             // window pixels; the window's size at construction
    uint8_t view_dirty = 1;            // the view must be rebuilt
    double near_plane;
    double far_plane;
    double fovy; // degrees
    double aspect;
    double left = 0, right = 0, bottom = 0, top = 0; // frustum extents at the near plane
    MATRIX_STACK* view_stack = nullptr;              // owned; null when it could not be made
    MATRIX_STACK* projection_stack = nullptr;        // owned; null when it could not be made
    VECTOR3 up{0, 1, 0};
    VECTOR3 forward{0, 0, 1};
    VECTOR3 side{1, 0, 0};

    // Both stacks get stack_capacity matrices. When either cannot be made the
    // camera keeps neither, camera_valid() is false, one line goes to stderr
    // and every camera operation leaves it alone.
    explicit CAMERA3D(uint32_t stack_capacity = MODEL_STACK_CAPACITY);
    CAMERA3D(const CAMERA3D&) = delete;
    CAMERA3D& operator=(const CAMERA3D&) = delete;
    ~CAMERA3D() override;
};

// Made at start-up by scene_objects_setup and never destroyed.
extern CAMERA3D* default_camera;
// The camera whose stacks and viewport drawing uses.
extern CAMERA3D* current_camera;

// True when the camera exists and has both of its stacks.
bool camera_valid(const CAMERA3D* camera);

// Stores fovy, takes the aspect from the rectangle and rebuilds the projection.
void camera_set_fov(CAMERA3D* camera, double fovy);
// Stores the four values and the frustum extents and writes the frustum over
// the projection stack's top.
void camera_set_perspective(CAMERA3D* camera, double fovy, double aspect, double near_plane,
                            double far_plane);
// view top = view top · R(qx·qy) · Rz(rotation.z) · T(-x, -y, +z); clears view_dirty.
void camera_rebuild_view(CAMERA3D* camera);
// Moves the stored position d units along the pitch/yaw direction; sets view_dirty.
void camera_advance(CAMERA3D* camera, float d);
// Recomputes forward, side and up (and leaves view_dirty set).
void camera_update_basis(CAMERA3D* camera);
// Per-frame update: basis, then a view rebuilt from the identity when dirty.
void camera_update(CAMERA3D* camera);

// Basis and view rebuilt from position and rotation as camera_update does,
// but without the rounding drift of camera_update's probe steps: the stored
// position is left exactly as it was. The scene calls it for the camera it
// draws with, at every update and render.
void camera_refresh(CAMERA3D* camera);

// Places the eye at world point eye looking at world point target, with up
// (world) as the picture's up as far as it is not along the line of sight;
// sets position and rotation and rebuilds the view. Nothing when eye and
// target coincide or up is along the line of sight.
void camera_look_at(CAMERA3D* camera, const VECTOR3& eye, const VECTOR3& target,
                    const VECTOR3& up = VECTOR3{0, 1, 0});
// Puts the eye distance away from target and looks at it, with world y up:
// the camera's own yaw and pitch become yaw and pitch (yaw > 0 moves the eye
// towards -x while the camera turns right; pitch > 0 looks down from above;
// pitch is kept within -89 .. 89). Increase yaw every frame to circle.
void camera_orbit(CAMERA3D* camera, const VECTOR3& target, float distance, float yaw, float pitch);
// The world point of the eye (the stored z negated).
VECTOR3 camera_eye(const CAMERA3D* camera);

// Size in pixels the 2D pass maps its coordinates to: the window's by
// default (0, 0), a render texture's while one is being drawn into.
void set_2d_pass_size(int32_t width, int32_t height);

// Brackets 2D drawing on current_camera: the view becomes a window-pixel
// ortho (y down, origin top left), the projection the identity, and the 2D
// render state applies; end_2d_pass restores both stacks and the opaque 3D
// state. Without a usable camera only the render state changes.
void begin_2d_pass();
void end_2d_pass();
