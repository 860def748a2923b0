// freeml's start-up extras: no lin_info; the leaves' parsimony state sets.
#include "free.hpp"
#include "base/program.hpp"

void program_extra_inputs() {}

void program_leaf_setup() { fill_leaf_parsimony_sets(); }
