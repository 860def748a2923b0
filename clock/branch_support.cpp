// clockml's fitting of a nearest-neighbour alternative of a rooted tree. The swap may leave
// the branch's lower node older than a new child; it then moves to the middle between its
// parent and its nearest child. The times of the lower node, its internal children and its
// parent (below the root) are then optimised, up to three rounds until a round gains less
// than 1e-6, the other times, the rate scale and the model as they are.
#include "app/app_seams.hpp"
#include "base/state.hpp"
#include "clock.hpp"
#include "engine/likelihood.hpp"

namespace {

constexpr int kRounds = 3;
constexpr double kRoundGain = 1e-6;

double earliest_child_time(int v) {
    const int k = v - (tree.n + 1);
    const double a = tree.cur.TimeVec[tree.cur.ppTwoRow[0][k]], b = tree.cur.TimeVec[tree.cur.ppTwoRow[1][k]];
    return a < b ? a : b;
}

}  // namespace

double program_fit_alternative(const int (&around)[5]) {
    const int c = around[0], root = tree.n + 1;
    const double parent_time = tree.cur.TimeVec[tree.cur.parents[c]];
    if (!(tree.cur.TimeVec[c] < earliest_child_time(c))) tree.cur.TimeVec[c] = 0.5 * (parent_time + earliest_child_time(c));
    double lnL = full_pass_log_likelihood();
    for (int round = 0; round < kRounds; ++round) {
        for (int v : around)
            if (v > tree.n && v != root) optimise_node_time(v, 0.0);
        const double next = full_pass_log_likelihood();
        const bool done = !(next > lnL + kRoundGain);
        lnL = next;
        if (done) break;
    }
    return lnL;
}
