// Screenshots of the program's own window: the frame as it is presented,
// read back from the GL back buffer just before the swap and written as a
// PNG file. Owns the pending requests; relies on the runtime's
// before-present hook and the window's drawable size.
#pragma once

#include <cstdint>
#include <vector>

// Asks for the frame being drawn to be written to path (a PNG file) once it
// is complete, just before it is presented: call it from the frame callback
// (or the update) of the frame to keep. The picture is opaque, in drawable
// pixels. False (one line on stderr) when there is no window or no path; a
// file that cannot be written is reported in one line when the frame is
// presented. Several calls in one frame each get the same picture.
bool save_screenshot(const char* path);

// Reads the current GL read buffer (the back buffer on desktop GL) over the
// window's drawable size into rows, first row at the top, 4 bytes a pixel.
// Sets width and height; false when there is no window.
bool read_window_rows(std::vector<uint8_t>& rows, int& width, int& height);

// Writes the pending screenshots; the runtime calls it before each present
// (screenshot_present_hook) once one has been asked for.
void screenshots_before_present();
