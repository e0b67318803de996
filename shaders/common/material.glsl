// The material block the draw code fills through "g_DatosMaterial.<member>".
// Both stages of a program may include it; the guard keeps one definition.
#ifndef VEXA_MATERIAL_GLSL
#define VEXA_MATERIAL_GLSL

struct DATOS_MATERIAL {
    vec3 specular;
    vec3 emission;
    float transparency;
    int numTextures;
    vec2 offset_animacion0;
    vec2 offset_animacion1;
};

uniform DATOS_MATERIAL g_DatosMaterial;

#endif
