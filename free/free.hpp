// freeml's own routines.
#pragma once

#include "state.hpp"

int estimate_kprime();
// Kprime by Newton-Raphson, with the quasi-Newton fallback, when the run estimates it.
void reestimate_kprime();
double length_objective(int c, double x);
void optimise_branch_lengths();
void fitch_up();
void fitch_down();
void fitch_lengths();
void fill_leaf_parsimony_sets();
