// Live shader editing: watches the shader folder in use and, between
// frames, rebuilds the programs whose files changed. Owns the folder watch;
// relies on the platform's folder watch and on shader/reload.h.
#pragma once

// Starts watching when the description asks for it (watch_shaders) or the
// environment has VEXA_WATCH_SHADERS=1; one line on stdout says which folder.
// A folder that cannot be watched: one line on stderr, and the program runs
// without.
void shader_watch_start(bool asked);
// Once per loop pass, before anything is drawn: rebuilds what changed since
// the last pass. Returns the number of programs replaced.
int shader_watch_step();
void shader_watch_stop();
