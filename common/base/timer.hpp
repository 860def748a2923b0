// The processor-clock timer of the run report, and a wall clock.
#pragma once

// Starts (or restarts) the timer.
void start_timer();
// Starts the timer as if `seconds` of processor time had passed already (a resumed run).
void start_timer_at(double seconds);
// Processor time since the timer started, in seconds (to the millisecond).
double elapsed_seconds();
// A monotonic wall clock in seconds, for durations a user waits through.
double wall_seconds_now();
