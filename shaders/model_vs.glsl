// Static model meshes, and meshes whose vertices the CPU has already
// deformed into the vertex buffer.
#include <common/model_vertex.glsl>

void main() {
    emit_model_vertex(gl_Vertex, gl_Normal);
}
