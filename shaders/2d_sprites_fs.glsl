// 2D sprite: the picture bound to texture unit 0 times the sprite's tint, its
// alpha carried through so the 2D pass's alpha blending shows its
// transparency.
uniform sampler2D shader_texture_ids[NUMERO_MAXIMO_TEXTURAS_POR_MATERIAL];
// 1 - the tint: the starting 0 is white, so untinted sprites send nothing.
uniform vec4 colour_complement;

varying vec2 v_texcoord0;

void main() {
    gl_FragColor = texture2D(shader_texture_ids[0], v_texcoord0) * (vec4(1.0) - colour_complement);
}
