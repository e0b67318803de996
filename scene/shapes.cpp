// 2D shapes (see shapes.h). Every shape becomes triangles appended to one
// dynamic vertex buffer that grows to the busiest frame and is then reused;
// each vertex carries its own colour, so any mix of shapes and colours is
// one glDrawArrays.
#include "scene/shapes.h"
#include "scene/text.h"

#include "gfx/frame_stats.h"
#include "gfx/report.h"
#include "gfx/vertex_buffer.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/model.h"
#include "scene/uniforms.h"
#include "shader/program.h"

#include <cmath>
#include <initializer_list>
#include <string>

namespace {

constexpr float PI = 3.14159265358979f;
constexpr int32_t MIN_CIRCLE_EDGES = 8;
constexpr int32_t MAX_CIRCLE_EDGES = 96;
constexpr float CIRCLE_EDGE_PIXELS = 4.0f; // edge length the polygon aims at

VERTEXBUFFER shape_vertices;
int32_t pending = 0; // vertices written to shape_vertices and not drawn yet

bool finite(std::initializer_list<float> values) {
    for (float v : values) {
        if (!std::isfinite(v)) {
            return false;
        }
    }
    return true;
}

bool usable_colour(const VECTOR4& c) {
    return finite({c.x, c.y, c.z, c.w});
}

// The program shapes draw with, built at the first draw so programs that
// never draw a shape compile nothing more; null when it cannot draw.
SHADER_PROGRAM* shapes_program() {
    if (!program_shapes2d) {
        const std::string vertex = shader_file_path(SHAPES_VS_FILE);
        const std::string fragment = shader_file_path(SHAPES_FS_FILE);
        program_shapes2d = build_program(new SHADER_PROGRAM, vertex.c_str(), fragment.c_str());
    }
    // A program that did not build said so when it was built.
    return program_shapes2d->build_failed ? nullptr : program_shapes2d;
}

// Room for count more vertices in the current draw, drawing what is
// gathered first when the draw is full.
VERTEX* reserve_vertices(int32_t count) {
    if (pending + count > SHAPE_VERTICES_PER_DRAW) {
        flush_shapes();
    }
    if (shape_vertices.count < pending + count) {
        int32_t capacity = shape_vertices.count == 0 ? 1536 : shape_vertices.count * 2;
        while (capacity < pending + count) {
            capacity *= 2;
        }
        capacity = capacity > SHAPE_VERTICES_PER_DRAW ? SHAPE_VERTICES_PER_DRAW : capacity;
        shape_vertices.reserve(capacity, USAGE_DYNAMIC);
    }
    VERTEX* v = shape_vertices.data + pending;
    pending += count;
    return v;
}

void put(VERTEX*& v, float x, float y, const VECTOR4& c) {
    *v = VERTEX{};
    v->position[0] = x;
    v->position[1] = y;
    v->position[3] = 1.0f;
    v->normal[0] = c.x;
    v->normal[1] = c.y;
    v->normal[2] = c.z;
    v->texcoord0[0] = c.w;
    ++v;
}

// Two triangles over the four corners, given in order around the quad.
void add_quad(const float (&corners)[4][2], const VECTOR4& c) {
    VERTEX* v = reserve_vertices(6);
    for (int i : {0, 1, 2, 0, 2, 3}) {
        put(v, corners[i][0], corners[i][1], c);
    }
}

void add_box(float x0, float y0, float x1, float y1, const VECTOR4& c) {
    const float corners[4][2] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
    add_quad(corners, c);
}

int32_t circle_edges(float radius) {
    const float edges = std::ceil(2.0f * PI * radius / CIRCLE_EDGE_PIXELS);
    return edges < float(MIN_CIRCLE_EDGES)   ? MIN_CIRCLE_EDGES
           : edges > float(MAX_CIRCLE_EDGES) ? MAX_CIRCLE_EDGES
                                             : int32_t(edges);
}

// The ring between inner and outer radius; an inner radius of 0 is a disc.
void add_ring(float cx, float cy, float outer, float inner, const VECTOR4& c) {
    const int32_t edges = circle_edges(outer);
    float previous_x = 1.0f, previous_y = 0.0f;
    for (int32_t i = 1; i <= edges; ++i) {
        const float angle = 2.0f * PI * float(i) / float(edges);
        const float x = i == edges ? 1.0f : std::cos(angle);
        const float y = i == edges ? 0.0f : std::sin(angle);
        if (inner <= 0.0f) {
            VERTEX* v = reserve_vertices(3);
            put(v, cx, cy, c);
            put(v, cx + outer * previous_x, cy + outer * previous_y, c);
            put(v, cx + outer * x, cy + outer * y, c);
        } else {
            const float corners[4][2] = {{cx + inner * previous_x, cy + inner * previous_y},
                                         {cx + outer * previous_x, cy + outer * previous_y},
                                         {cx + outer * x, cy + outer * y},
                                         {cx + inner * x, cy + inner * y}};
            add_quad(corners, c);
        }
        previous_x = x;
        previous_y = y;
    }
}

} // namespace

void draw_rectangle(float x, float y, float width, float height, const VECTOR4& colour) {
    if (!finite({x, y, width, height}) || !usable_colour(colour) || width <= 0 || height <= 0) {
        return;
    }
    add_box(x, y, x + width, y + height, colour);
}

void draw_rectangle_lines(float x, float y, float width, float height, float thickness,
                          const VECTOR4& colour) {
    if (!finite({x, y, width, height, thickness}) || !usable_colour(colour) || width <= 0 ||
        height <= 0 || thickness <= 0) {
        return;
    }
    if (2 * thickness >= width || 2 * thickness >= height) {
        add_box(x, y, x + width, y + height, colour);
        return;
    }
    const float x1 = x + width, y1 = y + height;
    add_box(x, y, x1, y + thickness, colour);                           // top
    add_box(x, y1 - thickness, x1, y1, colour);                         // bottom
    add_box(x, y + thickness, x + thickness, y1 - thickness, colour);   // left
    add_box(x1 - thickness, y + thickness, x1, y1 - thickness, colour); // right
}

void draw_line(float x0, float y0, float x1, float y1, float width, const VECTOR4& colour) {
    if (!finite({x0, y0, x1, y1, width}) || !usable_colour(colour) || width <= 0) {
        return;
    }
    const float dx = x1 - x0, dy = y1 - y0;
    const float length = std::sqrt(dx * dx + dy * dy);
    if (!(length > 0.0f) || !std::isfinite(length)) {
        return;
    }
    // Half the width across the segment.
    const float nx = -dy / length * width * 0.5f, ny = dx / length * width * 0.5f;
    const float corners[4][2] = {
        {x0 + nx, y0 + ny}, {x0 - nx, y0 - ny}, {x1 - nx, y1 - ny}, {x1 + nx, y1 + ny}};
    add_quad(corners, colour);
}

void draw_circle(float centre_x, float centre_y, float radius, const VECTOR4& colour) {
    if (!finite({centre_x, centre_y, radius}) || !usable_colour(colour) || radius <= 0) {
        return;
    }
    add_ring(centre_x, centre_y, radius, 0.0f, colour);
}

void draw_circle_lines(float centre_x, float centre_y, float radius, float thickness,
                       const VECTOR4& colour) {
    if (!finite({centre_x, centre_y, radius, thickness}) || !usable_colour(colour) || radius <= 0 ||
        thickness <= 0) {
        return;
    }
    add_ring(centre_x, centre_y, radius, thickness >= radius ? 0.0f : radius - thickness, colour);
}

void flush_shapes() {
    flush_text(); // text queued before these shapes goes underneath them
    if (pending == 0) {
        return;
    }
    const int32_t count = pending;
    pending = 0;
    if (!camera_valid(current_camera) || !model_stack) {
        static ONCE_FLAG no_camera;
        report_once(no_camera, "vexa: shapes are not drawn: there is no usable camera\n");
        return;
    }
    SHADER_PROGRAM* program = shapes_program();
    if (!program) {
        return;
    }
    use_program(program);
    const bool pushed = begin_window_pixels(program);
    shape_vertices.upload(count); // leaves the buffer bound as GL_ARRAY_BUFFER
    draw_window_triangles(count, pushed);
}

int32_t pending_shape_vertices() {
    return pending;
}

void shapes_reset() {
    // The tables are reset separately: forget the slot, don't release it.
    shape_vertices.slot = -1;
    shape_vertices = VERTEXBUFFER{};
    pending = 0;
}
