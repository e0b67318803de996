// Program switches and the per-draw uniform upload into the current shader
// program: use_program (which sends the lights on each switch), the matrices
// and camera position (upload_matrices), the scene's ambient colour and
// lights (upload_lights) and a GPU-skinned mesh's joint matrices
// (upload_joint_matrices). Defines LIGHT. Owns no state besides each
// program's camera_dirty flag, which it clears; relies on shader/program.h
// for the cached locations, scene/camera.h for the camera and
// scene/lighting.h for the lit scene. It sits in the scene because every
// upload reads scene types; the shader layer below knows none of them.
#pragma once

#include "scene/actor.h"

#include <cstdint>

struct SHADER_PROGRAM;
struct SKIN;

// A light's position is the translation of its local matrix (elements 12,
// 13, 14); lights are chained through ACTOR::next in the scene's light list.
struct LIGHT : ACTOR {
    int32_t type = 0;               // LIGHT_TYPE_NONE, _POINT, _SPOT or _DIRECTIONAL
    VECTOR3 target{0, 0, 0};        // point the light aims at, same space as the position
    float colour[4] = {1, 1, 1, 1}; // red, green, blue; the fourth is not sent
    float intensity = 1.0f;         // multiplies the colour
    float attenuation_start = 0.0f;
    float attenuation_end = 0.0f;
    float hotspot_beam = 0.0f; // sent halved
    float falloff = 0.0f;      // sent halved
    int32_t slot = 0;          // element of the shader light array, 0 .. MAX_LIGHTS - 1
};

// Makes program current (no GL call when it already is) and sends it the
// scene's lights.
void use_program(SHADER_PROGRAM* program);

// Sends MVP, world and normal matrices for the model stack's top under
// current_camera; the camera position and projection only while the
// program's camera_dirty flag is set (first draw after each switch).
void upload_matrices(SHADER_PROGRAM* program);

// Sends the ambient colour of the scene being drawn (ambient_scene, else the
// lighting scene's) and the lighting scene's lights to program; called by
// use_program right after each program switch. Slots no light filled get
// type LIGHT_TYPE_NONE.
void upload_lights(SHADER_PROGRAM* program);

// Sends the skin's bind shape matrix and, for joints with index below
// MAX_JOINTS, their current transform and inverse bind matrix, through the
// name cache of program_skinned_model. False (one line on stderr, once) when
// a joint is reached twice or the hierarchy is deeper than the model stack:
// the caller then draws nothing with the skin.
bool upload_joint_matrices(SKIN* skin);

struct ONCE_FLAG;
// Said once when a light is not sent because its slot lies outside 0 ..
// MAX_LIGHTS - 1 (also by scene_add_light for a light that finds no slot).
extern ONCE_FLAG light_slot_outside;
