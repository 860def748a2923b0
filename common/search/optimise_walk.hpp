// A sweep of the optimisation as a walk down the tree (the settings line local_opt): each
// node's value is tried from the partials on both sides of it (engine/edge_likelihood)
// instead of by a pass up to the root. The walk visits a node before its children, makes
// each child's outside row just before walking below it, and makes a node's partials again
// on its way back up, so every node is tried on the tree as it stands and the partials
// match the values when the sweep ends.
#pragma once

#include "search/optimise.hpp"

void walk_sweep(const SweepPlan& plan, int phase);
// The depth of the outside row of the node the walk is optimising.
int walk_depth();
