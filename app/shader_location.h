// Where programs find the engine's GLSL files when they name no folder: the
// working directory's ./shaders first (the source tree), then a shaders
// folder beside the executable (files copied with the program), then the
// files installed with the program, <prefix>/bin/../share/vexa/shaders found
// from the executable's own folder (so an installed prefix works from any
// working directory and after it has been moved), and last the folder of the
// installed package a program was built against, which app/application.h
// notes before main. Relies on the platform layer's executable_directory.
#pragma once

#include <string>

// The installed shader folder beside the running executable, whether or not
// it exists (empty when the executable's folder is unknown).
std::string installed_shader_directory();
// <the executable's folder>/shaders, whether or not it exists (empty when
// the executable's folder is unknown).
std::string shaders_beside_executable();
// The package's shader folder noted by app_note_package_shaders (declared in
// app/application.h), or null when no file of the program noted one.
const char* package_shader_directory();
// The first of the folders above that exists; empty when none does.
std::string find_shader_directory();
