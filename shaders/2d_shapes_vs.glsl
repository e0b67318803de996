// 2D shapes: positions in window pixels through the 2D pass's matrices; each
// vertex carries its colour in the normal (red, green, blue) and in texture
// coordinate 0's s (alpha), the slots every GL dialect feeds.
uniform mat4 ModelViewProjectionMatrix;

varying vec4 v_colour;

void main() {
    v_colour = vec4(gl_Normal, gl_MultiTexCoord0.x);
    gl_Position = ModelViewProjectionMatrix * gl_Vertex;
}
