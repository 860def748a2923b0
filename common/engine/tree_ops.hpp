// The order of a pass: the node updates that bring partials (or parsimony sets, or
// derivatives) up to date, each internal node after both of its children.
#pragma once

#include <vector>

#include "base/state.hpp"

// Every internal node of the tree given by `rows` (node m's children in entry m-(n+1)), in
// an order that puts each after both its children, written to tree.ops; returns the
// count, n-1. A table that is not a tree (a child out of range, a node held twice, an
// internal node the root does not reach) stops the run.
int post_order_ops(const std::vector<int>* rows);

// The updates of the listed nodes, in the order listed (each the parent of the one before),
// with their children in `rows`; leaves in the list are passed over. Written to tree.ops;
// returns the count.
int path_ops(const int* nodes, int count, const std::vector<int>* rows);
