// freeml's start-up extras: no lin_info; the leaves' parsimony state sets.
#include "app/app_seams.hpp"
#include "base/state.hpp"
#include "free.hpp"

void program_extra_inputs() {}

void program_leaf_setup() { fill_leaf_parsimony_sets(); }

void program_tree_inputs() {}

bool program_extra_reports() { return true; }
