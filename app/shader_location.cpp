// Shader folder lookup for installed programs (see shader_location.h).
#include "app/shader_location.h"

#include "app/platform.h"

#include <filesystem>
#include <system_error>

// The path from the installed programs' folder to the installed shaders,
// set by the build from its install layout (../share/vexa/shaders).
#ifndef VEXA_BIN_TO_SHADERS
#define VEXA_BIN_TO_SHADERS "../share/vexa/shaders"
#endif

std::string installed_shader_directory() {
    const std::string bin = executable_directory();
    return bin.empty() ? bin : bin + VEXA_BIN_TO_SHADERS;
}

std::string find_shader_directory() {
    std::error_code error; // an unreadable path counts as absent
    if (std::filesystem::is_directory("shaders", error)) {
        return "shaders";
    }
    const std::string installed = installed_shader_directory();
    if (installed.empty() || !std::filesystem::is_directory(installed, error)) {
        return std::string();
    }
    return installed;
}
