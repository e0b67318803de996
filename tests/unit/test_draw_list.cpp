// Draw lists: every sort order (distance, depth, program and material
// address, queue order), NaN keys, growth past the initial capacity without
// losing entries, and sort_and_draw_lists drawing in sorted order while
// leaving the model stack as it found it.
#include "tests/support/engine_reset.h"
#include "gfx/frame_stats.h"
#include "gfx/handle_table.h"
#include "gfx/render_state.h"
#include "gfx/render_target.h"
#include "math/matrix_stack.h"
#include "scene/builders.h"
#include "scene/camera.h"
#include "scene/draw_list.h"
#include "scene/model.h"
#include "scene/scene.h"
#include "scene/scene_objects.h"
#include "scene/sprite.h"
#include "shader/program.h"
#include "tests/support/fake_gl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

using fake_gl::call;

namespace {

DRAW_ENTRY entry_at(float x, float y, float z) {
    DRAW_ENTRY e;
    matrix_identity(e.world);
    e.position = VECTOR4{x, y, z, 1.0f};
    return e;
}

void fill(DRAW_LIST& list, const std::vector<VECTOR3>& points) {
    draw_list_clear(&list);
    for (const VECTOR3& p : points) {
        draw_list_append(&list, entry_at(p.x, p.y, p.z));
    }
}

std::vector<float> xs(const DRAW_LIST& list) {
    std::vector<float> out;
    for (int32_t i = 0; i < list.count; ++i) {
        out.push_back(list.entries[i].position.x);
    }
    return out;
}

class DRAW_LISTS : public ::testing::Test {
  protected:
    void SetUp() override { reset_engine_for_scene_tests(); }
    void TearDown() override {
        delete program_model;
        program_model = nullptr;
        gl_context_alive = false;
    }
};

// An index buffer that belongs to no test mesh.
int32_t scene_quad_index_slot() {
    return shared_quad->indices.slot;
}

} // namespace

TEST(DRAW_LIST_SORT, distance_modes_order_by_squared_distance_from_the_camera) {
    DRAW_LIST list;
    // Squared distances from the origin: 9, 1, 4 (x identifies the entry).
    fill(list, {{3, 0, 0}, {1, 0, 0}, {0, 2, 0}});
    sort_draw_list(&list, SORT_NEAR_TO_FAR, VECTOR3{0, 0, 0});
    EXPECT_EQ(xs(list), (std::vector<float>{1, 0, 3}));
    sort_draw_list(&list, SORT_FAR_TO_NEAR, VECTOR3{0, 0, 0});
    EXPECT_EQ(xs(list), (std::vector<float>{3, 0, 1}));

    // The same entries seen from a camera that moved to (3, 0, 0): 0, 4, 13.
    sort_draw_list(&list, SORT_NEAR_TO_FAR, VECTOR3{3, 0, 0});
    EXPECT_EQ(xs(list), (std::vector<float>{3, 1, 0}));

    // w takes part in the distance: with w = 3 the entry at x = 0.5 is at
    // 0.25 + 4, behind the one at x = 2.
    fill(list, {{0.5f, 0, 0}, {2, 0, 0}});
    list.entries[0].position.w = 3.0f;
    sort_draw_list(&list, SORT_NEAR_TO_FAR, VECTOR3{0, 0, 0});
    EXPECT_EQ(xs(list), (std::vector<float>{2, 0.5f}));
}

TEST(DRAW_LIST_SORT, distances_use_the_stored_camera_z_as_it_is) {
    // Camera at stored (1, 0, 5); entries (1, 0, 4), (2, 0, -3), (4, 0, 9):
    // squared distances 1, 65, 25 and z differences 1, 8, 4.
    DRAW_LIST list;
    fill(list, {{1, 0, 4}, {2, 0, -3}, {4, 0, 9}});
    sort_draw_list(&list, SORT_NEAR_TO_FAR, VECTOR3{1, 0, 5});
    EXPECT_EQ(xs(list), (std::vector<float>{1, 4, 2}));
    sort_draw_list(&list, SORT_FAR_Z_FIRST, VECTOR3{1, 0, 5});
    EXPECT_EQ(xs(list), (std::vector<float>{2, 4, 1}));
}

TEST(DRAW_LIST_SORT, depth_modes_compare_the_z_difference_alone) {
    DRAW_LIST list;
    fill(list, {{100, 0, -1}, {0, 0, -5}});
    sort_draw_list(&list, SORT_FAR_Z_FIRST, VECTOR3{0, 0, 0});
    EXPECT_EQ(xs(list), (std::vector<float>{0, 100}));
    sort_draw_list(&list, SORT_NEAR_Z_FIRST, VECTOR3{0, 0, 0});
    EXPECT_EQ(xs(list), (std::vector<float>{100, 0}));
}

TEST(DRAW_LIST_SORT, modes_outside_one_to_six_keep_queue_order) {
    DRAW_LIST list;
    std::vector<VECTOR3> points;
    for (int i = 0; i < 20; ++i) {
        points.push_back(VECTOR3{float((i * 7) % 20), 0, float(-i)});
    }
    for (int32_t mode : {int32_t(SORT_NONE), 7, -1, 1000}) {
        fill(list, points);
        std::vector<float> before = xs(list);
        sort_draw_list(&list, mode, VECTOR3{0, 0, 0});
        EXPECT_EQ(xs(list), before) << "mode " << mode;
    }
}

TEST(DRAW_LIST_SORT, program_and_material_modes_group_entries_by_address) {
    SHADER_PROGRAM* programs = reinterpret_cast<SHADER_PROGRAM*>(std::uintptr_t(0x1000));
    MATERIAL materials[3];
    MESH meshes[3];
    for (int i = 0; i < 3; ++i) {
        meshes[i].material = &materials[i];
    }
    DRAW_LIST list;
    const int order[6] = {2, 0, 1, 2, 0, 1};
    for (int k = 0; k < 6; ++k) {
        DRAW_ENTRY e = entry_at(float(k), 0, 0);
        e.program = programs + order[k];
        e.mesh = &meshes[order[k]];
        draw_list_append(&list, e);
    }
    sort_draw_list(&list, SORT_BY_PROGRAM, VECTOR3{0, 0, 0});
    for (int32_t i = 1; i < list.count; ++i) {
        EXPECT_LE(std::uintptr_t(list.entries[i - 1].program),
                  std::uintptr_t(list.entries[i].program));
    }
    sort_draw_list(&list, SORT_BY_MATERIAL, VECTOR3{0, 0, 0});
    for (int32_t i = 1; i < list.count; ++i) {
        EXPECT_LE(std::uintptr_t(list.entries[i - 1].mesh->material),
                  std::uintptr_t(list.entries[i].mesh->material));
    }
    EXPECT_EQ(list.entries[0].mesh->material, &materials[0]);
    EXPECT_EQ(list.entries[5].mesh->material, &materials[2]);
    for (MESH& m : meshes) {
        m.material = nullptr;
    }
}

TEST(DRAW_LIST_SORT, nan_keys_go_after_every_number_in_both_directions) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    DRAW_LIST list;
    // Enough entries for the sort's partitioning, not just its insertion pass.
    std::vector<VECTOR3> points;
    for (int i = 0; i < 64; ++i) {
        points.push_back(VECTOR3{i % 3 == 0 ? nan : float((i * 37) % 64), 0, 0});
    }
    for (int32_t mode :
         {int32_t(SORT_NEAR_TO_FAR), int32_t(SORT_FAR_TO_NEAR), int32_t(SORT_NEAR_Z_FIRST)}) {
        fill(list, points);
        if (mode == SORT_NEAR_Z_FIRST) {
            for (int32_t i = 0; i < list.count; ++i) {
                list.entries[i].position.z = list.entries[i].position.x;
            }
        }
        sort_draw_list(&list, mode, VECTOR3{0, 0, 0});
        ASSERT_EQ(list.count, 64);
        std::vector<float> keys = xs(list);
        int numbers = 0;
        while (numbers < 64 && !std::isnan(keys[numbers])) {
            ++numbers;
        }
        EXPECT_EQ(numbers, 64 - 22) << "mode " << mode;
        for (int i = numbers; i < 64; ++i) {
            EXPECT_TRUE(std::isnan(keys[i]));
        }
        for (int i = 1; i < numbers; ++i) {
            if (mode == SORT_FAR_TO_NEAR) {
                EXPECT_GE(keys[i - 1], keys[i]);
            } else {
                EXPECT_LE(keys[i - 1], keys[i]);
            }
        }
    }
}

TEST(DRAW_LIST_STORAGE, append_grows_past_the_initial_capacity_and_clear_keeps_storage) {
    DRAW_LIST list;
    ASSERT_TRUE(draw_list_reserve(&list, DRAW_LIST_INITIAL_CAPACITY));
    EXPECT_EQ(list.capacity, 15);
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(draw_list_append(&list, entry_at(float(i), 0, 0)));
    }
    ASSERT_EQ(list.count, 100);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(list.entries[i].position.x, float(i));
    }
    DRAW_ENTRY* storage = list.entries;
    int32_t capacity = list.capacity;
    EXPECT_GE(capacity, 100);

    draw_list_clear(&list);
    EXPECT_EQ(list.count, 0);
    for (int i = 0; i < 100; ++i) {
        draw_list_append(&list, entry_at(float(i), 0, 0));
    }
    EXPECT_EQ(list.entries, storage);
    EXPECT_EQ(list.capacity, capacity);
    EXPECT_EQ(list.dropped, 0);

    // A list without storage grows on its first append too.
    DRAW_LIST empty;
    EXPECT_TRUE(draw_list_append(&empty, entry_at(1, 0, 0)));
    EXPECT_EQ(empty.count, 1);
}

TEST_F(DRAW_LISTS, lists_are_drawn_in_sorted_order_and_the_model_stack_is_restored) {
    program_model = new SHADER_PROGRAM;
    const VERTEX vertices[3] = {};
    const uint16_t triangle[3] = {0, 1, 2};
    std::unique_ptr<MODEL> model(build_model(vertices, 3));
    ASSERT_TRUE(model);
    MESH* meshes[3];
    for (MESH*& m : meshes) {
        m = build_mesh(model.get(), triangle, 3);
        ASSERT_TRUE(m);
    }
    SCENE scene;
    current_camera->position = VECTOR3{0, 0, 0};
    // Opaque: squared distances 9, 1, 4; the second entry has no program.
    const float opaque_x[3] = {3, 1, 2};
    for (int i = 0; i < 3; ++i) {
        DRAW_ENTRY e = entry_at(opaque_x[i], 0, 0);
        e.model = model.get();
        e.mesh = meshes[i];
        e.program = i == 1 ? nullptr : program_model;
        draw_list_append(&scene.opaque, e);
    }
    // Transparent: 1 then 9, drawn far to near.
    for (int i = 0; i < 2; ++i) {
        DRAW_ENTRY e = entry_at(i == 0 ? 1.0f : 3.0f, 0, 0);
        e.model = model.get();
        e.mesh = meshes[i == 0 ? 1 : 2];
        e.program = program_model;
        draw_list_append(&scene.transparent, e);
    }
    MATRIX4 marker;
    matrix_identity(marker);
    marker.m[13] = 42.0f;
    matrix_stack_load(model_stack, marker);
    int32_t depth = model_stack->depth;
    // Leave no mesh's index buffer in the bind cache, so every change shows.
    index_buffer_bind(uint32_t(scene_quad_index_slot()));
    fake_gl::take();

    sort_and_draw_lists(&scene);

    std::vector<std::string> element_binds;
    int draws = 0;
    for (const std::string& line : fake_gl::take()) {
        if (line.rfind("glBindBuffer(" + std::to_string(GL_ELEMENT_ARRAY_BUFFER), 0) == 0) {
            element_binds.push_back(line);
        }
        draws += line.rfind("glDrawElements(", 0) == 0;
    }
    auto bind = [&](MESH* m) {
        return call("glBindBuffer", GLenum(GL_ELEMENT_ARRAY_BUFFER),
                    index_buffer_gl_name(uint32_t(m->indices.slot)));
    };
    // Opaque near to far: x 2 (mesh 2), x 3 (mesh 0); mesh 1 has no program.
    // Then transparent far to near: x 3 (mesh 2), x 1 (mesh 1).
    EXPECT_EQ(element_binds, (std::vector<std::string>{bind(meshes[2]), bind(meshes[0]),
                                                       bind(meshes[2]), bind(meshes[1])}));
    EXPECT_EQ(draws, 4);
    EXPECT_EQ(model_stack->depth, depth);
    EXPECT_EQ(model_stack->top->m[13], 42.0f);
    EXPECT_EQ(meshes[0]->material->program, program_model);
    EXPECT_EQ(meshes[1]->material->program, program_model);
}

TEST_F(DRAW_LISTS, empty_lists_draw_nothing) {
    SCENE scene;
    fake_gl::take();
    int32_t depth = model_stack->depth;
    sort_and_draw_lists(&scene);
    EXPECT_TRUE(fake_gl::take().empty());
    EXPECT_EQ(model_stack->depth, depth);
}
