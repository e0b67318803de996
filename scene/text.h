// Text on screen with the engine's built-in 8 x 8 bitmap font (ASCII 32 to
// 126; text is UTF-8, and each character the font lacks, or each damaged
// sequence, shows as one '?'), drawn at once in window pixels at any
// integer scale and colour, and the one-call frame-rate display. Owns the
// font data and the vertex buffer text is drawn from; relies on the 2D pass
// (scene/camera.h), program_primitives3d and the frame clock.
#pragma once

#include "math/matrix.h"

#include <cstdint>

// Glyph cell in font pixels; a line is TEXT_LINE_HEIGHT font pixels high.
constexpr int32_t TEXT_GLYPH_SIZE = 8;
constexpr int32_t TEXT_LINE_HEIGHT = 10;

// Draws text with its top-left corner at (x, y) in window pixels (y down),
// each font pixel scale x scale pixels, in colour (red, green, blue,
// alpha). '\n' starts a new line. Call it after render_scene in the frame:
// it draws on top of what is there. Nothing for scale < 1 or empty text.
// The text is queued: consecutive calls of one colour become one draw,
// made at the next flush_text, which the shapes' flush (flush_shapes),
// render_scene, the render-texture calls and the main loop's end of the
// frame callback all make first, so it keeps its place among them.
void draw_text(const char* text, int x, int y, int scale,
               const VECTOR4& colour = VECTOR4{1, 1, 1, 1});

// Draws the text queued so far (nothing when none is).
void flush_text();

// Width in window pixels of the longest line of text at scale: characters,
// not bytes, times the glyph width.
int text_width(const char* text, int scale);

// Draws "<rate> FPS" (the measured frame rate, rounded) at (x, y), scale 2,
// green.
void draw_frame_rate(int x, int y);

// Start-of-process state for tests: the text vertex buffer forgotten (its
// slot is not released; the handle tables are reset separately).
void text_reset();

struct SHADER_PROGRAM;
// Drawing in window pixels over the scene (text, fonts, shapes): opens the
// 2D pass, loads an identity model matrix and sends program's matrices.
// Returns whether the model stack took a level, which end_window_pixels
// gives back before it closes the pass.
bool begin_window_pixels(SHADER_PROGRAM* program);
void end_window_pixels(bool pushed);
// Draws count vertices of the bound GL_ARRAY_BUFFER as triangles in the
// engine's vertex format, counts the draw, and ends window-pixel drawing.
void draw_window_triangles(int32_t count, bool pushed);
