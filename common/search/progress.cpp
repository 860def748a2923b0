// The status line reads the annealing state and the archive; it changes nothing, so a run
// on a terminal computes exactly what a redirected run computes.
#include "search/progress.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/state.hpp"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
constexpr unsigned kTicksPerClockLook = 16;

struct ProgressState {
    bool on = false;            // standard error is a terminal
    bool shown = false;         // a line is on the screen (not yet cleared or ended)
    bool draw_next = false;     // the next look at the clock draws whatever the time
    ProgressPhase phase = kPhaseBurnin;
    unsigned ticks = 0;
    int width = 0;              // terminal columns, 0 when unknown
    int opt_index = 0, opt_total = 0;  // archived tree in hand during an optimisation
    Clock::time_point start, last_draw;
};
ProgressState ps;

const char* phase_name(ProgressPhase phase) {
    switch (phase) {
        case kPhaseBurnin: return "burn-in";
        case kPhaseFirstSearch: return "first search";
        case kPhaseOptimisation: return "optimisation";
        case kPhaseSecondSearch: return "second search";
        case kPhaseDone: return "done";
    }
    return "";
}

// Writes everything or gives up quietly: a status line is never worth stopping a run.
void put(const char* text, size_t len) {
    while (len > 0) {
        const ssize_t w = write(STDERR_FILENO, text, len);
        if (w <= 0) return;
        text += w;
        len -= static_cast<size_t>(w);
    }
}

void draw(Clock::time_point now) {
    char line[512];
    line[0] = '\r';
    const double seconds = std::chrono::duration<double>(now - ps.start).count();
    const bool optimising = ps.phase == kPhaseOptimisation && ps.opt_total > 0;
    size_t len = 1 + progress_format(line + 1, sizeof line - 8, ps.phase,
                                     optimising ? ps.opt_index : ann.anneal_iter, ann.lnL_cur,
                                     ann.lnL_best, ann.ci, archive.archive_count, seconds,
                                     ps.width, optimising ? ps.opt_total : 0);
    std::memcpy(line + len, "\033[K", 3);
    len += 3;
    put(line, len);
    ps.shown = true;
    ps.last_draw = now;
    ps.draw_next = false;
}

}  // namespace

size_t progress_format(char* buf, size_t size, ProgressPhase phase, int iteration, double lnL_cur,
                       double lnL_best, double temperature, int archived, double seconds,
                       int width, int of_total) {
    if (size == 0) return 0;
    const long total = seconds > 0 ? static_cast<long>(seconds) : 0;
    int len;
    if (of_total > 0)
        len = snprintf(buf, size, "%s tree %d of %d lnL %.2f best %.2f trees %d %ld:%02ld:%02ld",
                       phase_name(phase), iteration, of_total, lnL_cur, lnL_best, archived,
                       total / 3600, total / 60 % 60, total % 60);
    else
        len = snprintf(buf, size, "%s iter %d lnL %.2f best %.2f T %.3g trees %d %ld:%02ld:%02ld",
                       phase_name(phase), iteration, lnL_cur, lnL_best, temperature, archived,
                       total / 3600, total / 60 % 60, total % 60);
    if (len < 0) len = 0;
    size_t n = static_cast<size_t>(len) < size ? static_cast<size_t>(len) : size - 1;
    // A line as wide as the terminal would wrap, and "\r" only returns to the start of
    // the last row: keep it one column short.
    if (width > 1 && n > static_cast<size_t>(width - 1)) {
        n = static_cast<size_t>(width - 1);
        buf[n] = '\0';
    }
    return n;
}

void progress_start() {
    ps = ProgressState{};
    ps.on = isatty(STDERR_FILENO) == 1;
    if (!ps.on) return;
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0) ps.width = ws.ws_col;
    ps.start = ps.last_draw = Clock::now();
    ps.draw_next = true;
}

void progress_phase(ProgressPhase phase) {
    if (!ps.on) return;
    progress_clear();
    ps.phase = phase;
    ps.opt_index = ps.opt_total = 0;
    ps.draw_next = true;
    ps.ticks = 0;
}

void progress_tick() {
    if (!ps.on) return;
    if (++ps.ticks % kTicksPerClockLook != 0) return;
    const Clock::time_point now = Clock::now();
    if (ps.draw_next || now - ps.last_draw >= kRedrawInterval) draw(now);
}

void progress_optimisation(int index, int total) {
    if (!ps.on) return;
    ps.opt_index = index;
    ps.opt_total = total;
    const Clock::time_point now = Clock::now();
    if (ps.draw_next || index == 1 || now - ps.last_draw >= kRedrawInterval) draw(now);
}

void progress_refresh() {
    if (!ps.on) return;
    const Clock::time_point now = Clock::now();
    if (ps.draw_next || now - ps.last_draw >= kRedrawInterval) draw(now);
}

void progress_show() {
    if (ps.on) draw(Clock::now());
}

void progress_clear() {
    if (!ps.on || !ps.shown) return;
    put("\r\033[K", 4);
    ps.shown = false;
}

void progress_finish() {
    if (!ps.on) return;
    ps.phase = kPhaseDone;
    draw(Clock::now());
    put("\n", 1);
    ps.shown = false;
    ps.on = false;
}
