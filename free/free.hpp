// freeml's own routines.
#pragma once

#include "base/state.hpp"

// Longest branch a move proposes or the optimisation leaves, in expected substitutions per
// site: beyond it the likelihood no longer depends on the length (saturation, or a sequence
// of unknown states), and an unbounded length makes the tree useless to draw.
constexpr double kMaxBranchLength = 100.0;
// Shortest branch a move proposes. The gamma multipliers have mean 1 but a negative mean
// logarithm, so without a floor every branch the likelihood barely constrains drifts to
// zero (1e-100 and below) during a search, where swaps around it change nothing and it needs
// hundreds of accepted moves to grow back. The final optimisation still resolves shorter
// branches, down to its own floor of 1e-6.
constexpr double kMinProposedLength = 1e-3;

// Kprime by Newton-Raphson from the current tree (log-likelihood lnL_entry); 1 when the
// estimate was rejected and the entry Kprime is back.
int estimate_kprime(double lnL_entry);
// Kprime by Newton-Raphson, with the quasi-Newton fallback, when the run estimates it (under
// a named model, its parameters by Brent's method); returns the fallback's capped
// log-likelihood (see qn_estimate), or -HUGE_VAL.
double reestimate_kprime(double lnL_entry);
double length_objective(int c, double x);
// The branch above node c moved to the length that maximises the likelihood (Brent's method
// over path passes), bracketing from `lower_start`; true when it settled.
bool optimise_branch(int c, double lower_start);
double optimise_branch_lengths(double lnL_entry);
void fitch_up();
void fitch_down();
void fitch_lengths();
void fill_leaf_parsimony_sets();
