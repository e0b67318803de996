// The viewer's panel in a build without Dear ImGui: it never opens.
#include "viewer/panel.h"

bool viewer_panel_start() {
    return false;
}

void viewer_panel_frame() {}

bool viewer_panel_wants_mouse() {
    return false;
}

bool viewer_panel_wants_keyboard() {
    return false;
}
