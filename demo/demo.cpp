// The demonstration's set-up and frame.
#include "demo/demo.h"

bool demo_setup() { return true; }

void demo_frame() {}
