#include "base/interrupt.hpp"

#include <unistd.h>

volatile sig_atomic_t interrupt_signal = 0;

namespace {

// Only a flag is set here; the annealing loop looks at it between proposals. A user who
// signals again does not want to wait for the reports.
extern "C" void on_interrupt(int sig) {
    if (interrupt_signal != 0) _exit(128 + sig);
    interrupt_signal = sig;
}

}  // namespace

void install_interrupt_handlers() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    // Restarted calls keep a report write from failing half-way with EINTR.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
