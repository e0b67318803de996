// The engine limits the shaders are compiled against. The injected shader
// header prints these same numbers, so the C++ side and the GLSL side can
// never disagree. Owns no state; relies on nothing.
#pragma once

constexpr int MAX_JOINT_INFLUENCES = 4;  // joint influences per vertex
constexpr int MAX_JOINTS = 40;           // joints per skeleton
constexpr int MAX_LIGHTS = 5;            // slots of the shader light array
constexpr int MAX_MATERIAL_TEXTURES = 2; // texture units a material uses
constexpr int TEXTURE_ANIMATION_ACTIVE = 1;

// Light type codes as the shaders see them (directional is 3, not 1).
constexpr int LIGHT_TYPE_NONE = 0;
constexpr int LIGHT_TYPE_POINT = 1;
constexpr int LIGHT_TYPE_SPOT = 2;
constexpr int LIGHT_TYPE_DIRECTIONAL = 3;
