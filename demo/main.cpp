// vexa: the fractal demonstration handed to the engine's runtime, which
// opens the window and runs the loop until Escape or the window closes.
#include "app/application.h"
#include "demo/demo.h"

int main(int, char**) {
    return app_run(demo_application());
}
