// 2D primitives: positions through the 2D pass's matrices, the vertex colour
// passed on unchanged.
uniform mat4 ModelViewProjectionMatrix;

void main() {
    gl_FrontColor = gl_Color;
    gl_Position = ModelViewProjectionMatrix * gl_Vertex;
}
