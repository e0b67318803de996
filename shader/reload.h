// Rebuilding the engine's programs from their GLSL files while the program
// runs (live shader editing). Owns the record of the last failed text of
// each program slot, so a broken file is reported once; relies on the file
// cache and the stage assembly of shader/source.h and on build_program.
#pragma once

#include <cstdint>

// Reads the shader files again and rebuilds every built program (the fixed
// set and the model programs) whose assembled stage text (its files and
// everything they include) changed. A rebuild that compiles and links takes
// the old program's place at the same address, the old GL objects deleted;
// one that fails keeps the old program, and the compiler's or linker's
// message is printed once for that text. Call between frames, with the GL
// context current. Returns the number of programs replaced.
int reload_changed_programs();

// Counts the programs replaced since start-up: a cache keyed on a program's
// address that holds values sent to it (a new program starts with every
// uniform at 0) compares it to know that it must send them again.
extern uint32_t shader_program_generation;
