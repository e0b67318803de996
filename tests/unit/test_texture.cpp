// Textures and images: GL texture creation from a picture, a second picture
// re-specified at the next bind, dirty uploads landing in the right texture
// unit, and pictures that are empty or too large.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "scene/scene_objects.h"
#include "scene/texture.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fake_gl::call;
using fake_gl::DATA;

class TEXTURES : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        scene_objects_reset();
        handle_tables_reset();
        frame_stats_reset();
    }
};

std::string tex_image(int w, int h, GLenum format, const void* pixels) {
    return call("glTexImage2D", GLenum(GL_TEXTURE_2D), 0, GLint(GL_RGBA), w, h, 0, format,
                GLenum(GL_UNSIGNED_BYTE), DATA{pixels});
}

size_t count_uploads(const std::vector<std::string>& log) {
    size_t n = 0;
    for (const std::string& line : log) {
        n += line.rfind("glTexImage2D", 0) == 0;
    }
    return n;
}

TEST_F(TEXTURES, create_image_fills_the_picture_and_creates_a_linear_mirrored_texture) {
    TEXTURE texture;
    EXPECT_EQ(live_texture_objects, 1);
    EXPECT_EQ(texture.slot, -1);
    ASSERT_TRUE(create_image(&texture, 4, 2));

    const IMAGE& image = *texture.image;
    EXPECT_EQ(image.width, 4);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.stride, 16);
    EXPECT_EQ(image.texture_width, 4);
    EXPECT_EQ(image.texture_height, 2);
    EXPECT_EQ(image.bits_per_pixel, 32);
    EXPECT_EQ(image.byte_size, 32);
    EXPECT_EQ(image.pixel_order, PIXEL_ORDER_RGBA);
    ASSERT_NE(image.pixels, nullptr);
    EXPECT_EQ(texture.slot, 0);
    EXPECT_FALSE(texture.dirty);

    std::vector<std::string> expected = fake_gl::texture_create_calls(
        1, 4, 2, GL_LINEAR, GL_LINEAR, GL_MIRRORED_REPEAT, GL_RGBA, image.pixels);
    EXPECT_EQ(fake_gl::take(), expected);
}

TEST_F(TEXTURES, second_picture_is_uploaded_with_its_new_size_at_the_next_bind_only) {
    TEXTURE texture;
    create_image(&texture, 4, 2);
    fake_gl::take();

    ASSERT_TRUE(create_image(&texture, 1024, 600));
    EXPECT_TRUE(texture.dirty);
    EXPECT_EQ(texture.image->width, 1024);
    EXPECT_EQ(texture.image->byte_size, 1024 * 600 * 4);
    EXPECT_TRUE(fake_gl::take().empty()); // no upload of its own

    texture.image->pixels[0] = 0x12;
    bind_texture(&texture, 0);
    // Still bound on unit 0 from creation: the unit is selected again for the upload.
    std::vector<std::string> expected = {
        call("glActiveTexture", GLenum(GL_TEXTURE0)),
        tex_image(1024, 600, GL_RGBA, texture.image->pixels),
    };
    EXPECT_EQ(fake_gl::take(), expected);
    EXPECT_EQ(fake_gl::state().last_data.size(), size_t(1024 * 600 * 4));
    EXPECT_EQ(fake_gl::state().last_data[0], 0x12);
    EXPECT_FALSE(texture.dirty);

    bind_texture(&texture, 0);
    EXPECT_TRUE(fake_gl::take().empty());
}

TEST_F(TEXTURES, empty_second_picture_empties_the_gl_texture_at_the_next_bind) {
    TEXTURE texture;
    create_image(&texture, 4, 2);
    ASSERT_TRUE(create_image(&texture, 0, 600));
    EXPECT_TRUE(texture.dirty);
    fake_gl::take();

    // The old 4 x 2 picture must not stay in GL behind an empty IMAGE.
    bind_texture(&texture, 0);
    std::vector<std::string> expected = {
        call("glActiveTexture", GLenum(GL_TEXTURE0)),
        tex_image(0, 600, GL_RGBA, nullptr),
    };
    EXPECT_EQ(fake_gl::take(), expected);
    EXPECT_FALSE(texture.dirty);

    // A negative size is no picture GL can take: nothing is uploaded.
    ASSERT_TRUE(create_image(&texture, -3, 2));
    bind_texture(&texture, 0);
    EXPECT_EQ(count_uploads(fake_gl::take()), 0u);
    EXPECT_FALSE(texture.dirty);
}

TEST_F(TEXTURES, dirty_upload_after_a_cache_hit_lands_in_its_own_unit) {
    TEXTURE first;
    TEXTURE second;
    create_image(&first, 2, 2);
    create_image(&second, 2, 2);
    bind_texture(&first, 0);
    bind_texture(&second, 1); // the active unit is now 1
    fake_gl::take();

    first.dirty = true;
    first.image->pixel_order = PIXEL_ORDER_BGRA;
    bind_texture(&first, 0);
    std::vector<std::string> expected = {
        call("glActiveTexture", GLenum(GL_TEXTURE0)),
        tex_image(2, 2, GL_BGRA, first.image->pixels),
    };
    EXPECT_EQ(fake_gl::take(), expected);
}

TEST_F(TEXTURES, empty_or_oversized_pictures_upload_nothing_and_a_texture_without_gl_is_not_bound) {
    TEXTURE empty;
    ASSERT_TRUE(create_image(&empty, 0, 600));
    EXPECT_EQ(empty.image->pixels, nullptr);
    EXPECT_EQ(empty.slot, 0);
    for (const std::string& line : fake_gl::take()) {
        EXPECT_EQ(line.rfind("glTexImage2D", 0), std::string::npos) << line;
    }

    TEXTURE huge;
    EXPECT_FALSE(create_image(&huge, 70000, 70000));
    EXPECT_EQ(huge.image->width, 0);
    EXPECT_EQ(huge.image->pixels, nullptr);
    EXPECT_EQ(huge.slot, -1);
    EXPECT_TRUE(fake_gl::take().empty());

    huge.dirty = true;
    bind_texture(&huge, 0);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_TRUE(huge.dirty);
}

} // namespace
