// What the light upload reads from a scene: its ambient colour and its light
// list. Owns the global `lighting_scene`, which points at the lighting part
// of the scene whose lights programs receive (null: no light data is sent).
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
