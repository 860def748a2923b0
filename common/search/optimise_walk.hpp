// A sweep of the optimisation as a walk down the tree (the settings line local_opt): each
// node's value is tried from the partials on both sides of it (engine/edge_likelihood)
// instead of by a pass up to the root. The walk visits a node before its children, makes
// each child's outside row just before walking below it, and makes a node's partials again
// on its way back up, so every node is tried on the tree as it stands and the partials
// match the values when the sweep ends.
#pragma once

#include "search/optimise.hpp"

void walk_sweep(const SweepPlan& plan, int phase);
// Whether a walk is under way: a node's step tries its values from the outside rows only
// then (the alternatives of branch support optimise single nodes outside any walk).
bool on_walk();
// The depth of the outside row of the node the walk is optimising.
int walk_depth();
// One trial of the node c the walk is optimising, at its value as it stands in
// tree.cur.TimeVec: `evaluate(c, depth)` (the log-likelihood from c's outside row), or the
// result of an earlier trial of the same value. A trial changes nothing but the node's
// value, and the bracketing and Brent's method try some values twice (the starting value,
// the middle of the bracket), so each node's last few trials are remembered.
double walk_trial(int c, double (*evaluate)(int c, int depth));
