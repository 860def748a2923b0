// Length of a clock branch: the lineage's relative rate times the elapsed time. This is
// the one place a clock branch length is formed, so the passes, the derivatives and the
// node-time objective all see the same rates.
#include "program.hpp"
#include "state.hpp"

// The rate of the lineage above `child` is brought up to date first: with per-lineage
// information an internal node takes the mean of its children's rates in the current
// child table (also while a proposed tree is evaluated), otherwise every rate is 1.
double branch_length(int parent, int child, const double* times) {
    const int n = tree.n;
    std::vector<double>& rate = tree.cur.RateVec;
    if (settings.use_lin_info == 1) {
        if (child > n + 1) {
            const int k = child - (n + 1);
            rate[child] = (rate[tree.cur.ppTwoRow[0][k]] + rate[tree.cur.ppTwoRow[1][k]]) / 2;
        }
    } else {
        rate[child] = 1.0;
    }
    return rate[child] * (times[child] - times[parent]);
}

bool rates_follow_current_rows() { return settings.use_lin_info == 1; }
