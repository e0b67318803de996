// 3D primitives: positions through the camera's matrices.
uniform mat4 ModelViewProjectionMatrix;

void main() {
    gl_Position = ModelViewProjectionMatrix * gl_Vertex;
}
