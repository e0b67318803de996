// vexa-view's panel, shown and hidden with F1: the model's node tree, its
// clips with a time slider, the lights and a frame-time graph, drawn with
// Dear ImGui over the model (vexa::imgui). A build without Dear ImGui has a
// panel that never opens (panel_none.cpp). Owns the panel's frame-time
// history; reads and changes the VIEWER.
#pragma once

// Starts ImGui for the panel (set-up). False, after one line, when it could
// not start: the viewer runs on without a panel.
bool viewer_panel_start();
// Per pass, inside the frame callback: F1 toggles the panel; while open it
// is built for this pass (and drawn over the scene after the callback).
void viewer_panel_frame();
// The panel uses the mouse or the keyboard this pass: the orbit and the
// viewer's keys leave them alone.
bool viewer_panel_wants_mouse();
bool viewer_panel_wants_keyboard();
