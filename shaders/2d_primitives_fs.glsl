// 2D primitives: the interpolated vertex colour.
void main() {
    gl_FragColor = gl_Color;
}
