// A preload library for the leak-checked runs of the sanitizer build: makes
// dlclose a no-op, so every shared object a process loads stays mapped until
// the process ends. Owns no state; relies only on the dynamic loader.
//
// SDL_Quit closes the X display at exit, and Mesa and libglvnd then unload
// the GL driver. The leak check runs after that: the driver's globals are no
// longer there to be scanned as roots, so memory the driver still holds shows
// up as leaks in "<unknown module>" that no suppression can name. With the
// driver kept mapped, its memory is reachable exactly as that of any library
// linked at start-up, while the engine's own allocations are checked as before.
extern "C" int dlclose(void*) {
    return 0;
}
