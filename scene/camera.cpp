// The perspective camera and the 2D pass (see camera.h). Owns default_camera,
// current_camera and the open 2D pass's record of its pushes; relies on math/
// for every matrix operation and on the render-state cache for the 2D pass's
// GL state.
#include "scene/camera.h"

#include "gfx/window.h"
#include "gfx/render_state.h"

#include <cmath>
#include <cstdio>
#include <new>

CAMERA3D* default_camera = nullptr;
CAMERA3D* current_camera = nullptr;

namespace {

// Half the field of view in radians per degree of fovy.
constexpr double HALF_ANGLE_PER_DEGREE = 0.008726646259971648;
constexpr double DEGREES_PER_RADIAN = 57.29577951308232;
// camera_orbit keeps the pitch off the poles, where yaw has no meaning.
constexpr float ORBIT_PITCH_LIMIT = 89.0f;

int32_t window_width() {
    return app_window ? app_window->width : APP_WINDOW_WIDTH;
}

int32_t window_height() {
    return app_window ? app_window->height : APP_WINDOW_HEIGHT;
}

// The size the 2D pass maps onto; 0: the window's.
int32_t pass_width = 0;
int32_t pass_height = 0;

MATRIX_STACK* make_stack(uint32_t capacity) {
    MATRIX_STACK* stack = new (std::nothrow) MATRIX_STACK;
    if (!stack) {
        return nullptr;
    }
    if (!matrix_stack_create(capacity, stack)) {
        delete stack;
        return nullptr;
    }
    return stack;
}

// Pitch then yaw, as one rotation matrix.
void pitch_yaw_matrix(const CAMERA3D* camera, MATRIX4& out, bool yaw_first) {
    QUATERNION qx, qy, q;
    quat_from_axis_angle(qx, 1, 0, 0, camera->rotation.x);
    quat_from_axis_angle(qy, 0, 1, 0, camera->rotation.y);
    if (yaw_first) {
        quat_multiply(q, qy, qx);
    } else {
        quat_multiply(q, qx, qy);
    }
    quat_to_matrix(out, q);
}

VECTOR3 normalised(VECTOR3 v) {
    float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return VECTOR3{v.x / length, v.y / length, v.z / length};
}

VECTOR3 cross(const VECTOR3& a, const VECTOR3& b) {
    return VECTOR3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double length_of(const VECTOR3& v) {
    return std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
}

// Which of the 2D pass's pushes were taken, so end_2d_pass pops only those
// and never a matrix that belongs to the 3D view or projection.
bool pass_pushed_view = false;
bool pass_pushed_projection = false;

} // namespace

CAMERA3D::CAMERA3D(uint32_t stack_capacity)
    : viewport(&rectangle), rectangle{0, 0, window_width(), window_height()},
      near_plane(double(0.1f)), far_plane(10000.0), fovy(60.0), aspect(1.0) {
    view_stack = make_stack(stack_capacity);
    projection_stack = make_stack(stack_capacity);
    if (!view_stack || !projection_stack) {
        // A camera with one stack would still fail at its first draw: keep neither.
        std::fprintf(stderr, "vexa: camera %s has no matrix stacks; it will not be used\n",
                     name ? name : "(unnamed)");
        matrix_stack_destroy(view_stack);
        matrix_stack_destroy(projection_stack);
        view_stack = nullptr;
        projection_stack = nullptr;
    }
    camera_set_fov(this, 60.0);
}

CAMERA3D::~CAMERA3D() {
    matrix_stack_destroy(view_stack);
    matrix_stack_destroy(projection_stack);
    view_stack = nullptr;
    projection_stack = nullptr;
    if (current_camera == this) {
        current_camera = nullptr;
    }
    if (default_camera == this) {
        default_camera = nullptr;
    }
}

bool camera_valid(const CAMERA3D* camera) {
    return camera && camera->view_stack && camera->projection_stack;
}

void camera_set_fov(CAMERA3D* camera, double fovy) {
    camera->fovy = fovy;
    camera->aspect = double(camera->rectangle.width) / double(camera->rectangle.height);
    camera_set_perspective(camera, fovy, camera->aspect, camera->near_plane, camera->far_plane);
}

void camera_set_perspective(CAMERA3D* camera, double fovy, double aspect, double near_plane,
                            double far_plane) {
    camera->fovy = fovy;
    camera->aspect = aspect;
    camera->near_plane = near_plane;
    camera->far_plane = far_plane;
    double top = near_plane * std::tan(fovy * HALF_ANGLE_PER_DEGREE);
    camera->top = top;
    camera->bottom = -top;
    camera->left = -aspect * top;
    camera->right = aspect * top;
    if (camera_valid(camera)) {
        matrix_frustum(*camera->projection_stack->top, camera->left, camera->right, camera->bottom,
                       camera->top, near_plane, far_plane);
    }
}

void camera_rebuild_view(CAMERA3D* camera) {
    if (!camera_valid(camera)) {
        return;
    }
    camera->view_dirty = 0;
    MATRIX4 pitch_yaw;
    pitch_yaw_matrix(camera, pitch_yaw, false);
    matrix_stack_mult(camera->view_stack, pitch_yaw);
    MATRIX4& view = *camera->view_stack->top;
    matrix_rotate(view, camera->rotation.z, 0, 0, 1);
    // z is deliberately not negated: the stored z is the negated eye z.
    matrix_translate(view, -camera->position.x, -camera->position.y, camera->position.z);
}

void camera_advance(CAMERA3D* camera, float d) {
    camera->view_dirty = 1;
    MATRIX4 m;
    pitch_yaw_matrix(camera, m, true);
    camera->position.x += d * m.m[8];
    camera->position.y += d * m.m[9];
    camera->position.z += d * m.m[10];
}

void camera_update_basis(CAMERA3D* camera) {
    camera_advance(camera, 1.0f);
    VECTOR3 ahead = camera->position;
    camera_advance(camera, -1.0f);
    VECTOR3 forward = normalised(VECTOR3{ahead.x - camera->position.x, ahead.y - camera->position.y,
                                         ahead.z - camera->position.z});
    // Looking straight up or down, world y cannot serve as the up hint.
    const float near_zero = 0.00001f;
    VECTOR3 up{0, 1, 0};
    if (std::fabs(forward.x) < near_zero && std::fabs(forward.z) < near_zero) {
        up = forward.y > 0 ? VECTOR3{0, 0, -1} : VECTOR3{0, 0, 1};
    }
    camera->forward = forward;
    camera->side = normalised(cross(up, forward));
    camera->up = normalised(cross(forward, camera->side));
}

void camera_update(CAMERA3D* camera) {
    camera_update_basis(camera);
    if (camera->view_dirty && camera_valid(camera)) {
        matrix_identity(*camera->view_stack->top);
        camera_rebuild_view(camera);
    }
}

void camera_refresh(CAMERA3D* camera) {
    if (!camera_valid(camera)) {
        return;
    }
    const VECTOR3 position = camera->position;
    camera_update_basis(camera);
    camera->position = position;
    matrix_identity(*camera->view_stack->top);
    camera_rebuild_view(camera);
}

void camera_look_at(CAMERA3D* camera, const VECTOR3& eye, const VECTOR3& target,
                    const VECTOR3& up) {
    // The view's rotation has the rows side, up and backward (gluLookAt's);
    // the camera builds it as Rx(pitch) · Ry(yaw) · Rz(-roll), from which
    // the three angles follow.
    const VECTOR3 ahead{target.x - eye.x, target.y - eye.y, target.z - eye.z};
    const double ahead_length = length_of(ahead);
    if (!camera || !(ahead_length > 0.0)) {
        return;
    }
    const VECTOR3 f{float(ahead.x / ahead_length), float(ahead.y / ahead_length),
                    float(ahead.z / ahead_length)};
    const VECTOR3 side_raw = cross(f, up);
    const double side_length = length_of(side_raw);
    if (!(side_length > 1e-6 * length_of(up))) {
        return;
    }
    const VECTOR3 s{float(side_raw.x / side_length), float(side_raw.y / side_length),
                    float(side_raw.z / side_length)};
    const VECTOR3 u = cross(s, f);
    // Rows s, u, -f as M; M = Rx(a) Ry(b) Rz(c) gives sin b = M02,
    // cos b = |(M00, M01)|, tan a = -M12 / M22 and tan c = -M01 / M00.
    const double cos_b = std::sqrt(double(s.x) * s.x + double(s.y) * s.y);
    const double b = std::atan2(double(s.z), cos_b);
    double a, c;
    if (cos_b > 1e-6) {
        a = std::atan2(-double(u.z), -double(f.z));
        c = std::atan2(-double(s.y), double(s.x));
    } else {
        // b = ±90 degrees (a horizontal line of sight along x with up along
        // y): M's first row is (0, 0, ±1) and only a ± c is fixed; the other
        // quotients are 0 / 0. With c = 0 the second row is (±sin a, cos a, 0).
        c = 0.0;
        a = std::atan2(s.z > 0 ? double(u.x) : -double(u.x), double(u.y));
    }
    camera->rotation = VECTOR3{float(a * DEGREES_PER_RADIAN), float(b * DEGREES_PER_RADIAN),
                               float(-c * DEGREES_PER_RADIAN)};
    camera->position = VECTOR3{eye.x, eye.y, -eye.z};
    camera->view_dirty = 1;
    camera_refresh(camera);
}

void camera_orbit(CAMERA3D* camera, const VECTOR3& target, float distance, float yaw, float pitch) {
    if (!camera) {
        return;
    }
    pitch = std::fmax(-ORBIT_PITCH_LIMIT, std::fmin(ORBIT_PITCH_LIMIT, pitch));
    const double a = pitch / DEGREES_PER_RADIAN;
    const double b = yaw / DEGREES_PER_RADIAN;
    // The eye sits behind the line of sight (sin b cos a, -sin a, -cos b cos a).
    const VECTOR3 eye{float(target.x - distance * std::sin(b) * std::cos(a)),
                      float(target.y + distance * std::sin(a)),
                      float(target.z + distance * std::cos(b) * std::cos(a))};
    camera->rotation = VECTOR3{pitch, yaw, 0.0f};
    camera->position = VECTOR3{eye.x, eye.y, -eye.z};
    camera->view_dirty = 1;
    camera_refresh(camera);
}

VECTOR3 camera_eye(const CAMERA3D* camera) {
    return VECTOR3{camera->position.x, camera->position.y, -camera->position.z};
}

void set_2d_pass_size(int32_t width, int32_t height) {
    pass_width = width > 0 && height > 0 ? width : 0;
    pass_height = width > 0 && height > 0 ? height : 0;
}

void begin_2d_pass() {
    CAMERA3D* camera = current_camera;
    if (camera_valid(camera)) {
        // The window size, not the camera rectangle: sprites are placed in
        // window pixels (or a render texture's, while one is drawn into).
        const int32_t width = pass_width > 0 ? pass_width : window_width();
        const int32_t height = pass_height > 0 ? pass_height : window_height();
        MATRIX4 ortho;
        matrix_ortho(ortho, 0.0, double(width - 1), double(height - 1), 0.0, 1.0, -1.0);
        // A refused push must not overwrite the 3D matrices underneath.
        pass_pushed_view = matrix_stack_push(camera->view_stack);
        if (pass_pushed_view) {
            matrix_stack_load(camera->view_stack, ortho);
        }
        MATRIX4 identity;
        matrix_identity(identity);
        pass_pushed_projection = matrix_stack_push(camera->projection_stack);
        if (pass_pushed_projection) {
            matrix_stack_load(camera->projection_stack, identity);
        }
    }
    enter_2d_state();
}

void end_2d_pass() {
    CAMERA3D* camera = current_camera;
    if (camera_valid(camera)) {
        if (pass_pushed_view) {
            matrix_stack_pop(camera->view_stack);
        }
        if (pass_pushed_projection) {
            matrix_stack_pop(camera->projection_stack);
        }
    }
    pass_pushed_view = false;
    pass_pushed_projection = false;
    leave_2d_state();
}
