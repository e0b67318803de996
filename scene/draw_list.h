// Deferred 3D drawing: DRAW_ENTRY (one queued mesh with its world matrix and
// program), DRAW_LIST (a growable array of entries that keeps its storage
// across frames), the six sort orders and sort_and_draw_lists. Owns no
// globals; relies on the model stack, current_camera for the distance keys
// and draw_mesh (scene/model.h) for each entry.
#pragma once

#include "math/matrix.h"
#include "scene/texture.h"

#include <cstdint>

struct MESH;
struct MODEL;
struct SCENE;
struct SHADER_PROGRAM;
struct SKIN;

// Orders of a draw list. 0 and every value outside 1..6 keep queue order.
enum : int32_t {
    SORT_NONE = 0,
    SORT_FAR_TO_NEAR = 1,
    SORT_NEAR_TO_FAR = 2,
    SORT_FAR_Z_FIRST = 3,
    SORT_NEAR_Z_FIRST = 4,
    SORT_BY_PROGRAM = 5,
    SORT_BY_MATERIAL = 6,
};

// Capacity every scene list starts with.
constexpr int32_t DRAW_LIST_INITIAL_CAPACITY = 15;

// A plain value: appending copies it. Only properties.alpha is read when drawing.
struct DRAW_ENTRY {
    DRAW_PROPERTIES properties;
    MATRIX4 world;                     // model stack top when queued
    SHADER_PROGRAM* program = nullptr; // null: the entry is skipped
    MODEL* model = nullptr;
    SKIN* skin = nullptr; // null unless the model is skinned
    bool skin_on_cpu = false;
    MESH* mesh = nullptr;
    VECTOR4 position{0, 0, 0, 1}; // world matrix elements 12, 13, 14 and 1: the distance key
    bool still = false;           // an actor whose world matrix did not change since its last draw
};

struct MERGED_DRAWS;

// Neighbouring entries of a list (in drawing order, after the sort) that
// are still, not skinned, and share mesh, model, program, alpha and
// mirroring are drawn as one: their vertices placed in world space once into
// a buffer of the list's own, kept while the same entries with the same
// world matrices, vertices and indices come back (each frame compares
// them), rebuilt otherwise,
// and drawn with the identity world matrix. Order and state are those of
// drawing them one by one; up to 65 536 vertices go into one draw. Off:
// every entry is drawn by itself.
extern bool merge_still_draws;

// Entries in queue order. Grows by doubling when full and never shrinks, so
// once the busiest frame has been seen queuing allocates nothing.
struct DRAW_LIST {
    DRAW_ENTRY* entries = nullptr; // malloc'ed, capacity entries
    int32_t count = 0;
    int32_t capacity = 0;
    int32_t dropped = 0;            // appends lost because the list could not grow
    MERGED_DRAWS* merged = nullptr; // owned: buffers of still neighbours drawn as one

    DRAW_LIST() = default;
    DRAW_LIST(const DRAW_LIST&) = delete;
    DRAW_LIST& operator=(const DRAW_LIST&) = delete;
    ~DRAW_LIST();
};

// Makes room for at least capacity entries; false (nothing changes) when the
// storage cannot be allocated.
bool draw_list_reserve(DRAW_LIST* list, int32_t capacity);

// Copies entry to the end, growing the list when it is full. When it cannot
// grow the entry is not queued: false, dropped is counted and one line goes
// to stderr the first time.
bool draw_list_append(DRAW_LIST* list, const DRAW_ENTRY& entry);

// Empties the list and keeps its storage.
void draw_list_clear(DRAW_LIST* list);

// Sorts the list in place by mode with the camera at camera_position (see
// the SORT_ constants). The sort is not stable. Entries whose distance key is
// not a number go after every entry with a number key, in no defined order.
void sort_draw_list(DRAW_LIST* list, int32_t mode, const VECTOR3& camera_position);

// Sorts and draws the scene's opaque list, then its transparent list, each
// by the scene's mode for it, around one push and pop of the model stack:
// every entry's world matrix is loaded into the top, entries with a program
// are drawn through draw_mesh. The model stack's top is unchanged afterwards.
void sort_and_draw_lists(SCENE* scene);
