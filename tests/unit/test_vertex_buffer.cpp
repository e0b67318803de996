// Vertex and index buffers against the recording GL stand-in: storage is
// specified once per growth, uploads send exactly the bytes asked for, the
// vertex layout and the draw sequence, and the slot bookkeeping of
// destruction and moves.
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_target.h"
#include "gfx/vertex_buffer.h"
#include "tests/support/debug_death.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

using fake_gl::call;
using fake_gl::DATA;
using LOG = std::vector<std::string>;

namespace {

class BUFFERS : public ::testing::Test {
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

const void* offset(size_t bytes) {
    return reinterpret_cast<const void*>(bytes);
}

} // namespace

TEST_F(BUFFERS, new_buffer_is_empty_and_its_destruction_touches_nothing) {
    {
        VERTEXBUFFER v;
        INDEXBUFFER i;
        EXPECT_EQ(v.slot, -1);
        EXPECT_EQ(v.data, nullptr);
        EXPECT_EQ(v.capacity, 0u);
        EXPECT_EQ(v.usage, USAGE_NONE);
        EXPECT_EQ(v.count, 0);
        EXPECT_EQ(i.slot, -1);
    }
    EXPECT_TRUE(fake_gl::log().empty());
    EXPECT_TRUE(vertex_buffer_table.slots.empty());
    EXPECT_TRUE(index_buffer_table.slots.empty());
}

TEST_F(BUFFERS, first_vertex_reserve_quad_specifies_storage_once) {
    VERTEXBUFFER v;
    v.reserve_quad(1);
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glGenBuffers", 1),
                                   call("glBindBuffer", GLenum(GL_ARRAY_BUFFER), 1u),
                                   call("glBufferData", GLenum(GL_ARRAY_BUFFER), 352LL,
                                        DATA{nullptr}, GLenum(GL_DYNAMIC_DRAW)),
                               }));
    ASSERT_EQ(v.slot, 0);
    EXPECT_EQ(vertex_buffer_table.slots[0].kind, SLOT_VERTEX_BUFFER);
    EXPECT_EQ(vertex_buffer_table.slots[0].name, 1u);
    EXPECT_NE(v.data, nullptr);
    EXPECT_EQ(v.capacity, 352u);
    EXPECT_EQ(v.usage, USAGE_DYNAMIC);
    EXPECT_EQ(v.needs_storage, 0);
    EXPECT_EQ(v.count, 4);

    // Storage exists: no GL call, and the usage asked for now is ignored.
    v.reserve_quad(0);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(v.usage, USAGE_DYNAMIC);
}

TEST_F(BUFFERS, index_reserve_quad_specifies_12_bytes_of_static_storage) {
    INDEXBUFFER i;
    i.reserve_quad();
    EXPECT_EQ(fake_gl::take(), (LOG{
                                   call("glGenBuffers", 1),
                                   call("glBindBuffer", GLenum(GL_ELEMENT_ARRAY_BUFFER), 1u),
                                   call("glBufferData", GLenum(GL_ELEMENT_ARRAY_BUFFER), 12LL,
                                        DATA{nullptr}, GLenum(GL_STATIC_DRAW)),
                               }));
    EXPECT_EQ(index_buffer_table.slots[0].kind, SLOT_INDEX_BUFFER);
    EXPECT_EQ(i.capacity, 12u);
    EXPECT_EQ(i.usage, USAGE_STATIC);
    EXPECT_EQ(i.count, 6);
}

TEST_F(BUFFERS, uploads_send_exactly_the_reserved_bytes_at_offset_0) {
    VERTEXBUFFER v;
    INDEXBUFFER i;
    v.reserve_quad(0);
    i.reserve_quad();
    for (int k = 0; k < 4; ++k) {
        v.data[k].position[0] = float(k);
        v.data[k].texcoord1[1] = 0.5f * float(k);
    }
    std::memcpy(i.data, QUAD_INDICES, sizeof QUAD_INDICES);
    fake_gl::take();

    v.upload(4);
    EXPECT_EQ(fake_gl::take(),
              (LOG{call("glBufferSubData", GLenum(GL_ARRAY_BUFFER), 0LL, 352LL, DATA{v.data})}));
    const auto* bytes = reinterpret_cast<const unsigned char*>(v.data);
    EXPECT_EQ(fake_gl::state().last_data, std::vector<unsigned char>(bytes, bytes + 352));

    i.upload(6);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glBufferSubData", GLenum(GL_ELEMENT_ARRAY_BUFFER), 0LL,
                                         12LL, DATA{i.data})}));
    EXPECT_EQ(fake_gl::state().last_data,
              (std::vector<unsigned char>{0, 0, 1, 0, 2, 0, 0, 0, 2, 0, 3, 0}));
    EXPECT_EQ(frame_stats.uploads, 2u);
}

TEST_F(BUFFERS, quads_uploaded_in_turn_rebind_only_when_names_differ) {
    VERTEXBUFFER a, b;
    a.reserve_quad(0);
    b.reserve_quad(0); // leaves b bound
    fake_gl::take();
    b.upload(4);
    a.upload(4);
    a.upload(4);
    EXPECT_EQ(fake_gl::take(),
              (LOG{
                  call("glBufferSubData", GLenum(GL_ARRAY_BUFFER), 0LL, 352LL, DATA{b.data}),
                  call("glBindBuffer", GLenum(GL_ARRAY_BUFFER), 1u),
                  call("glBufferSubData", GLenum(GL_ARRAY_BUFFER), 0LL, 352LL, DATA{a.data}),
                  call("glBufferSubData", GLenum(GL_ARRAY_BUFFER), 0LL, 352LL, DATA{a.data}),
              }));
}

TEST_F(BUFFERS, general_reserve_grows_storage_keeping_and_zeroing_the_cpu_copy) {
    VERTEXBUFFER v;
    v.reserve(100, 0);
    EXPECT_EQ(fake_gl::take().back(), call("glBufferData", GLenum(GL_ARRAY_BUFFER), 8800LL,
                                           DATA{nullptr}, GLenum(GL_STATIC_DRAW)));
    v.data[99].normal[2] = 3.0f;

    v.reserve(50, 1); // fits: count only
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(v.count, 50);
    EXPECT_EQ(v.usage, USAGE_STATIC);

    v.reserve(200, 1);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glBufferData", GLenum(GL_ARRAY_BUFFER), 17600LL,
                                         DATA{nullptr}, GLenum(GL_DYNAMIC_DRAW))}));
    EXPECT_EQ(v.slot, 0);
    EXPECT_EQ(vertex_buffer_table.slots.size(), 1u);
    EXPECT_EQ(v.count, 200);
    EXPECT_EQ(v.data[99].normal[2], 3.0f);
    const auto* grown = reinterpret_cast<const unsigned char*>(v.data + 100);
    EXPECT_EQ(std::vector<unsigned char>(grown, grown + 100 * sizeof(VERTEX)),
              std::vector<unsigned char>(100 * sizeof(VERTEX), 0));

    // Any non-zero request means dynamic; the stored usage is never USAGE_NONE.
    INDEXBUFFER i;
    i.reserve(300, 2);
    EXPECT_EQ(i.usage, USAGE_DYNAMIC);
    EXPECT_EQ(fake_gl::take().back(), call("glBufferData", GLenum(GL_ELEMENT_ARRAY_BUFFER), 600LL,
                                           DATA{nullptr}, GLenum(GL_DYNAMIC_DRAW)));
}

TEST_F(BUFFERS, upload_beyond_the_reserved_size_or_without_a_buffer_is_refused) {
    VERTEXBUFFER v;
    EXPECT_DEBUG_DEATH(v.upload(0), "upload without a buffer");
    v.reserve_quad(0);
    fake_gl::take();
    EXPECT_DEBUG_DEATH(v.upload(5), "beyond its reserved size");
    EXPECT_DEBUG_DEATH(v.upload(-1), "beyond its reserved size");
    EXPECT_DEBUG_DEATH(v.reserve(-3, 0), "count out of range");
    EXPECT_TRUE(fake_gl::log().empty());
    EXPECT_EQ(v.count, 4);
    EXPECT_EQ(v.capacity, 352u);
}

TEST_F(BUFFERS, destroying_a_reserved_buffer_frees_its_slot_and_gl_buffer) {
    {
        VERTEXBUFFER v;
        v.reserve_quad(0);
        fake_gl::take();
    }
    EXPECT_EQ(fake_gl::take(), (LOG{call("glDeleteBuffers", 1, 1u)}));
    EXPECT_EQ(vertex_buffer_table.slots[0].kind, SLOT_FREE);
    EXPECT_EQ(vertex_buffer_table.slots[0].name, 0u);
    EXPECT_EQ(vertex_buffer_table.free_stack, std::vector<uint32_t>{0});
    EXPECT_EQ(bind_cache.array_buffer, 0u);

    // After the context is gone (process exit) the slot is freed silently.
    gl_context_alive = false;
    {
        INDEXBUFFER i;
        i.reserve_quad();
        fake_gl::take();
    }
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(index_buffer_table.slots[0].kind, SLOT_FREE);
}

TEST_F(BUFFERS, moves_hand_over_the_slot_and_release_the_replaced_one) {
    VERTEXBUFFER a;
    a.reserve_quad(0);
    VERTEX* data = a.data;
    VERTEXBUFFER b(std::move(a));
    EXPECT_EQ(b.slot, 0);
    EXPECT_EQ(b.data, data);
    EXPECT_EQ(b.count, 4);
    EXPECT_EQ(a.slot, -1);
    EXPECT_EQ(a.data, nullptr);
    EXPECT_EQ(a.usage, USAGE_NONE);

    VERTEXBUFFER c;
    c.reserve_quad(0); // slot 1
    fake_gl::take();
    c = std::move(b);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glDeleteBuffers", 1, 2u)}));
    EXPECT_EQ(c.slot, 0);
    EXPECT_EQ(vertex_buffer_table.slots[1].kind, SLOT_FREE);
    EXPECT_EQ(vertex_buffer_table.slots[0].kind, SLOT_VERTEX_BUFFER);
}

TEST_F(BUFFERS, draw_binds_both_buffers_the_vertex_format_and_draws_the_indices) {
    VERTEXBUFFER v;
    INDEXBUFFER i;
    v.reserve_quad(0);
    i.reserve_quad();
    // Unbind both so the draw has to bind them.
    bind_cache = BIND_CACHE{};
    fake_gl::take();
    draw_buffers(v, i);
    const LOG first = fake_gl::take();
    EXPECT_EQ(first, (LOG{
                         call("glBindBuffer", GLenum(GL_ARRAY_BUFFER), 1u),
                         call("glBindBuffer", GLenum(GL_ELEMENT_ARRAY_BUFFER), 2u),
                         call("glVertexPointer", 4, GLenum(GL_FLOAT), 88, offset(0)),
                         call("glNormalPointer", GLenum(GL_FLOAT), 88, offset(16)),
                         call("glClientActiveTexture", GLenum(GL_TEXTURE0)),
                         call("glTexCoordPointer", 2, GLenum(GL_FLOAT), 88, offset(28)),
                         call("glClientActiveTexture", GLenum(GL_TEXTURE1)),
                         call("glTexCoordPointer", 2, GLenum(GL_FLOAT), 88, offset(36)),
                         call("glDrawElements", GLenum(GL_TRIANGLES), 6, GLenum(GL_UNSIGNED_SHORT),
                              offset(0)),
                     }));
    EXPECT_EQ(frame_stats.draws, 1u);

    // A second draw of the same pair binds nothing but sends every pointer
    // again; without a format function it only draws.
    draw_buffers(v, i);
    EXPECT_EQ(fake_gl::take(), LOG(first.begin() + 2, first.end()));
    draw_buffers(v, i, nullptr);
    EXPECT_EQ(fake_gl::take(), (LOG{call("glDrawElements", GLenum(GL_TRIANGLES), 6,
                                         GLenum(GL_UNSIGNED_SHORT), offset(0))}));

    // Buffers without GL storage draw nothing.
    VERTEXBUFFER empty_v;
    INDEXBUFFER empty_i;
    draw_buffers(empty_v, i);
    draw_buffers(v, empty_i);
    EXPECT_TRUE(fake_gl::take().empty());
}
