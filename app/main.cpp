// The program entry: start-up, the loop until Escape or the window closes, exit.
#include "app/runtime.h"

int main(int, char**) {
    return app_main();
}
