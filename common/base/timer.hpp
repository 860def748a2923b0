// The processor-clock timer of the run report.
#pragma once

// Starts (or restarts) the timer.
void start_timer();
// Processor time since the timer started, in seconds (to the millisecond).
double elapsed_seconds();
