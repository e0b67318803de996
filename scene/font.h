// TrueType and OpenType fonts for text on screen, through FreeType: a font
// file at one pixel size, its glyphs rasterised once each into a glyph atlas
// texture (the printable ASCII ones when loaded, others at their first use),
// UTF-8 text with the font's kerning, drawn in one draw per call by the 2D
// sprite program in the text's colour. A font that cannot be loaded (a
// missing or damaged file, or a build without FreeType) says so in one line
// and draws with the built-in font instead. Owns each FONT's atlas and face;
// relies on the 2D pass, program_sprites2d and scene/text.h.
#pragma once

#include "math/matrix.h"

struct FONT;

// The font in the file at path, glyphs pixel_size pixels high (the font's
// em; 1 to 512). Never null: a font that cannot be loaded draws with the
// built-in font at scale pixel_size / 8, rounded down (at least 1).
FONT* load_font(const char* path, int pixel_size);
// Deletes the font and its atlas. Null: nothing.
void release_font(FONT* font);
// True when the font draws with its own glyphs (false: the built-in font).
bool font_loaded(const FONT* font);

// Draws text with the top of its first line at y and its pen starting at x,
// in window pixels, in colour; '\n' starts a new line. A character the font
// lacks shows its missing-glyph box, one per character (damaged UTF-8
// counts as U+FFFD). Call after render_scene, like draw_text; a null font
// is the built-in font at scale 1.
void draw_text(const FONT* font, const char* text, int x, int y,
               const VECTOR4& colour = VECTOR4{1, 1, 1, 1});
// Width in pixels of the widest line: advances and kerning summed exactly
// as draw_text places them.
int text_width(const FONT* font, const char* text);
// Distance in pixels from one line's top to the next's.
int font_line_height(const FONT* font);

// Start-of-process state for tests: the glyph vertex buffer forgotten.
void fonts_reset();
