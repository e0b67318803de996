// The scene's answer to a window whose drawable size changed (a resizable or
// high-DPI window): cameras that covered the whole window cover it again
// with the new proportions. Owns nothing; relies on the cameras of
// scene/camera.h and app_scene. The 2D pass reads the window's size each
// frame and needs nothing here.
#pragma once

#include <cstdint>

// Each camera (the default one and app_scene's) whose rectangle was the
// whole old_width x old_height window gets the window's new size and a
// projection rebuilt with its aspect. Cameras given a smaller rectangle by
// the application keep it.
void cameras_follow_window(int32_t old_width, int32_t old_height);
