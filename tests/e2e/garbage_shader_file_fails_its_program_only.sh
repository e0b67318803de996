# A stage file of binary garbage (every byte value, NUL included): its compile
# fails with one line on stderr naming the file, the other programs build,
# the loop runs its passes and the program ends with 0.
. "$(dirname "$0")/lib.sh"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
private_shaders "$dir" || exit 1
# 4 KiB: 255 non-NUL byte values first (the text ends at the first NUL),
# then every value 0..255 repeated.
LC_ALL=C awk 'BEGIN { for (i = 1; i < 256; i++) printf "%c", i;
                      for (i = 0; i < 3841; i++) printf "%c", i % 256 }' \
    > "$dir/shaders/2d_sprites_fs.glsl"
[ "$(wc -c < "$dir/shaders/2d_sprites_fs.glsl")" -eq 4096 ] || { echo "garbage not written" >&2; exit 1; }
run_frames "$1" "$dir" 30 "$dir/err" || exit 1
expect_lines "$dir/err" 1 '^vexa: shader compile failed: shaders/2d_sprites_fs\.glsl: ' || exit 1
echo "garbage file reported in one line, 30 passes run, status 0"
