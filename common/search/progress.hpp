// A live status line of the search on standard error, rewritten in place while standard
// error is a terminal; nothing at all is written when it is redirected. Standard output
// and the reports never see it.
#pragma once

#include <cstddef>

enum ProgressPhase { kPhaseBurnin, kPhaseFirstSearch, kPhaseOptimisation, kPhaseSecondSearch, kPhaseDone };

// Starts the clock of the line and decides, once, whether standard error is a terminal.
void progress_start();
// Clears the line and moves to a new phase; the next tick draws at once.
void progress_phase(ProgressPhase phase);
// Once per iteration; looks at the clock only every 16 calls and redraws at most five
// times a second.
void progress_tick();
// Draws the line now (a phase without iterations, such as the optimisation).
void progress_show();
// The optimisation has reached archived tree `index` of `total`; redraws at most five
// times a second.
void progress_optimisation(int index, int total);
// Redraws if the last drawing is older than a fifth of a second (work between iterations).
void progress_refresh();
// Clears the line so that a console note can follow on a clean row.
void progress_clear();
// Draws the final state and ends the line with a newline.
void progress_finish();

// The text of one status line (without the leading "\r" and the clearing), cut to at
// most `width` - 1 characters when width > 1. Returns the length written. With a nonzero
// `of_total` the optimisation shows "tree <iteration> of <of_total>" in place of the
// iteration and the temperature.
size_t progress_format(char* buf, size_t size, ProgressPhase phase, int iteration, double lnL_cur,
                       double lnL_best, double temperature, int archived, double seconds,
                       int width, int of_total = 0);
