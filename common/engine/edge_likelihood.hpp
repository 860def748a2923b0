// A branch's likelihood from the partials at its two ends: the partials of its lower node
// (its subtree) and the "outside" partials of the rest of the tree seen from the branch's
// top, so that a branch length is tried with one node product instead of a pass up to the
// root. The model is reversible, so the rest of the tree hangs from the top of the branch
// as a subtree would, through the same branch matrices. The outside rows are kept one per
// depth of a walk down the tree (the walk needs only those of the nodes above it).
#pragma once

// Room for outside rows at depths 0 .. depths - 1 (and the products of a trial).
void size_outside_rows(int depths);
// The outside row of the root's child c, at depth 0: its sibling's subtree seen through the
// sibling's branch.
void outside_of_root_child(int c);
// The outside row of child c of the non-root internal node v, at `depth`, from v's outside
// row (at depth - 1) seen through v's branch and c's sibling seen through its own.
void outside_of_child(int v, int c, int depth);
// The log-likelihood of the current tree, with the branch above c at its length as it
// stands, from c's outside row at `depth` and c's own partials.
double edge_log_likelihood(int c, int depth);
// The log-likelihood of the current tree, with internal node v's value as it stands (its
// branch and the branches to its children), from v's outside row at `depth` and its
// children's partials; v's own row is left as it was.
double node_log_likelihood(int v, int depth);
// Node v's partials again from its children's, with the lengths as they stand.
void refresh_partials(int v);
