// Handle tables and bind caches against the recording GL stand-in: slot reuse
// order, the per-unit texture cache, the separate buffer caches, release
// bookkeeping and the handling of out-of-range indices.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_target.h"
#include "tests/support/debug_death.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using fake_gl::call;
using LOG = std::vector<std::string>;

namespace {

class HANDLE_TABLES : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_gl::reset();
        render_targets_reset();
        handle_tables_reset();
        frame_stats_reset();
        gl_context_alive = true;
    }
    void TearDown() override { gl_context_alive = false; }
};

// A texture with the screen-target parameters, its creation calls discarded.
uint32_t make_texture() {
    uint32_t slot =
        texture_create(4, 4, GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_RGBA, nullptr);
    fake_gl::take();
    return slot;
}

// A buffer slot of table holding the given GL name, as a buffer creator leaves it.
uint32_t make_buffer_slot(BUFFER_TABLE& table, int32_t kind, GLuint name) {
    uint32_t slot = slot_alloc(table);
    table.slots[slot] = HANDLE_SLOT{kind, name};
    return slot;
}

} // namespace

TEST_F(HANDLE_TABLES, slot_alloc_appends_in_order_and_reuses_last_released_first) {
    EXPECT_EQ(slot_alloc(vertex_buffer_table), 0u);
    EXPECT_EQ(slot_alloc(vertex_buffer_table), 1u);
    EXPECT_EQ(slot_alloc(vertex_buffer_table), 2u);
    for (int i = 3; i < 6; ++i) {
        vertex_buffer_table.slots[slot_alloc(vertex_buffer_table)] =
            HANDLE_SLOT{SLOT_VERTEX_BUFFER, GLuint(10 + i)};
    }
    buffer_slot_release(vertex_buffer_table, 3);
    buffer_slot_release(vertex_buffer_table, 5);
    EXPECT_EQ(vertex_buffer_table.slots[5].kind, SLOT_FREE);

    EXPECT_EQ(slot_alloc(vertex_buffer_table), 5u);
    EXPECT_EQ(vertex_buffer_table.slots[5].kind, SLOT_RESERVED);
    EXPECT_EQ(vertex_buffer_table.slots[5].name, 0u);
    EXPECT_EQ(slot_alloc(vertex_buffer_table), 3u);
    EXPECT_EQ(vertex_buffer_table.slots.size(), 6u);
    EXPECT_EQ(slot_alloc(vertex_buffer_table), 6u);
    // The tables are independent.
    EXPECT_EQ(slot_alloc(index_buffer_table), 0u);
    EXPECT_TRUE(texture_table.slots.empty());
}

TEST_F(HANDLE_TABLES, texture_create_binds_on_unit_0_sets_parameters_and_storage) {
    const unsigned char pixels[2 * 3 * 4] = {1, 2, 3, 4, 5, 6, 7, 8};
    uint32_t slot = texture_create(2, 3, GL_LINEAR, GL_LINEAR, GL_MIRRORED_REPEAT, GL_BGRA, pixels);
    EXPECT_EQ(slot, 0u);
    EXPECT_EQ(fake_gl::take(), fake_gl::texture_create_calls(1, 2, 3, GL_LINEAR, GL_LINEAR,
                                                             GL_MIRRORED_REPEAT, GL_BGRA, pixels));
    EXPECT_EQ(fake_gl::state().last_data,
              std::vector<unsigned char>(pixels, pixels + sizeof pixels));
    const HANDLE_SLOT* s = slot_find(texture_table, slot);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->kind, SLOT_TEXTURE);
    EXPECT_EQ(s->name, 1u);
    EXPECT_EQ(texture_gl_name(slot), 1u);
}

TEST_F(HANDLE_TABLES, texture_named_0_is_created_on_unit_0_not_on_the_active_unit) {
    uint32_t a = make_texture();
    uint32_t b = make_texture(); // on unit 0
    texture_bind(1, a);          // unit 1 is the active unit now
    texture_release(b);          // unit 0's cache holds 0 again
    fake_gl::take();
    fake_gl::state().next_texture = 0; // generation fails and yields 0
    texture_create(4, 4, GL_LINEAR, GL_LINEAR, GL_REPEAT, GL_RGBA, nullptr);
    EXPECT_EQ(fake_gl::take(), fake_gl::texture_create_calls(0, 4, 4, GL_LINEAR, GL_LINEAR,
                                                             GL_REPEAT, GL_RGBA, nullptr));
    EXPECT_EQ(bind_cache.textures[0], 0u);
    EXPECT_EQ(bind_cache.textures[1], 1u);
}

TEST_F(HANDLE_TABLES, second_identical_texture_bind_issues_no_gl_call) {
    uint32_t a = make_texture();
    make_texture(); // leaves unit 0 holding the second texture
    texture_bind(0, a);
    texture_bind(0, a);
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glActiveTexture", GLenum(GL_TEXTURE0)),
                                   call("glBindTexture", GLenum(GL_TEXTURE_2D), 1u),
                               }));
    EXPECT_EQ(frame_stats.texture_binds, 3u); // two creations and one miss
}

TEST_F(HANDLE_TABLES, binding_on_unit_0_leaves_unit_1_cache_untouched) {
    uint32_t a = make_texture();
    uint32_t b = make_texture();
    texture_bind(1, a);
    texture_bind(0, a);
    EXPECT_EQ(bind_cache.textures[1], texture_gl_name(a));
    EXPECT_EQ(bind_cache.textures[0], texture_gl_name(a));
    fake_gl::take();
    texture_bind(1, a);
    EXPECT_TRUE(fake_gl::take().empty());
    texture_bind(1, b);
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glActiveTexture", GLenum(GL_TEXTURE1)),
                                   call("glBindTexture", GLenum(GL_TEXTURE_2D), 2u),
                               }));
}

TEST_F(HANDLE_TABLES, array_and_element_buffer_caches_are_separate) {
    uint32_t v = make_buffer_slot(vertex_buffer_table, SLOT_VERTEX_BUFFER, 7);
    uint32_t i = make_buffer_slot(index_buffer_table, SLOT_INDEX_BUFFER, 7);
    vertex_buffer_bind(v);
    vertex_buffer_bind(v);
    index_buffer_bind(i);
    index_buffer_bind(i);
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glBindBuffer", GLenum(GL_ARRAY_BUFFER), 7u),
                                   call("glBindBuffer", GLenum(GL_ELEMENT_ARRAY_BUFFER), 7u),
                               }));
    EXPECT_EQ(bind_cache.array_buffer, 7u);
    EXPECT_EQ(bind_cache.element_buffer, 7u);
    EXPECT_EQ(frame_stats.buffer_binds, 2u);
}

TEST_F(HANDLE_TABLES, live_texture_count_follows_creation_and_release) {
    texture_release(0); // empty table: nothing at all
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_TRUE(texture_table.free_stack.empty());
    uint32_t slots[4];
    for (uint32_t& s : slots) {
        s = make_texture();
    }
    texture_release(slots[2]);
    EXPECT_EQ(live_texture_count, 3);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glDeleteTextures", 1, 3u)}));
    EXPECT_EQ(texture_table.slots[slots[2]].kind, SLOT_FREE);
    EXPECT_EQ(texture_table.slots[slots[2]].name, 0u);
}

TEST_F(HANDLE_TABLES, released_texture_name_recycled_by_gl_is_bound_again) {
    uint32_t a = make_texture(); // GL name 1, bound on unit 0
    texture_bind(1, a);
    texture_release(a);
    EXPECT_EQ(bind_cache.textures[0], 0u);
    EXPECT_EQ(bind_cache.textures[1], 0u);
    // GL hands the deleted name out again.
    fake_gl::state().next_texture = 1;
    fake_gl::take();
    uint32_t b = texture_create(4, 4, GL_NEAREST, GL_NEAREST, GL_CLAMP_TO_EDGE, GL_RGBA, nullptr);
    EXPECT_EQ(b, a);
    LOG log = fake_gl::take();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[1], call("glActiveTexture", GLenum(GL_TEXTURE0)));
    EXPECT_EQ(log[2], call("glBindTexture", GLenum(GL_TEXTURE_2D), 1u));
    texture_bind(1, b);
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glActiveTexture", GLenum(GL_TEXTURE1)),
                                   call("glBindTexture", GLenum(GL_TEXTURE_2D), 1u),
                               }));
}

TEST_F(HANDLE_TABLES, releasing_a_slot_twice_frees_it_once) {
    uint32_t t = make_texture();
    make_texture();
    texture_release(t);
    texture_release(t);
    EXPECT_EQ(texture_table.free_stack, std::vector<uint32_t>{t});
    EXPECT_EQ(live_texture_count, 1);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glDeleteTextures", 1, 1u)}));

    uint32_t v = make_buffer_slot(vertex_buffer_table, SLOT_VERTEX_BUFFER, 4);
    buffer_slot_release(vertex_buffer_table, v);
    buffer_slot_release(vertex_buffer_table, v);
    EXPECT_EQ(vertex_buffer_table.free_stack, std::vector<uint32_t>{v});
    EXPECT_EQ(fake_gl::take(), (LOG{call("glDeleteBuffers", 1, 4u)}));
    // Two allocations therefore give two different slots.
    EXPECT_NE(slot_alloc(texture_table), slot_alloc(texture_table));
}

TEST_F(HANDLE_TABLES, buffer_release_deletes_gl_buffer_only_while_context_lives) {
    uint32_t v = make_buffer_slot(vertex_buffer_table, SLOT_VERTEX_BUFFER, 5);
    uint32_t i = make_buffer_slot(index_buffer_table, SLOT_INDEX_BUFFER, 6);
    vertex_buffer_bind(v);
    index_buffer_bind(i);
    fake_gl::take();

    buffer_slot_release(vertex_buffer_table, v);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glDeleteBuffers", 1, 5u)}));
    EXPECT_EQ(bind_cache.array_buffer, 0u);
    EXPECT_EQ(bind_cache.element_buffer, 6u);

    gl_context_alive = false;
    buffer_slot_release(index_buffer_table, i);
    texture_release(make_texture());
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(index_buffer_table.slots[i].kind, SLOT_FREE);
    EXPECT_EQ(bind_cache.element_buffer, 0u);
    EXPECT_EQ(live_texture_count, 0);
}

TEST_F(HANDLE_TABLES, out_of_range_index_makes_no_gl_call_and_changes_nothing) {
    uint32_t t = make_texture();
    make_buffer_slot(vertex_buffer_table, SLOT_VERTEX_BUFFER, 3);
    make_buffer_slot(index_buffer_table, SLOT_INDEX_BUFFER, 3);
    BIND_CACHE before = bind_cache;

    // Debug builds stop at the assertion; release builds carry on harmlessly.
    EXPECT_DEBUG_DEATH(texture_bind(0, 9), "out of range");
    EXPECT_DEBUG_DEATH(texture_bind(0, NO_SLOT), "out of range");
    EXPECT_DEBUG_DEATH(texture_bind(2, t), "out of range");
    EXPECT_DEBUG_DEATH(texture_bind(-1, t), "out of range");
    EXPECT_DEBUG_DEATH(texture_release(9), "out of range");
    EXPECT_DEBUG_DEATH(buffer_slot_release(vertex_buffer_table, 9), "out of range");
    EXPECT_DEBUG_DEATH(vertex_buffer_bind(9), "out of range");
    EXPECT_DEBUG_DEATH(index_buffer_bind(NO_SLOT), "out of range");

    EXPECT_TRUE(fake_gl::log().empty());
    EXPECT_EQ(texture_table.slots.size(), 1u);
    EXPECT_TRUE(texture_table.free_stack.empty());
    EXPECT_TRUE(vertex_buffer_table.free_stack.empty());
    EXPECT_EQ(live_texture_count, 1);
    EXPECT_EQ(bind_cache.textures[0], before.textures[0]);
    EXPECT_EQ(bind_cache.array_buffer, before.array_buffer);

    // Queries never assert.
    EXPECT_EQ(slot_find(texture_table, 9), nullptr);
    EXPECT_EQ(texture_gl_name(NO_SLOT), 0u);
    EXPECT_EQ(vertex_buffer_gl_name(1), 0u);
    EXPECT_EQ(index_buffer_gl_name(0), 3u);
}
