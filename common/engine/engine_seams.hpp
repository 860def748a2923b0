// What each program defines for the likelihood engine: how a branch's length follows from
// the node values, and the rate step before a node update. clockml's definitions live in
// clock/, freeml's in free/; the linker picks the pair, so the engine never asks which
// program it is part of.
#pragma once

#include <vector>

#include "base/state.hpp"

// The step before a node update's branch matrices: clockml with per-lineage information
// sets the rate of each internal child (child 0 first) to the mean of its own children's
// rates in `rate_rows`, the current child table in every pass, also over a proposed tree;
// without that information clockml sets both rates to 1; freeml changes nothing.
void update_child_rates(const NodeOp& op, const std::vector<int>* rate_rows);
// Length of the branch above `child` (whose parent is `parent`) in the node-value array
// `times`, in expected substitutions per site at mu = 1; it reads and changes nothing else.
// clockml: the child's rate times the time difference; freeml: the child's value.
double branch_length(int parent, int child, const double* times);
// Whether a pass writes state that the partials of the current tree depend on (clockml's
// per-lineage rates, set from the current child table as a pass goes), so that rows kept
// from before a rejected proposal may differ from a pass over the current tree made now.
bool rates_follow_current_rows();
