// TrueType and OpenType fonts (see font.h). FreeType reads the file and
// renders each glyph once into the font's atlas, a white RGBA picture whose
// alpha is the glyph's coverage, packed in shelves with a pixel of space
// around each glyph so filtering never picks up a neighbour. A text becomes
// one textured quad per glyph in one streamed vertex array, drawn by the 2D
// sprite program with the text's colour as its tint.
#include "scene/font.h"

#include "gfx/frame_stats.h"
#include "gfx/report.h"
#include "gfx/vertex_buffer.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/model.h"
#include "scene/shapes.h"
#include "scene/text.h"
#include "scene/texture.h"
#include "scene/uniforms.h"
#include "scene/utf8.h"
#include "shader/program.h"

#ifdef VEXA_HAVE_FREETYPE
#include <ft2build.h>
#include FT_FREETYPE_H
#endif

#include <cmath>
#include <cstdio>
#include <unordered_map>

namespace {

constexpr int MAX_PIXEL_SIZE = 512;

// A glyph's place in the atlas and how it sits on the pen.
struct GLYPH {
    int32_t x = 0, y = 0, w = 0, h = 0; // atlas rectangle; w or h 0: nothing to draw
    int32_t left = 0, top = 0;          // from the pen to the bitmap's left edge and top row
    float advance = 0.0f;               // pen movement in pixels
};

VERTEXBUFFER glyph_vertices;

} // namespace

struct FONT {
    int32_t pixel_size = 0;
    int32_t fallback_scale = 1; // the built-in font's scale when this one did not load
    TEXTURE* atlas = nullptr;   // null: the font did not load
    int32_t atlas_side = 0;
    int32_t ascender = 0; // baseline below the line's top, pixels
    int32_t line_height = TEXT_LINE_HEIGHT;
    bool kerning = false;
    std::unordered_map<uint32_t, GLYPH> glyphs; // by glyph index
    int32_t shelf_x = 1, shelf_y = 1, shelf_height = 0;
#ifdef VEXA_HAVE_FREETYPE
    FT_Face face = nullptr;
#endif
};

namespace {

#ifdef VEXA_HAVE_FREETYPE
FT_Library freetype = nullptr; // made at the first load, kept for the process

// Renders glyph index into the atlas; a glyph that does not fit any more
// keeps its advance and draws nothing.
GLYPH rasterise(FONT* font, uint32_t index) {
    GLYPH glyph;
    if (FT_Load_Glyph(font->face, index, FT_LOAD_RENDER) != 0) {
        return glyph;
    }
    const FT_GlyphSlot slot = font->face->glyph;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.advance = float(slot->advance.x) / 64.0f;
    glyph.left = slot->bitmap_left;
    glyph.top = slot->bitmap_top;
    const int32_t w = int32_t(bitmap.width), h = int32_t(bitmap.rows);
    if (w <= 0 || h <= 0 || bitmap.pixel_mode != FT_PIXEL_MODE_GRAY) {
        return glyph;
    }
    const int32_t side = font->atlas_side;
    if (font->shelf_x + w + 1 > side) {
        font->shelf_x = 1;
        font->shelf_y += font->shelf_height + 1;
        font->shelf_height = 0;
    }
    if (w + 2 > side || font->shelf_y + h + 1 > side) {
        static ONCE_FLAG full;
        report_once(full, "vexa: a font's glyph atlas is full; further glyphs are not drawn\n");
        return glyph;
    }
    glyph.x = font->shelf_x;
    glyph.y = font->shelf_y;
    glyph.w = w;
    glyph.h = h;
    IMAGE& picture = *font->atlas->image;
    for (int32_t row = 0; row < h; ++row) {
        const uint8_t* source = bitmap.buffer + row * bitmap.pitch;
        uint8_t* target = picture.pixels + (glyph.y + row) * picture.stride + glyph.x * 4;
        for (int32_t column = 0; column < w; ++column) {
            target[column * 4 + 3] = source[column];
        }
    }
    font->atlas->dirty = true;
    font->shelf_x += w + 1;
    font->shelf_height = h > font->shelf_height ? h : font->shelf_height;
    return glyph;
}

uint32_t glyph_index(const FONT* font, uint32_t character) {
    return FT_Get_Char_Index(font->face, character); // 0: the missing-glyph box
}

float kerning(const FONT* font, uint32_t previous, uint32_t index) {
    FT_Vector delta{0, 0};
    if (!font->kerning || previous == 0 || index == 0 ||
        FT_Get_Kerning(font->face, previous, index, FT_KERNING_DEFAULT, &delta) != 0) {
        return 0.0f;
    }
    return float(delta.x) / 64.0f;
}
#else
GLYPH rasterise(FONT*, uint32_t) {
    return GLYPH{};
}
uint32_t glyph_index(const FONT*, uint32_t) {
    return 0;
}
float kerning(const FONT*, uint32_t, uint32_t) {
    return 0.0f;
}
#endif

const GLYPH& glyph_of(FONT* font, uint32_t index) {
    auto found = font->glyphs.find(index);
    if (found == font->glyphs.end()) {
        found = font->glyphs.emplace(index, rasterise(font, index)).first;
    }
    return found->second;
}

// Atlas side for about 16 x 16 glyphs of the size, a power of two.
[[maybe_unused]] int32_t atlas_side_for(int32_t pixel_size) {
    int32_t side = 128;
    while (side < 4096 && side < 16 * (pixel_size * 5 / 4 + 2)) {
        side *= 2;
    }
    return side;
}

bool open_font(FONT* font, const char* path) {
#ifdef VEXA_HAVE_FREETYPE
    if (!freetype && FT_Init_FreeType(&freetype) != 0) {
        freetype = nullptr;
        std::fprintf(stderr, "vexa: FreeType did not start; %s is drawn with the built-in font\n",
                     path);
        return false;
    }
    int error = FT_New_Face(freetype, path, 0, &font->face);
    if (error == 0) {
        error = FT_Set_Pixel_Sizes(font->face, 0, FT_UInt(font->pixel_size));
    }
    if (error != 0) {
        std::fprintf(stderr,
                     "vexa: font %s cannot be read (FreeType error %d); its text uses the "
                     "built-in font\n",
                     path, error);
        if (font->face) {
            FT_Done_Face(font->face);
            font->face = nullptr;
        }
        return false;
    }
    font->kerning = FT_HAS_KERNING(font->face);
    font->ascender = int32_t(std::lround(double(font->face->size->metrics.ascender) / 64.0));
    font->line_height = int32_t(std::lround(double(font->face->size->metrics.height) / 64.0));
    font->atlas_side = atlas_side_for(font->pixel_size);
    font->atlas = create_texture(font->atlas_side, font->atlas_side);
    if (!font->atlas) {
        FT_Done_Face(font->face);
        font->face = nullptr;
        return false;
    }
    // White everywhere: the alpha carries the coverage, the tint the colour.
    IMAGE& picture = *font->atlas->image;
    for (int32_t i = 0; i < picture.width * picture.height; ++i) {
        uint8_t* p = picture.pixels + i * 4;
        p[0] = p[1] = p[2] = 255;
        p[3] = 0;
    }
    for (uint32_t c = ' '; c <= '~'; ++c) {
        glyph_of(font, glyph_index(font, c));
    }
    glyph_of(font, 0);
    return true;
#else
    (void)font;
    std::fprintf(stderr,
                 "vexa: font %s: this build has no FreeType; its text uses the built-in font\n",
                 path);
    return false;
#endif
}

// Walks text as draw_text places it, calling place(glyph, left, top) for
// each glyph that has pixels; returns the widest line's width.
template <class PLACE> int lay_out(FONT* font, const char* text, int x, int y, PLACE place) {
    float pen = float(x), widest = 0.0f;
    int baseline = y + font->ascender;
    uint32_t previous = 0;
    for (const char* c = text; *c;) {
        const uint32_t character = utf8_next(c);
        if (character == '\n') {
            widest = pen - float(x) > widest ? pen - float(x) : widest;
            pen = float(x);
            baseline += font->line_height;
            previous = 0;
            continue;
        }
        const uint32_t index = glyph_index(font, character);
        pen += kerning(font, previous, index);
        const GLYPH& glyph = glyph_of(font, index);
        if (glyph.w > 0) {
            place(glyph, int(std::lround(pen)) + glyph.left, baseline - glyph.top);
        }
        pen += glyph.advance;
        previous = index;
    }
    widest = pen - float(x) > widest ? pen - float(x) : widest;
    return int(std::ceil(widest));
}

} // namespace

FONT* load_font(const char* path, int pixel_size) {
    FONT* font = new FONT;
    const bool size_ok = pixel_size >= 1 && pixel_size <= MAX_PIXEL_SIZE;
    font->pixel_size = size_ok ? pixel_size : TEXT_GLYPH_SIZE;
    font->fallback_scale = font->pixel_size / TEXT_GLYPH_SIZE > 1 ? font->pixel_size / 8 : 1;
    font->line_height = TEXT_LINE_HEIGHT * font->fallback_scale;
    if (!path) {
        std::fprintf(stderr, "vexa: load_font needs a file; text uses the built-in font\n");
    } else if (!size_ok) {
        std::fprintf(stderr,
                     "vexa: font %s: a pixel size of 1 to %d, not %d; text uses the built-in "
                     "font\n",
                     path, MAX_PIXEL_SIZE, pixel_size);
    } else if (!open_font(font, path)) {
        font->line_height = TEXT_LINE_HEIGHT * font->fallback_scale;
    }
    return font;
}

void release_font(FONT* font) {
    if (!font) {
        return;
    }
    release_texture(font->atlas);
#ifdef VEXA_HAVE_FREETYPE
    if (font->face) {
        FT_Done_Face(font->face);
    }
#endif
    delete font;
}

bool font_loaded(const FONT* font) {
    return font && font->atlas;
}

int font_line_height(const FONT* font) {
    return font ? font->line_height : TEXT_LINE_HEIGHT;
}

int text_width(const FONT* font, const char* text) {
    if (!font_loaded(font)) {
        return text_width(text, font ? font->fallback_scale : 1);
    }
    return lay_out(const_cast<FONT*>(font), text ? text : "", 0, 0, [](const GLYPH&, int, int) {});
}

void draw_text(const FONT* font, const char* text, int x, int y, const VECTOR4& colour) {
    if (!font_loaded(font)) {
        draw_text(text, x, y, font ? font->fallback_scale : 1, colour);
        return;
    }
    if (!text || !*text) {
        return;
    }
    flush_shapes(); // shapes asked for earlier go underneath
    SHADER_PROGRAM* program = program_sprites2d;
    if (!camera_valid(current_camera) || !model_stack || !program || program->build_failed) {
        static ONCE_FLAG cannot;
        report_once(cannot, "vexa: text is not drawn: no usable camera or sprite program\n");
        return;
    }
    // The atlas glyphs are placed by the layout (new ones rendered now).
    FONT* f = const_cast<FONT*>(font);
    int32_t count = 0;
    const float side = float(f->atlas_side);
    auto place = [&](const GLYPH& g, int left, int top) {
        if (glyph_vertices.count < count + 6) {
            glyph_vertices.reserve(glyph_vertices.count < 384 ? 384 : glyph_vertices.count * 2,
                                   USAGE_DYNAMIC);
        }
        const float x0 = float(left), y0 = float(top), x1 = x0 + float(g.w), y1 = y0 + float(g.h);
        const float s0 = float(g.x) / side, t0 = float(g.y) / side;
        const float s1 = float(g.x + g.w) / side, t1 = float(g.y + g.h) / side;
        const float corners[6][4] = {{x0, y0, s0, t0}, {x0, y1, s0, t1}, {x1, y1, s1, t1},
                                     {x0, y0, s0, t0}, {x1, y1, s1, t1}, {x1, y0, s1, t0}};
        for (const auto& corner : corners) {
            VERTEX& v = glyph_vertices.data[count++];
            v = VERTEX{};
            v.position[0] = corner[0];
            v.position[1] = corner[1];
            v.position[3] = 1.0f;
            v.texcoord0[0] = corner[2];
            v.texcoord0[1] = corner[3];
        }
    };
    lay_out(f, text, x, y, place);
    if (count == 0) {
        return;
    }
    use_program(program);
    const bool pushed = begin_window_pixels(program);
    const float tint[4] = {colour.x, colour.y, colour.z, colour.w};
    send_colour(program, tint);
    bind_texture(f->atlas, 0);
    glyph_vertices.upload(count); // leaves the buffer bound as GL_ARRAY_BUFFER
    draw_window_triangles(count, pushed);
}

void fonts_reset() {
    // The tables are reset separately: forget the slot, don't release it.
    glyph_vertices.slot = -1;
    glyph_vertices = VERTEXBUFFER{};
}
