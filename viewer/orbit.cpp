// Orbit camera and camera-following lights (see orbit.h).
#include "viewer/orbit.h"

#include "scene/camera.h"
#include "shader/limits.h"
#include "scene/uniforms.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr float START_YAW = -30.0f;
constexpr float START_PITCH = 15.0f;
constexpr float PITCH_LIMIT = 89.0f;
constexpr float DEGREES_PER_PIXEL = 0.4f;
constexpr float ZOOM_STEP = 0.9f;

VECTOR3 along(const VECTOR3& from, const VECTOR3& direction, float length) {
    return VECTOR3{from.x + direction.x * length, from.y + direction.y * length,
                   from.z + direction.z * length};
}

void place_light(LIGHT* light, const VECTOR3& position, const VECTOR3& target) {
    matrix_identity(light->local);
    matrix_translate(light->local, position.x, position.y, position.z);
    light->position = position;
    light->target = target;
}

} // namespace

ORBIT orbit_frame(const VECTOR3& low, const VECTOR3& high, double fovy, double aspect) {
    ORBIT orbit;
    orbit.target =
        VECTOR3{(low.x + high.x) * 0.5f, (low.y + high.y) * 0.5f, (low.z + high.z) * 0.5f};
    const double dx = double(high.x) - low.x, dy = double(high.y) - low.y,
                 dz = double(high.z) - low.z;
    double radius = 0.5 * std::sqrt(dx * dx + dy * dy + dz * dz);
    if (!(radius > 1e-6) || !std::isfinite(radius)) {
        radius = 1.0; // a point, or nothing: look at it from a unit distance
    }
    orbit.radius = float(radius);
    orbit.yaw = START_YAW;
    orbit.pitch = START_PITCH;
    // The distance at which the box's outline, measured in the plane through
    // the target facing the eye, spans ORBIT_FILL of the view's narrower
    // extent: a corner at (x, y) across needs d >= |x| / (ORBIT_FILL · tan_x)
    // and the same for y. Measuring in that plane (not at each corner's own
    // depth) keeps deep boxes from pushing the model far away. Then every
    // corner at its own depth (z towards the eye: it is d - z away) must stay
    // within ORBIT_CORNER_FILL of the view, which wide, flat boxes need: their
    // nearest corners come far out of the plane.
    const double half_tan_y = std::tan(fovy * PI / 360.0);
    const double half_tan_x = half_tan_y * (aspect > 0 ? aspect : 1.0);
    const double tan_y = half_tan_y * ORBIT_FILL, tan_x = half_tan_x * ORBIT_FILL;
    const double corner_tan_y = half_tan_y * ORBIT_CORNER_FILL;
    const double corner_tan_x = half_tan_x * ORBIT_CORNER_FILL;
    VECTOR3 eye, right, up, back;
    orbit.distance = 0.0f;
    orbit_basis(orbit, &eye, &right, &up, &back);
    double distance = 0.0, nearest = 0.0;
    for (int corner = 0; corner < 8; ++corner) {
        const double px = double(corner & 1 ? high.x : low.x) - orbit.target.x;
        const double py = double(corner & 2 ? high.y : low.y) - orbit.target.y;
        const double pz = double(corner & 4 ? high.z : low.z) - orbit.target.z;
        const double x = px * right.x + py * right.y + pz * right.z;
        const double y = px * up.x + py * up.y + pz * up.z;
        const double z = px * back.x + py * back.y + pz * back.z;
        distance = std::max({distance, std::fabs(x) / tan_x, std::fabs(y) / tan_y,
                             std::fabs(x) / corner_tan_x + z, std::fabs(y) / corner_tan_y + z});
        nearest = std::max(nearest, z);
    }
    distance = std::max(distance, nearest + 0.1 * radius);
    orbit.distance = std::isfinite(distance) ? float(distance) : float(3.0 * radius);
    orbit.framed_distance = orbit.distance;
    return orbit;
}

void orbit_drag(ORBIT* orbit, int dx, int dy) {
    orbit->yaw = std::fmod(orbit->yaw - float(dx) * DEGREES_PER_PIXEL, 360.0f);
    orbit->pitch =
        std::clamp(orbit->pitch + float(dy) * DEGREES_PER_PIXEL, -PITCH_LIMIT, PITCH_LIMIT);
}

void orbit_zoom(ORBIT* orbit, int steps) {
    const float d = orbit->distance * std::pow(ZOOM_STEP, float(steps));
    orbit->distance = std::clamp(d, orbit->framed_distance * 0.05f, orbit->framed_distance * 20.0f);
}

void orbit_basis(const ORBIT& orbit, VECTOR3* eye, VECTOR3* right, VECTOR3* up, VECTOR3* back) {
    // The camera's rotation, as its view rebuild forms it: its rows are the
    // eye's axes in world space.
    QUATERNION qx, qy, q;
    quat_from_axis_angle(qx, 1, 0, 0, orbit.pitch);
    quat_from_axis_angle(qy, 0, 1, 0, orbit.yaw);
    quat_multiply(q, qx, qy);
    MATRIX4 r;
    quat_to_matrix(r, q);
    *right = VECTOR3{r.m[0], r.m[4], r.m[8]};
    *up = VECTOR3{r.m[1], r.m[5], r.m[9]};
    *back = VECTOR3{r.m[2], r.m[6], r.m[10]};
    *eye = along(orbit.target, *back, orbit.distance);
}

void orbit_apply(const ORBIT& orbit, CAMERA3D* camera) {
    if (!camera_valid(camera)) {
        return;
    }
    VECTOR3 eye, right, up, back;
    orbit_basis(orbit, &eye, &right, &up, &back);
    // The camera stores z negated: its eye is at (x, y, -z).
    camera->position = VECTOR3{eye.x, eye.y, -eye.z};
    camera->rotation = VECTOR3{orbit.pitch, orbit.yaw, 0};
    // Near and far hug the model so the 16-bit depth buffer keeps its
    // precision; inside the sphere the near plane follows the distance.
    const double near_plane =
        std::max(double(orbit.distance) * 0.01, 0.5 * (double(orbit.distance) - orbit.radius));
    const double far_plane = double(orbit.distance) + 2.0 * orbit.radius;
    camera_set_perspective(camera, camera->fovy, camera->aspect, near_plane, far_plane);
    camera->view_dirty = 1;
    camera_update(camera);
}

void orbit_place_lights(const ORBIT& orbit, LIGHT* key, LIGHT* fill) {
    VECTOR3 eye, right, up, back;
    orbit_basis(orbit, &eye, &right, &up, &back);
    const float d = orbit.distance;
    VECTOR3 p = along(orbit.target, up, d);
    p = along(p, right, -0.7f * d);
    p = along(p, back, d);
    key->type = LIGHT_TYPE_DIRECTIONAL;
    key->slot = 0;
    key->intensity = 0.85f;
    place_light(key, p, orbit.target);
    p = along(orbit.target, right, d);
    p = along(p, up, -0.2f * d);
    p = along(p, back, 0.6f * d);
    fill->type = LIGHT_TYPE_POINT;
    fill->slot = 1;
    fill->intensity = 0.4f;
    fill->colour[0] = 0.85f;
    fill->colour[1] = 0.9f;
    fill->colour[2] = 1.0f;
    fill->attenuation_start = 0.0f;
    fill->attenuation_end = 0.0f; // reaches everywhere
    place_light(fill, p, orbit.target);
}
