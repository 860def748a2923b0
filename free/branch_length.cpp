// Length of a branch of the unrooted tree: each node holds the length of the branch above
// it.
#include "base/state.hpp"
#include "engine/engine_seams.hpp"

void update_child_rates(const NodeOp&, const std::vector<int>*) {}

double branch_length(int /*parent*/, int child, const double* times) { return times[child]; }

// Branch lengths are the children's own values; a pass changes nothing else.
bool rates_follow_current_rows() { return false; }
