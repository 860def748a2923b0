// freeml's own routines.
#pragma once

#include "state.hpp"

// Longest branch a move proposes or the optimisation leaves, in expected substitutions per
// site: beyond it the likelihood no longer depends on the length (saturation, or a sequence
// of unknown states), and an unbounded length makes the tree useless to draw.
constexpr double kMaxBranchLength = 100.0;

int estimate_kprime();
// Kprime by Newton-Raphson, with the quasi-Newton fallback, when the run estimates it.
void reestimate_kprime();
double length_objective(int c, double x);
void optimise_branch_lengths();
void fitch_up();
void fitch_down();
void fitch_lengths();
void fill_leaf_parsimony_sets();
