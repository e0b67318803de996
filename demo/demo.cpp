// The demonstration's set-up and frame.
#include "demo/demo.h"

bool demo_setup() { return true; }

void demo_frame() {}

const uint32_t* demo_picture(int* width, int* height) {
    *width = 0;
    *height = 0;
    return nullptr;
}
