// Interruption of a long search by SIGINT or SIGTERM: the first signal asks the search
// to stop after the proposal in hand so that the reports can still be written; a second
// one ends the process at once.
#pragma once

#include <csignal>

// The number of the first signal received, 0 while none has come.
extern volatile sig_atomic_t interrupt_signal;

// Installs the handler for SIGINT and SIGTERM.
void install_interrupt_handlers();
// Whether a signal has asked the search to stop.
inline bool search_interrupted() { return interrupt_signal != 0; }
// The exit status of a run ended by the signal: 128 plus its number.
inline int interrupted_exit_status() { return 128 + interrupt_signal; }
