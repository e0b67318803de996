// Where the engine's own programs (vexa, vexa-snapshot, vexa-view) find their
// GLSL files: ./shaders in the working directory first (the source tree), else
// the files installed with the program, <prefix>/bin/../share/vexa/shaders
// found from the executable's own folder, so an installed prefix works from
// any working directory and after it has been moved. Relies on the platform
// layer's executable_directory.
#pragma once

#include <string>

// The installed shader folder beside the running executable, whether or not
// it exists (empty when the executable's folder is unknown).
std::string installed_shader_directory();
// "shaders" when the working directory has that folder, else the installed
// folder when it exists; empty when neither does.
std::string find_shader_directory();
