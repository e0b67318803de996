// What the light upload reads from a scene: its ambient colour and its light
// list. Owns the globals `lighting_scene`, which points at the lighting part
// of the scene whose lights programs receive (null: no light is sent), and
// `ambient_scene`, the scene whose ambient colour they receive.
// Relies on LIGHT from scene/uniforms.h.
#pragma once

#include <cstdint>

struct LIGHT;

// A scene embeds one of these; the scene code points lighting_scene at it.
struct SCENE_LIGHTING {
    float ambient[3] = {1, 1, 1}; // "g_LightModel.ambient"
    LIGHT* lights = nullptr;      // head of the list, linked through ACTOR::next; not owned
    int32_t light_count = 0;      // informational
};

extern SCENE_LIGHTING* lighting_scene;
// The lighting part of the scene being updated or drawn, lit or not: its
// ambient colour is what programs receive, so a model in a scene without
// lights shows its textures at the scene's ambient instead of black. Null:
// lighting_scene's ambient colour is sent.
extern SCENE_LIGHTING* ambient_scene;
