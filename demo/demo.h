// The demonstration's entry points, called by the runtime: set-up once after
// the engine set-up, and the frame once per running loop pass.
#pragma once

bool demo_setup();
void demo_frame();
