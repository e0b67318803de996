// 2D sprite: screen-space quad from the 2D pass's matrices, picture
// coordinates from texture coordinate set 0.
uniform mat4 ModelViewProjectionMatrix;

varying vec2 v_texcoord0;

void main() {
    v_texcoord0 = gl_MultiTexCoord0.xy;
    gl_Position = ModelViewProjectionMatrix * gl_Vertex;
}
