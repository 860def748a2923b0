// Re-estimation of the model parameters on the current tree: Newton-Raphson steps on the
// derivative pass's root sums, and the estimation point that keeps a result only when it
// does not lower the log-likelihood.
#pragma once

#include "engine/likelihood_constants.hpp"

// Newton-Raphson estimation of the parameters that the derivative set names: mu when it
// holds DERIV_MU1, Kprime when it holds DERIV_K1, both jointly when it holds both (then it
// must hold all five tables). At most 10 iterations run, each taking its step from the
// root sums of a derivative pass; it goes on while a step size exceeds min_step.
struct NewtonPlan {
    int which;
    double first_step;  // step size before the first iteration
    double min_step;
};
// Returns 0 when the estimates stand. Returns 1 when they were rejected (a value out of
// range at the end, or the last iteration's log-likelihood below `lnL_entry`, that of the
// current tree on entry): then the entry values are back. Either way the partials are left
// as the last derivative pass made them: every estimator runs inside settle_estimation,
// which recomputes them for the values that stand.
// With the settings line newton_guard, guarded Newton steps run instead (estimation.cpp).
int newton_estimate(const NewtonPlan& plan, double lnL_entry);

// An estimator moves the parameters on the current tree, whose log-likelihood is
// `lnL_entry`; it returns the log-likelihood at which a quasi-Newton fallback ran out of
// iterations (the best value of the search may rise to it), or -HUGE_VAL.
using Estimator = double (*)(double lnL_entry);

struct EstimationResult {
    double lnL;         // the current tree's log-likelihood under the parameters that stand
    double capped_lnL;  // what the estimator returned
};

// One estimation point of the run (after the burn-in, in the searches, between the sweeps
// of an optimisation): `estimate` moves the parameters on the current tree, and a result
// whose log-likelihood lies below `lnL_entry` is undone. Either way the partials are then
// recomputed for the parameters that stand, whose log-likelihood is returned.
EstimationResult settle_estimation(double lnL_entry, Estimator estimate);
// The estimation point of the searches: the program's estimate_in_search, settled.
EstimationResult estimation_point(double lnL_entry);
