// The estimation of a named model's parameters (exchange parameters, Gamma shape,
// invariable proportion, and clockml's rate scale) on the current tree.
#pragma once

// One parabolic step of every free parameter of mp.named (and of mu with `with_mu`) from the
// current tree, whose log-likelihood is `lnL_entry`: each parameter ends at the best of the
// points tried, never below where it started. The caller recomputes the partials. Returns
// -HUGE_VAL (no quasi-Newton fallback runs here).
double estimate_named_model(double lnL_entry, bool with_mu);
