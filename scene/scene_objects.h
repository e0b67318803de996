// Start-up and test reset of the scene objects that exist before any scene:
// the default camera (which becomes the current camera) and the shared quad.
// Owns nothing itself; relies on scene/camera.h and scene/sprite.h.
#pragma once

// Engine start-up, after the model stack and the program set: creates the
// default camera, makes it current, and creates the shared quad. False (with
// one line on stderr) when the camera could not get its matrix stacks; the
// shared quad is created either way.
bool scene_objects_setup();

// Start-of-process state for tests: actor and TEXTURE counts zero, no default
// or current camera, no shared quad, no lighting scene, no open render
// texture, the text buffer and frame clock empty, every once-only line free
// to be said again. The shared quad's
// GL slots are forgotten, not released, so the handle tables may be reset
// before or after this.
void scene_objects_reset();
