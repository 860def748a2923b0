// The processor-clock timer of the run report, in milliseconds.
#include "base/timer.hpp"

#include <ctime>

static long long timer_start_ms = 0;

static long long clock_ms() {
    return static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
}

void start_timer() { timer_start_ms = clock_ms(); }

void start_timer_at(double seconds) {
    timer_start_ms = clock_ms() - static_cast<long long>(seconds * 1000.0 + 0.5);
}

double elapsed_seconds() { return (clock_ms() - timer_start_ms) / 1000.0; }

double wall_seconds_now() {
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}
