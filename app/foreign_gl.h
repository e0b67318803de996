// GL drawn behind the engine's back (a user-interface library such as Dear
// ImGui, a program's own GL calls) and what the engine does afterwards so
// that its caches of GL state skip nothing it needs. Owns nothing; relies on
// the caches of gfx/ and the current program of shader/.
#pragma once

// Every cache of GL state the engine keeps becomes unknown: the render-state
// cache (blending, culling, depth test and writes, front face, viewport,
// scissor box, clear colour), the texture and buffer bind caches, the bound
// framebuffer and the current program. The next request of each reaches GL,
// whatever the foreign code left behind. No GL call is made.
void forget_engine_gl_state();
