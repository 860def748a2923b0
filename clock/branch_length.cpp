// Length of a clock branch: the lineage's relative rate times the elapsed time. This is
// the one place a clock branch length is formed, so the passes, the derivatives and the
// node-time objective all see the same rates.
#include "base/state.hpp"
#include "engine/engine_seams.hpp"

// With per-lineage information an internal node's rate is the mean of its children's rates
// in the child table named (the current one, also while a proposed tree is evaluated);
// otherwise every rate is 1.
void update_child_rates(const NodeOp& op, const std::vector<int>* rate_rows) {
    const int n = tree.n;
    std::vector<double>& rate = tree.cur.RateVec;
    for (const int child : op.child) {
        if (settings.use_lin_info != 1) {
            rate[child] = 1.0;
        } else if (child > n + 1) {
            const int k = child - (n + 1);
            rate[child] = (rate[rate_rows[0][k]] + rate[rate_rows[1][k]]) / 2;
        }
    }
}

double branch_length(int parent, int child, const double* times) {
    return tree.cur.RateVec[child] * (times[child] - times[parent]);
}

bool rates_follow_current_rows() { return settings.use_lin_info == 1; }
