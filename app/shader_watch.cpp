// Live shader editing (see shader_watch.h).
#include "app/shader_watch.h"

#include "app/platform.h"
#include "shader/program.h"
#include "shader/reload.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
FOLDER_WATCH* shader_folder_watch = nullptr;
} // namespace

void shader_watch_start(bool asked) {
    const char* env = std::getenv("VEXA_WATCH_SHADERS");
    if (!asked && !(env && std::strcmp(env, "1") == 0)) {
        return;
    }
    shader_watch_stop();
    shader_folder_watch = folder_watch_start(shader_directory);
    if (!shader_folder_watch) {
        std::fprintf(stderr,
                     "vexa: cannot watch the shader folder \"%s\"; shaders are not "
                     "rebuilt when they change\n",
                     shader_directory ? shader_directory : "");
        return;
    }
    std::printf("vexa: watching \"%s\": changed shaders are rebuilt between frames\n",
                shader_directory);
}

int shader_watch_step() {
    if (!shader_folder_watch || !folder_watch_changed(shader_folder_watch)) {
        return 0;
    }
    return reload_changed_programs();
}

void shader_watch_stop() {
    folder_watch_stop(shader_folder_watch);
    shader_folder_watch = nullptr;
}
