// 2D shapes in colour, in window pixels (y down, origin top left), drawn on
// top of the scene like text: filled and outlined rectangles, lines with a
// width and filled and outlined circles, in any colour with alpha. Shapes
// are gathered into one streamed vertex array and drawn together in one
// draw (more only past SHAPE_VERTICES_PER_DRAW vertices) when the frame's
// drawing moves on: at the next text, scene render or render-texture switch,
// or at the end of the frame's drawing, so shapes and text keep their call
// order. Owns that vertex array; relies on the 2D pass (scene/camera.h) and
// the lazily built program_shapes2d.
#pragma once

#include "math/matrix.h"

#include <cstdint>

// Vertices one draw takes at most; more in a frame start further draws.
constexpr int32_t SHAPE_VERTICES_PER_DRAW = 24576;

// A negative or non-finite size, width, radius or coordinate, or a
// non-finite colour, draws nothing (a zero size draws nothing either).
void draw_rectangle(float x, float y, float width, float height, const VECTOR4& colour);
// The outline lies inside the rectangle, thickness pixels wide; a thickness
// of half the smaller side or more fills it.
void draw_rectangle_lines(float x, float y, float width, float height, float thickness,
                          const VECTOR4& colour);
// A band width pixels wide centred on the segment from (x0, y0) to (x1, y1),
// with square-cut ends; a segment of no length draws nothing.
void draw_line(float x0, float y0, float x1, float y1, float width, const VECTOR4& colour);
// Circles are polygons whose edges are a few pixels long (8 to 96 of them).
void draw_circle(float centre_x, float centre_y, float radius, const VECTOR4& colour);
// The ring lies inside the circle, thickness pixels wide (at most the radius).
void draw_circle_lines(float centre_x, float centre_y, float radius, float thickness,
                       const VECTOR4& colour);

// Draws the shapes gathered so far; the engine calls it where the frame's
// drawing moves on, a program drawing with GL itself calls it first.
void flush_shapes();

// Vertices gathered and not drawn yet.
int32_t pending_shape_vertices();

// Start-of-process state for tests: the vertex array forgotten (its slot is
// not released; the handle tables are reset separately).
void shapes_reset();
