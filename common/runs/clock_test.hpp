// The likelihood-ratio test of a molecular clock (clockml --clock-test): the best clock
// tree and the best unrooted tree of the folder's alignment, each found by its own program
// in a subfolder with the same model and seeds, compared by 2 (lnL_free - lnL_clock)
// against a chi-square with n - 2 degrees of freedom.
#pragma once

#include <string>

// Runs both searches (clock-test/clock with clockml, clock-test/free with freeml, found
// beside this program), writes "clocktest" here and prints it. `model` (--model) and
// `threads` (0: each run's own choice) go to both runs. Returns 0, 1 after an error, 128 + signal when interrupted.
int run_clock_test(const std::string& model, int threads);
// The chi-square tail probability P(X >= statistic) for `df` degrees of freedom.
double chi_square_p_value(double statistic, int df);
