// Camera-facing 3D sprite: the same vertex work as a static model mesh (world
// position and normal for lighting, texture coordinates shifted by the
// material's animation offsets).
#include <common/model_vertex.glsl>

void main() {
    emit_model_vertex(gl_Vertex, gl_Normal);
}
