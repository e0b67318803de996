#!/bin/sh
# The engine as another project sees it: installs a build into a temporary
# prefix and moves the prefix elsewhere, then
# - configures examples/ on its own against it (find_package(vexa) with the
#   component assets; each example made by vexa_add_application), builds it
#   and runs every example 300 frames from an unrelated working directory
#   (vexa-sprite copied elsewhere with what the build put beside it); they
#   find the shaders, pictures and models beside themselves, those on the
#   engine alone hold no path of the package, and each checks its own last
#   frame;
# - compiles the README's import snippet as written against the package;
# - builds a program on the component imgui (COMPONENTS imgui) when the
#   build has it, and checks the one-line reason when it is asked for
#   without being installed;
# - builds a program that calls save_screenshot and checks its picture;
# - runs the installed vexa-view and vexa-snapshot from that directory: they
#   find the shaders beside their executables; with the shaders gone the
#   viewer ends with one line and status 1.
# Needs a display (run it under scripts/with-display.sh).
# Usage: sh scripts/test-package.sh [build directory (build/ci)]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/ci}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/moved

cmake --install "$build" --prefix "$scratch/installed" >/dev/null
mv "$scratch/installed" "$prefix"
cmake -S "$root/examples" -B "$scratch/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/build" >/dev/null
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
"$scratch/build/vexa-cube" --frames 300
# The other examples check their last frame (examples/example_check.cpp);
# model and sprite show the package's files the build put beside them, so
# they run from any folder, and a copy moved with its file still runs.
VEXA_CHECK=model "$scratch/build/vexa-model"
mkdir "$scratch/copied"
cp -r "$scratch/build/vexa-sprite" "$scratch/build/screenshot.png" "$scratch/build/shaders" \
    "$scratch/copied/"
# (vexa::assets names its decoder program by the package's path.)
for program in "$scratch"/build/vexa-cube "$scratch"/build/vexa-lights "$scratch"/build/vexa-shapes; do
    if [ "$(grep -c "$prefix" "$program")" != 0 ]; then
        echo "$program holds the path of the package it was built on" >&2
        exit 1
    fi
done
VEXA_CHECK=sprite VEXA_CHECK_HOLD=Right "$scratch/copied/vexa-sprite"
VEXA_CHECK=lights "$scratch/build/vexa-lights"
VEXA_CHECK=shapes "$scratch/build/vexa-shapes"
echo "package: every example built against the moved package ran and checked its last frame"

# The README's import snippet: the cpp block after the marker line.
mkdir "$scratch/snippet"
awk '/^<!-- import snippet/ { on = 1; next } on && /^```cpp/ { copy = 1; next }
     copy && /^```/ { exit } copy' "$root/README.md" > "$scratch/snippet/main.cpp"
[ -s "$scratch/snippet/main.cpp" ] || { echo "no import snippet in README.md" >&2; exit 1; }
cat > "$scratch/snippet/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(snippet LANGUAGES CXX)
find_package(vexa CONFIG REQUIRED COMPONENTS assets)
add_library(snippet OBJECT main.cpp)
target_link_libraries(snippet PRIVATE vexa::assets vexa::engine)
EOF
cmake -S "$scratch/snippet" -B "$scratch/snippet/build" -G Ninja \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/snippet/build" >/dev/null
echo "package: the README's import snippet compiles against the package"

# The component imgui: configured, compiled and linked by an outside project.
mkdir "$scratch/imgui"
cat > "$scratch/imgui/main.cpp" <<'EOF'
#include "app/vexa.h"
#include "imgui/vexa_imgui.h"
#include <imgui.h>
bool setup(void*) { return imgui_start(); }
void frame(void*) {
    render_scene();
    ImGui::Begin("stats");
    ImGui::Text("%.1f fps", frame_rate());
    ImGui::End();
}
int main() {
    APPLICATION app;
    app.setup = setup;
    app.frame = frame;
    return app_run(app);
}
EOF
cat > "$scratch/imgui/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(imgui_user LANGUAGES CXX)
find_package(vexa CONFIG REQUIRED COMPONENTS imgui)
add_executable(imgui_user main.cpp)
target_link_libraries(imgui_user PRIVATE vexa::imgui vexa::engine)
EOF
imgui_targets=$(find "$prefix" -name vexa_imguiTargets.cmake | head -n 1)
if [ -n "$imgui_targets" ]; then
    cmake -S "$scratch/imgui" -B "$scratch/imgui/build" -G Ninja \
        -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    cmake --build "$scratch/imgui/build" >/dev/null
    [ -x "$scratch/imgui/build/imgui_user" ]
    echo "package: a program on COMPONENTS imgui configures and links"
    mv "$imgui_targets" "$imgui_targets.gone"
fi
# Without the component's files: configuring stops with the one-line reason.
status=0
cmake -S "$scratch/imgui" -B "$scratch/imgui/none" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    > "$scratch/imgui/none.log" 2>&1 || status=$?
if [ -n "$imgui_targets" ]; then
    mv "$imgui_targets.gone" "$imgui_targets"
fi
reason="the component imgui was not built with this package"
if [ $status -eq 0 ] || [ "$(grep -c "$reason" "$scratch/imgui/none.log")" -ne 1 ]; then
    echo "COMPONENTS imgui without the component: status $status, expected its reason:" >&2
    cat "$scratch/imgui/none.log" >&2
    exit 1
fi
echo "package: COMPONENTS imgui where it was not built stops with one line"

# save_screenshot from a program of its own: the third frame, as presented.
mkdir "$scratch/shot"
cat > "$scratch/shot/main.cpp" <<'EOF'
#include "app/vexa.h"
namespace {
int frames = 0;
void frame(void*) {
    if (++frames == 3) {
        app_quit = save_screenshot("shot.png");
    }
}
} // namespace
int main() {
    APPLICATION app;
    app.frame = frame;
    return app_run(app);
}
EOF
cat > "$scratch/shot/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(shot LANGUAGES CXX)
find_package(vexa CONFIG REQUIRED)
add_executable(shot main.cpp)
target_link_libraries(shot PRIVATE vexa::engine)
EOF
cmake -S "$scratch/shot" -B "$scratch/shot/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$scratch/shot/build" >/dev/null
"$scratch/shot/build/shot"
# 1024 x 600, the default window: the width and height fields of the header.
[ "$(od -An -tx1 -j16 -N8 shot.png | tr -d ' \n')" = "0000040000000258" ] ||
    { echo "save_screenshot wrote no 1024 x 600 picture" >&2; exit 1; }
echo "package: save_screenshot writes the window from a program built on the package"

# The installed programs, run from a folder without shaders/.
"$prefix/bin/vexa-snapshot" --frames 5 2> err
if grep -q shader err; then
    cat err >&2
    echo "vexa-snapshot did not find its shaders" >&2
    exit 1
fi
model=$root/docs/models/bending_tube.gltf
"$prefix/bin/vexa-view" --frames 5 --window view.png "$model" >/dev/null
[ -s view.png ]
mv "$prefix/share/vexa/shaders" "$prefix/share/vexa/gone"
status=0
"$prefix/bin/vexa-view" --frames 5 "$model" >/dev/null 2>err || status=$?
if [ $status -ne 1 ] || [ "$(wc -l < err)" -ne 1 ] || ! grep -q "no shader folder" err; then
    echo "vexa-view without shaders: status $status, expected 1 with one line:" >&2
    cat err >&2
    exit 1
fi
echo "package: the moved vexa-view and vexa-snapshot find their shaders; without them one line"
