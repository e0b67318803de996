// Helpers an application builds 3D content with: a MODEL from vertex and
// index arrays (with further meshes and a skin), and the links that put
// lights, cameras, model actors, children and 3D sprites into a scene. Owns
// no globals; relies on scene/model.h, the vertex buffers (GL or the
// recording stand-in) and the scene's intrusive lists.
#pragma once

#include "gfx/vertex_buffer.h"

#include <cstdint>

#include "math/matrix.h"

struct CAMERA3D;
struct JOINT;
struct LIGHT;
struct MATERIAL;
struct MESH;
struct MODEL;
struct MODEL_ACTOR;
struct SCENE;
struct SCENE_LAYER;
struct SKIN;
struct SPRITE3D;

// A new MODEL whose vertex buffer holds the vertex_count vertices (uploaded,
// static) and, for a skinned model, whose source vertices hold the same bind
// pose for CPU skinning. No meshes yet. Null (one line on stderr) when the
// count is not 1 .. 65536.
MODEL* build_model(const VERTEX* vertices, int32_t vertex_count, bool skinned = false);

// Appends a mesh drawing index_count indices (whole triangles) with a new
// default MATERIAL, which the caller may adjust. Null (one line on stderr,
// the model unchanged) when the count is not a positive multiple of 3 or an
// index names a vertex the model does not have.
MESH* build_mesh(MODEL* model, const uint16_t* indices, int32_t index_count);

// A SKIN of joint_count joints (array allocated here, entries null) with an
// identity bind shape matrix; the caller fills the joints and adds roots
// with skin_add_root. Freed with destroy_skin, which frees the array, the
// root nodes and the skin but not the joints.
SKIN* build_skin(int32_t joint_count);
void skin_add_root(SKIN* skin, JOINT* joint);
void destroy_skin(SKIN* skin);

// Index, identity transforms (bind local, inverse bind, current and the
// normal matrix), not animated, no links.
void joint_init(JOINT* joint, int32_t index);

// Links child under parent (at the tail of its children).
void joint_add_child(JOINT* parent, JOINT* child);

// A light without a slot of its own choosing takes the lowest free one: a
// light whose slot is 0 (the default) while 0 is taken gets the next free
// slot. With every slot taken the light is not sent (its slot becomes
// MAX_LIGHTS) and one line on stderr says so; two lights that chose the same
// slot are reported once when their lights are sent.
// The list operations append at the tail and count the element. None of
// them take ownership; an actor must not already be in a list.
void scene_add_light(SCENE* scene, LIGHT* light);
void scene_add_camera(SCENE* scene, CAMERA3D* camera);
void layer_add_model_actor(SCENE_LAYER* layer, MODEL_ACTOR* actor);
void layer_add_sprite3d(SCENE_LAYER* layer, SPRITE3D* sprite);
void model_actor_add_child(MODEL_ACTOR* parent, MODEL_ACTOR* child);

// A new MODEL_ACTOR showing model, appended to layer. The actor and the
// model stay the caller's.
MODEL_ACTOR* add_model_actor(SCENE_LAYER* layer, MODEL* model);
// The ambient colour (each channel) add_light gives a scene whose ambient
// is still the unlit default (1, 1, 1) when its first light arrives.
constexpr float LIT_SCENE_AMBIENT = 0.2f;
// A new LIGHT of type (LIGHT_TYPE_POINT, _SPOT or _DIRECTIONAL) placed at
// position (its local matrix's translation) and aimed at target, added to
// scene with a free slot. The scene's first light also lowers an ambient
// still at (1, 1, 1), under which nothing could look shaded, to
// LIT_SCENE_AMBIENT; an ambient set before or after is kept.
LIGHT* add_light(SCENE* scene, int32_t type, const VECTOR3& position,
                 const VECTOR3& target = VECTOR3{0, 0, 0});
