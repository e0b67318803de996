// 3D primitives: one plain colour, the material's emission at its
// transparency.
#include <common/material.glsl>

void main() {
    gl_FragColor = vec4(g_DatosMaterial.emission, g_DatosMaterial.transparency);
}
