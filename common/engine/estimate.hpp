// Derivatives of the likelihood by mu and Kprime, carried up the tree with the partials,
// their root sums, and the Newton-Raphson machinery of the parameter estimators.
#pragma once

#include "engine/likelihood_constants.hpp"
#include "base/state.hpp"

struct RootSums {
    double lnL = 0, S_mu = 0, S_K = 0, H_mumu = 0, H_KK = 0, H_muK = 0;
};

// One post-order pass over the current tree at the current parameters: recomputes pppLik
// and the derivative tables named in `which`, and returns the weighted root sums. A second
// derivative needs its first derivatives, so those tables are filled as well.
RootSums derivative_pass(int which);

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
// range at the end, or the last iteration's log-likelihood below ann.lnL_cur): then the
// entry values are back and the partials recomputed for them. On acceptance the partials
// belong to the values of the last iteration, not to the final ones.
int newton_estimate(const NewtonPlan& plan);

// One estimation point of the run (after the burn-in, in the searches, between the sweeps
// of an optimisation): `estimate` moves the parameters on the current tree, and a result
// whose log-likelihood lies below ann.lnL_cur is undone. Either way the partials are then
// recomputed and ann.lnL_cur is the log-likelihood of the current tree under the
// parameters that stand.
void settle_estimation(void (*estimate)());
// The estimation point of the searches: the program's estimate_in_search, settled.
void estimation_point();
