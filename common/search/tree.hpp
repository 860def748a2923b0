// Tree arrays: parent lookups, copies and the random starting topology.
#pragma once

#include "base/state.hpp"

int find_parent(int node);          // stops the run when no internal node holds `node`
int lookup_parent(int node);        // 0 when no internal node holds `node`
int steps_to_root(int node);
int steps_to_root_temp(int node);

// Steps 1-3 of the random topology: n-2 random joins and the root, drawing from the
// multiply-with-carry words; all TimeVec entries 0.0.
void random_joins(int32_t& a, int32_t& b);
// Joins, then the program's node values (assign_start_values).
void random_topology(int32_t seed_a, int32_t seed_b);
// Seeds the topology stream from the settings seeds, builds the tree, fills parents.
void make_start_tree();

// Whole-tree copies.
void copy_tree_current_to_temp();
void copy_tree_current_to_best();
void copy_tree_temp_to_best();
// The best tree becomes the current (and temporary) tree.
void copy_tree_best_to_current();
// Fills `par` (size 2n+1) from child rows: par[c] = internal node holding c, root gets 0.
void parents_from_rows(const std::vector<int>* rows, std::vector<int>& par);
