// vexa-view's state and behaviour: the model on show (loaded, framed, lit,
// animated, replaced by a dropped file), the orbit camera and the keys and
// mouse that drive them. Owns the one VIEWER; relies on the importer
// (assets/model_import.h), the application scene and the input records.
#pragma once

#include "scene/uniforms.h"
#include "viewer/orbit.h"

#include <SDL.h>

#include <cstdint>
#include <string>

struct IMPORTED_MODEL;

struct VIEWER {
    IMPORTED_MODEL* model = nullptr; // on show in the scene's first layer; owned
    std::string path;                // of the model on show
    ORBIT framed;                    // the view R returns to
    ORBIT orbit;
    LIGHT key;  // directional, from the camera's upper left
    LIGHT fill; // point, from its lower right
    int32_t clip = 0;
    bool paused = false;
    bool cpu_skinning = false;       // asked for (--cpu-skinning, K)
    bool gpu_skinning_usable = true; // false when the skinned program did not build
    bool panel_open = false;         // the F1 panel (viewer/panel.h)
};

extern VIEWER viewer;

// The file name after the last '/'.
const char* file_name_of(const char* path);

// Application set-up: the scene, its camera and lights, the model programs
// (falling back to CPU skinning with one line when the skinned one did not
// build), then the model at viewer.path. False when the model did not load
// (the importer printed one line).
bool viewer_setup(void* user);

// Loads path and puts it on show in place of the current model, framed,
// lit, playing its first animation, and prints the summary line. On failure
// (the importer printed one line) the current model stays and it returns
// false.
bool viewer_load(const char* path);

// Plays clip (an index into the model's clips) from its start, paused or not
// as the viewer is.
void viewer_play_clip(int32_t clip);

// Per pass: the F1 panel, keys and mouse (each left alone while the panel
// uses it), then the camera, the lights and the scene's
// drawing.
void viewer_frame(void* user);

// A file dropped on the window replaces the model.
void viewer_event(const SDL_Event& event, void* user);

// Takes the model out of the scene and frees it (while the context exists).
void viewer_release();
