// The estimation of a named model's parameters (exchange parameters, Gamma shape,
// invariable proportion, and clockml's rate scale) on the current tree.
#pragma once

// Parabolic steps of every free parameter of mp.named and of the overall rate (clockml's mu
// with `with_mu`, else a common factor on the current tree's branch lengths) from the current
// tree, whose log-likelihood is `lnL_entry`, round after round (see set_estimation_rounds)
// while a round gains more than 0.01: each parameter ends at the best of the points tried,
// never below where it started.
// The caller recomputes the partials. Returns -HUGE_VAL (no quasi-Newton fallback runs here).
double estimate_named_model(double lnL_entry, bool with_mu);
// The most rounds an estimation takes: 1 during the searches (they come back often), 0 while
// the archived trees are optimised, more to finish the best tree.
void set_estimation_rounds(int rounds);
