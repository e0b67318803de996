// Shader folder lookup (see shader_location.h).
#include "app/shader_location.h"

#include "app/application.h"
#include "app/platform.h"

#include <filesystem>
#include <system_error>

// The path from the installed programs' folder to the installed shaders,
// set by the build from its install layout (../share/vexa/shaders).
#ifndef VEXA_BIN_TO_SHADERS
#define VEXA_BIN_TO_SHADERS "../share/vexa/shaders"
#endif

namespace {

// Set before main by programs built against the package; constant-initialised,
// so no order of static initialisation can lose the note.
const char* noted_package_shaders = nullptr;

} // namespace

void app_note_package_shaders(const char* directory) {
    noted_package_shaders = directory;
}

const char* package_shader_directory() {
    return noted_package_shaders;
}

std::string installed_shader_directory() {
    const std::string bin = executable_directory();
    return bin.empty() ? bin : bin + VEXA_BIN_TO_SHADERS;
}

std::string shaders_beside_executable() {
    const std::string bin = executable_directory();
    return bin.empty() ? bin : bin + "shaders";
}

std::string find_shader_directory() {
    const std::string candidates[] = {"shaders", shaders_beside_executable(),
                                      installed_shader_directory(),
                                      noted_package_shaders ? noted_package_shaders : ""};
    for (const std::string& candidate : candidates) {
        std::error_code error; // an unreadable path counts as absent
        if (!candidate.empty() && std::filesystem::is_directory(candidate, error)) {
            return candidate;
        }
    }
    return std::string();
}
