// Primitive models (see primitives.h). Owns no globals: each builder fills
// vertex and index arrays and hands them to build_model and build_mesh.
// Every triangle winds counter-clockwise seen from outside, as back-face
// culling expects.
#include "scene/primitives.h"

#include "gfx/vertex_buffer.h"
#include "scene/builders.h"
#include "scene/model.h"

#include <cmath>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;
// Sides of a sphere or cylinder: enough for any screen, few enough for
// 16-bit indices.
constexpr int32_t MIN_SIDES = 3;
constexpr int32_t MAX_SIDES = 250;

struct GEOMETRY {
    std::vector<VERTEX> vertices;
    std::vector<uint16_t> indices;
};

void add_vertex(GEOMETRY& g, float x, float y, float z, float nx, float ny, float nz, float u,
                float v) {
    VERTEX vertex = {};
    vertex.position[0] = x;
    vertex.position[1] = y;
    vertex.position[2] = z;
    vertex.position[3] = 1.0f;
    vertex.normal[0] = nx;
    vertex.normal[1] = ny;
    vertex.normal[2] = nz;
    vertex.texcoord0[0] = u;
    vertex.texcoord0[1] = v;
    g.vertices.push_back(vertex);
}

void add_triangle(GEOMETRY& g, size_t a, size_t b, size_t c) {
    g.indices.push_back(uint16_t(a));
    g.indices.push_back(uint16_t(b));
    g.indices.push_back(uint16_t(c));
}

// A rectangle facing n, spanned by the half edges u (picture right) and w
// (picture up) around centre c; u x w points along n.
void add_face(GEOMETRY& g, const float c[3], const float n[3], const float u[3], const float w[3]) {
    const size_t first = g.vertices.size();
    const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    for (const auto& k : corners) {
        add_vertex(g, c[0] + k[0] * u[0] + k[1] * w[0], c[1] + k[0] * u[1] + k[1] * w[1],
                   c[2] + k[0] * u[2] + k[1] * w[2], n[0], n[1], n[2], (k[0] + 1) / 2,
                   (1 - k[1]) / 2);
    }
    add_triangle(g, first, first + 1, first + 2);
    add_triangle(g, first, first + 2, first + 3);
}

// Two triangles per cell of a grid of rows x (columns + 1) vertices starting
// at first, rows running downwards; skip_top and skip_bottom leave out the
// triangles that collapse at a sphere's poles.
void add_grid(GEOMETRY& g, size_t first, int32_t rows, int32_t columns, bool skip_top,
              bool skip_bottom) {
    for (int32_t i = 0; i + 1 < rows; ++i) {
        for (int32_t j = 0; j < columns; ++j) {
            const size_t a = first + size_t(i) * size_t(columns + 1) + size_t(j);
            const size_t b = a + size_t(columns + 1);
            if (!(skip_bottom && i + 2 == rows)) {
                add_triangle(g, a, b, b + 1);
            }
            if (!(skip_top && i == 0)) {
                add_triangle(g, a, b + 1, a + 1);
            }
        }
    }
}

int32_t sides(int32_t n) {
    return n < MIN_SIDES ? MIN_SIDES : n > MAX_SIDES ? MAX_SIDES : n;
}

MODEL* finish(const GEOMETRY& g) {
    MODEL* model = build_model(g.vertices.data(), int32_t(g.vertices.size()));
    if (model && !build_mesh(model, g.indices.data(), int32_t(g.indices.size()))) {
        delete model;
        return nullptr;
    }
    return model;
}

} // namespace

MODEL* build_cube(float width, float height, float length) {
    const float x = width / 2, y = height / 2, z = length / 2;
    // Centre, normal, picture right and picture up of each face.
    const float faces[6][4][3] = {
        {{0, 0, z}, {0, 0, 1}, {x, 0, 0}, {0, y, 0}},
        {{0, 0, -z}, {0, 0, -1}, {-x, 0, 0}, {0, y, 0}},
        {{x, 0, 0}, {1, 0, 0}, {0, 0, -z}, {0, y, 0}},
        {{-x, 0, 0}, {-1, 0, 0}, {0, 0, z}, {0, y, 0}},
        {{0, y, 0}, {0, 1, 0}, {x, 0, 0}, {0, 0, -z}},
        {{0, -y, 0}, {0, -1, 0}, {x, 0, 0}, {0, 0, z}},
    };
    GEOMETRY g;
    for (const auto& f : faces) {
        add_face(g, f[0], f[1], f[2], f[3]);
    }
    return finish(g);
}

MODEL* build_plane(float width, float length) {
    const float c[3] = {0, 0, 0}, n[3] = {0, 1, 0};
    const float u[3] = {width / 2, 0, 0}, w[3] = {0, 0, -length / 2};
    GEOMETRY g;
    add_face(g, c, n, u, w);
    return finish(g);
}

MODEL* build_sphere(float radius, int32_t rings, int32_t slices) {
    rings = sides(rings);
    slices = sides(slices);
    GEOMETRY g;
    for (int32_t i = 0; i <= rings; ++i) {
        const double phi = PI * i / rings; // 0 at the north pole
        for (int32_t j = 0; j <= slices; ++j) {
            const double theta = 2 * PI * j / slices;
            const float nx = float(std::sin(phi) * std::sin(theta));
            const float ny = float(std::cos(phi));
            const float nz = float(std::sin(phi) * std::cos(theta));
            add_vertex(g, radius * nx, radius * ny, radius * nz, nx, ny, nz, float(j) / slices,
                       float(i) / rings);
        }
    }
    add_grid(g, 0, rings + 1, slices, true, true);
    return finish(g);
}

MODEL* build_cylinder(float radius, float height, int32_t slices) {
    slices = sides(slices);
    const float top = height / 2;
    GEOMETRY g;
    // The side: a top and a bottom row, the seam's vertices doubled for the picture.
    for (int32_t row = 0; row < 2; ++row) {
        for (int32_t j = 0; j <= slices; ++j) {
            const double theta = 2 * PI * j / slices;
            const float s = float(std::sin(theta)), c = float(std::cos(theta));
            add_vertex(g, radius * s, row == 0 ? top : -top, radius * c, s, 0, c, float(j) / slices,
                       float(row));
        }
    }
    add_grid(g, 0, 2, slices, false, false);
    // The caps: a centre and a ring each, the picture laid flat on them.
    for (int32_t cap = 0; cap < 2; ++cap) {
        const float y = cap == 0 ? top : -top, ny = cap == 0 ? 1.0f : -1.0f;
        const size_t centre = g.vertices.size();
        add_vertex(g, 0, y, 0, 0, ny, 0, 0.5f, 0.5f);
        for (int32_t j = 0; j < slices; ++j) {
            const double theta = 2 * PI * j / slices;
            const float s = float(std::sin(theta)), c = float(std::cos(theta));
            add_vertex(g, radius * s, y, radius * c, 0, ny, 0, 0.5f + 0.5f * s,
                       0.5f + 0.5f * c * ny);
        }
        for (int32_t j = 0; j < slices; ++j) {
            const size_t a = centre + 1 + size_t(j);
            const size_t b = centre + 1 + size_t((j + 1) % slices);
            // Counter-clockwise seen from above for the top, from below for the bottom.
            if (cap == 0) {
                add_triangle(g, centre, a, b);
            } else {
                add_triangle(g, centre, b, a);
            }
        }
    }
    return finish(g);
}
