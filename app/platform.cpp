// Linux platform layer (see platform.h).
#include "app/platform.h"

#include "app/input.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

bool raise_process_priority() {
    // The nearest thing to a "high" priority class: nice -10, which needs
    // privileges; without them the program runs at its normal priority.
    return setpriority(PRIO_PROCESS, 0, -10) == 0;
}

void attach_console_output() {
    if (fcntl(STDOUT_FILENO, F_GETFD) != -1) {
        return; // standard output already goes somewhere the user chose
    }
    if (access("/dev/tty", W_OK) == 0) {
        if (!std::freopen("/dev/tty", "w", stdout)) {
            return;
        }
    }
}

namespace {
extern "C" void on_quit_signal(int) {
    request_quit_from_signal();
}
} // namespace

void install_quit_signal_handlers() {
    struct sigaction action = {};
    action.sa_handler = on_quit_signal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}
