// The scene: SCENE with its two layers of intrusive actor lists, lights,
// cameras, draw lists, root matrix, 4096 x 4096 render target and timers, and
// its update and render passes. Owns the globals `app_scene`, `current_scene`
// and sets `lighting_scene` and `ambient_scene` (scene/lighting.h). Relies on the camera, the
// model-actor walks, the draw lists, the render-state and framebuffer caches.
#pragma once

#include "gfx/stopwatch.h"
#include "gfx/render_target.h"
#include "math/matrix.h"
#include "scene/draw_list.h"
#include "scene/lighting.h"

#include <cstdint>

struct CAMERA3D;
struct MODEL_ACTOR;
struct SPRITE2D;
struct SPRITE3D;
struct TEXTURE;

// Side of the square render-to-texture target.
constexpr int32_t SCENE_TARGET_SIZE = 4096;
// Added to the scene time by every update_scene.
constexpr float SCENE_TIME_STEP = 1.0f / 60.0f;

// Three lists linked through ACTOR::next; a null head is an empty list. The
// lists do not own their actors.
struct SCENE_LAYER {
    MODEL_ACTOR* model_actors = nullptr;
    int32_t model_actor_count = 0;
    SPRITE3D* sprites3d = nullptr;
    int32_t sprite3d_count = 0;
    SPRITE2D* sprites2d = nullptr;
    int32_t sprite2d_count = 0;
};

// The lighting part (ambient colour, light list and count) comes first so a
// SCENE is what lighting_scene points at.
struct SCENE : SCENE_LIGHTING {
    int32_t opaque_sort_mode = SORT_NEAR_TO_FAR;
    int32_t transparent_sort_mode = SORT_FAR_TO_NEAR;
    int32_t spare_sort_modes[2] = {SORT_FAR_TO_NEAR, SORT_FAR_TO_NEAR}; // never used
    DRAW_LIST opaque;
    DRAW_LIST transparent;
    DRAW_LIST spare_lists[2]; // never filled
    float time = 0.0f;        // seconds, advanced only by update_scene
    float time_step = SCENE_TIME_STEP;
    CAMERA3D* active_camera = nullptr; // made current at render (and update) when set
    bool render_to_texture = false;    // one-shot: the next render also draws into target
    SCENE_LAYER layer1;                // drawn first
    SCENE_LAYER layer2;                // drawn second
    CAMERA3D* cameras = nullptr;       // updated by update_scene; linked through ACTOR::next
    int32_t camera_count = 0;
    MATRIX4 root;             // loaded into the model stack at the start of every layer
    RENDER_TARGET target;     // 4096 x 4096 colour texture and depth buffer, once made
    bool target_made = false; // see scene_make_target
    FRAME_TIMER render_timer;
    FRAME_TIMER update_timer;
    TEXTURE* target_texture = nullptr; // target's colour as a TEXTURE; see scene_target_texture

    // Reserves the draw lists, starts the timers (needs GL, or the recording
    // stand-in) and becomes current_scene. The render target is made when
    // first needed (scene_make_target): its colour and depth take 128 MB.
    SCENE();
    // The same; with create_target true the target is made at once.
    explicit SCENE(bool create_target);
    SCENE(const SCENE&) = delete;
    SCENE& operator=(const SCENE&) = delete;
    // Frees the draw lists, timer samples and target_texture's record; leaves
    // actors and GL objects alone.
    ~SCENE();
};

// The application's scene; update_scene and render_scene work on it.
extern SCENE* app_scene;
// The scene being updated or drawn.
extern SCENE* current_scene;

// One fixed step of app_scene: cameras, both layers' model actor trees, then
// time += time_step. Nothing when there is no application scene.
// The camera a scene draws with is its active camera, or else the current
// camera (the default camera unless the application chose another). That
// camera's view is rebuilt from its position and rotation at every update
// and render (camera_refresh), whether or not it is in the camera list, so
// moving it takes effect in the frame it moves; cameras of the list are
// updated as well. A frame without a usable camera draws nothing and says
// so once on stderr.
void update_scene();
// The same for scene (a second scene drawn into a render texture, say).
void update_scene(SCENE* scene);
void update_layer(SCENE_LAYER* layer, SCENE* scene);

// Draws one frame of app_scene to the bound framebuffer: layer 1, then
// layer 2. With the render-to-texture request set the frame is first drawn
// into the scene's target (viewport 4096 x 4096), then to the window, and the
// request is cleared; the camera's viewport rectangle is left as it was.
void render_scene();
// The same for scene.
void render_scene(SCENE* scene);
void render_layer(SCENE_LAYER* layer, SCENE* scene);

// Creates the scene's 4096 x 4096 render target unless it exists; the
// render-to-texture pass and scene_target_texture call it. A program that
// wants the GL objects made at a known time (the demonstration, at set-up)
// calls it itself.
void scene_make_target(SCENE* scene);

// Empties the opaque and transparent lists, keeping their storage.
void clear_draw_lists(SCENE* scene);

// Constructs a SPRITE2D for scene and appends it at the tail of the layer's
// 2D-sprite list. The caller gives it a picture with create_image.
SPRITE2D* add_sprite_2d(SCENE_LAYER* layer, SCENE* scene);
// The same, showing texture (which stays the caller's) at its size.
SPRITE2D* add_sprite_2d(SCENE_LAYER* layer, SCENE* scene, TEXTURE* texture);

// Start-of-process state: app_scene, current_scene, lighting_scene and
// ambient_scene null.
// Scenes are not deleted; their owners do that.
void scene_reset();
