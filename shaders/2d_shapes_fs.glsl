// 2D shapes: the vertex colour, its alpha blended by the 2D pass.
varying vec4 v_colour;

void main() {
    gl_FragColor = v_colour;
}
