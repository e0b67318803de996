// The scene and its passes (see scene.h). Owns app_scene and current_scene
// and points lighting_scene at the scene being drawn when it is lit (and
// ambient_scene at it in any case). Relies
// on the render-state and framebuffer caches for all GL state, the camera
// for viewport and 2D pass, and the model-actor walks and draw lists.
#include "scene/scene.h"

#include "gfx/frame_stats.h"
#include "gfx/render_state.h"
#include "gfx/report.h"
#include "math/matrix_stack.h"
#include "scene/camera.h"
#include "scene/model_actor.h"
#include "scene/render_texture.h"
#include "scene/shapes.h"
#include "scene/sprite.h"

#include <cstdio>

SCENE* app_scene = nullptr;
SCENE* current_scene = nullptr;

namespace {

// Colour the render-to-texture pass clears its target to.
constexpr float TARGET_CLEAR[4] = {1.0f, 0.5f, 0.25f, 0.0f};

void make_current(SCENE* scene) {
    current_scene = scene;
    ambient_scene = scene;
    if (scene->active_camera && scene->light_count > 0) {
        lighting_scene = scene;
    }
}

// The camera the scene draws with: its active camera, or else the current one.
CAMERA3D* drawing_camera(const SCENE* scene) {
    return scene->active_camera ? scene->active_camera : current_camera;
}

bool in_camera_list(const SCENE* scene, const CAMERA3D* camera) {
    for (const ACTOR* a = scene->cameras; a; a = a->next) {
        if (a == camera) {
            return true;
        }
    }
    return false;
}

void apply_viewport(const CAMERA_RECT& r) {
    set_viewport(r.x, r.y, r.width, r.height);
}

// The window's viewport rectangle: the open render texture's, the current
// camera's, or the cache's when there is no camera.
CAMERA_RECT window_rectangle() {
    if (open_render_texture) {
        return CAMERA_RECT{0, 0, open_render_texture->width, open_render_texture->height};
    }
    if (current_camera && current_camera->viewport) {
        return *current_camera->viewport;
    }
    return CAMERA_RECT{render_state.viewport_x, render_state.viewport_y,
                       render_state.viewport_width, render_state.viewport_height};
}

void set_window_rectangle(const CAMERA_RECT& r) {
    // While a render texture is open the camera keeps the window's rectangle.
    if (!open_render_texture && current_camera && current_camera->viewport) {
        *current_camera->viewport = r;
    }
    apply_viewport(r);
}

// Redirects drawing into the scene's target, cleared, with a viewport covering it.
void begin_target_pass(SCENE* scene) {
    scene_make_target(scene);
    framebuffer_bind(scene->target.framebuffer);
    set_clear_colour(TARGET_CLEAR[0], TARGET_CLEAR[1], TARGET_CLEAR[2], TARGET_CLEAR[3]);
    // glClear honours the depth mask.
    depth_writes_on();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ++frame_stats.clears;
    gl_check();
    set_window_rectangle(CAMERA_RECT{0, 0, SCENE_TARGET_SIZE, SCENE_TARGET_SIZE});
}

} // namespace

SCENE::SCENE() : SCENE(false) {}

SCENE::SCENE(bool create_target) {
    for (DRAW_LIST* list : {&opaque, &transparent, &spare_lists[0], &spare_lists[1]}) {
        draw_list_reserve(list, DRAW_LIST_INITIAL_CAPACITY);
    }
    frame_timer_create(render_timer);
    frame_timer_create(update_timer);
    matrix_identity(root);
    current_scene = this;
    if (create_target) {
        scene_make_target(this);
    }
}

SCENE::~SCENE() {
    delete target_texture; // a borrowed record of the target's texture
    frame_timer_destroy(render_timer);
    frame_timer_destroy(update_timer);
    if (current_scene == this) {
        current_scene = nullptr;
    }
    if (lighting_scene == this) {
        lighting_scene = nullptr;
    }
    if (ambient_scene == this) {
        ambient_scene = nullptr;
    }
    if (app_scene == this) {
        app_scene = nullptr;
    }
}

void update_scene() {
    update_scene(app_scene);
}

void update_scene(SCENE* s) {
    if (!s) {
        return;
    }
    frame_timer_begin(s->update_timer);
    for (ACTOR* a = s->cameras; a; a = a->next) {
        camera_update(static_cast<CAMERA3D*>(a));
    }
    CAMERA3D* camera = drawing_camera(s);
    if (!in_camera_list(s, camera)) {
        camera_refresh(camera);
    }
    if (s->cameras && s->active_camera) {
        current_camera = s->active_camera;
    }
    update_layer(&s->layer1, s);
    update_layer(&s->layer2, s);
    s->time = s->time + s->time_step;
    frame_timer_end(s->update_timer);
}

void update_layer(SCENE_LAYER* layer, SCENE* scene) {
    make_current(scene);
    for (ACTOR* a = layer->model_actors; a; a = a->next) {
        update_actor_tree(static_cast<MODEL_ACTOR*>(a), scene->time);
    }
}

void render_scene() {
    render_scene(app_scene);
}

void render_scene(SCENE* s) {
    if (!s) {
        return;
    }
    flush_shapes(); // shapes asked for before the scene are drawn before it
    make_current(s);
    frame_timer_begin(s->render_timer);
    if (s->active_camera) {
        current_camera = s->active_camera;
    }
    if (!camera_valid(current_camera)) {
        static ONCE_FLAG no_camera;
        report_once(no_camera, "vexa: the scene has no usable camera; nothing is drawn\n");
        frame_timer_end(s->render_timer);
        return;
    }
    if (s->light_count > 0 && !s->active_camera) {
        static ONCE_FLAG unlit;
        report_once(unlit, "vexa: a scene has lights but no active camera, so they are not "
                           "sent; set its active_camera\n");
    }
    // Moves made since the update (in the frame callback) take effect now.
    camera_refresh(current_camera);
    apply_viewport(window_rectangle());
    // Into a render texture the picture keeps its proportions: the frustum
    // takes the texture's aspect for this render only.
    MATRIX4& projection = *current_camera->projection_stack->top;
    const MATRIX4 window_projection = projection;
    if (open_render_texture) {
        const double aspect = double(open_render_texture->width) / open_render_texture->height;
        const CAMERA3D& c = *current_camera;
        matrix_frustum(projection, -aspect * c.top, aspect * c.top, c.bottom, c.top, c.near_plane,
                       c.far_plane);
    }

    int passes = s->render_to_texture ? 2 : 1;
    for (int pass = 0; pass < passes; ++pass) {
        bool into_target = s->render_to_texture;
        CAMERA_RECT saved = window_rectangle();
        if (into_target) {
            begin_target_pass(s);
        }
        render_layer(&s->layer1, s);
        render_layer(&s->layer2, s);
        if (into_target) {
            // Back to where the frame goes: the window, or the open render texture.
            if (open_render_texture) {
                framebuffer_bind(open_render_texture->target.framebuffer);
            } else {
                framebuffer_unbind();
            }
            set_window_rectangle(saved);
            s->render_to_texture = false;
        }
        // Only the first pass is measured: the second end finds the timer stopped.
        frame_timer_end(s->render_timer);
    }
    projection = window_projection;
}

void render_layer(SCENE_LAYER* layer, SCENE* scene) {
    if (model_stack) {
        matrix_stack_load(model_stack, scene->root);
    }
    for (ACTOR* a = layer->model_actors; a; a = a->next) {
        MODEL_ACTOR* actor = static_cast<MODEL_ACTOR*>(a);
        draw_actor_tree(actor, scene, 1.0f, actor->depth_mode, actor->cull_mode, actor->blend_mode);
    }
    for (ACTOR* a = layer->sprites3d; a; a = a->next) {
        enqueue_sprite3d(static_cast<SPRITE3D*>(a), scene);
    }
    sort_and_draw_lists(scene);

    begin_2d_pass();
    draw_sprite2d_list(layer->sprites2d);
    end_2d_pass();
    clear_draw_lists(scene);
}

SPRITE2D* add_sprite_2d(SCENE_LAYER* layer, SCENE* scene, TEXTURE* texture) {
    SPRITE2D* sprite = add_sprite_2d(layer, scene);
    sprite_set_texture(sprite, texture);
    return sprite;
}

void scene_make_target(SCENE* scene) {
    if (scene && !scene->target_made) {
        scene->target = render_target_create(SCENE_TARGET_SIZE, SCENE_TARGET_SIZE);
        scene->target_made = true;
    }
}

void clear_draw_lists(SCENE* scene) {
    draw_list_clear(&scene->opaque);
    draw_list_clear(&scene->transparent);
}

SPRITE2D* add_sprite_2d(SCENE_LAYER* layer, SCENE* scene) {
    SPRITE2D* sprite = new SPRITE2D(scene);
    if (!layer->sprites2d) {
        layer->sprites2d = sprite;
    } else {
        ACTOR* tail = layer->sprites2d;
        while (tail->next) {
            tail = tail->next;
        }
        tail->next = sprite;
    }
    ++layer->sprite2d_count;
    return sprite;
}

void scene_reset() {
    app_scene = nullptr;
    current_scene = nullptr;
    lighting_scene = nullptr;
    ambient_scene = nullptr;
}
