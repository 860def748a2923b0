// freeml's optimisation of the branch lengths of one tree: each branch (the one above a
// leaf or a non-root internal node) is moved in turn to the length that maximises the
// likelihood, starting from the parsimony lengths of the loaded tree.
#include <cmath>

#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "free.hpp"
#include "search/minimise.hpp"
#include "search/optimise.hpp"
#include "search/search_seams.hpp"

namespace {

// Shortest length a branch is evaluated or left at; first point of the bracketing.
constexpr double kMinLength = 1e-6;
// First point of the bracketing for internal branches in the second phase.
constexpr double kInternalSecondStart = 0.001;

}  // namespace

bool optimise_branch(int c, double lower_start) {
    tree.temp.TimeVec[c] = tree.cur.TimeVec[c];
    double ax = lower_start;
    double bx = 2 * tree.cur.TimeVec[c];
    double cx, fa, fb, fc, xmin;
    bracket_minimum(c, ax, bx, cx, fa, fb, fc, length_objective);
    brent(c, ax, bx, cx, length_objective, kBrentTolerance, xmin);
    if (xmin < 0) {
        tree.cur.TimeVec[c] = kMinLength;
        full_pass();
    }
    return node_settled(c, xmin);
}

double length_objective(int c, double x) {
    // A branch never gets a negative (or undefined) length, whatever the bracketing tries,
    // nor one past saturation, where the bracketing of a flat likelihood would not stop.
    if (!(x >= kMinLength)) x = kMinLength;
    if (x > kMaxBranchLength) x = kMaxBranchLength;
    tree.cur.TimeVec[c] = x;
    return path_objective(c);
}

double optimise_branch_lengths(double lnL_entry) {
    const int n = tree.n;
    SweepPlan plan{};
    plan.optimise_node = optimise_branch;
    plan.reestimate = reestimate_kprime;
    plan.flag_first = 1;
    plan.flag_last = 2 * n - 1;
    plan.phase_runs[0][0] = NodeRun{1, n, true, kMinLength};
    plan.phase_runs[0][1] = NodeRun{n + 2, 2 * n - 1, true, kMinLength};
    plan.run_count[0] = 2;
    plan.phase_runs[1][0] = NodeRun{1, n, true, kMinLength};
    plan.phase_runs[1][1] = NodeRun{n + 2, 2 * n - 1, false, kInternalSecondStart};
    plan.run_count[1] = 2;
    return optimise_tree(plan, lnL_entry);
}

double optimise_tree_values(double lnL_entry) { return optimise_branch_lengths(lnL_entry); }

// The stored lengths are replaced by parsimony estimates on the loaded topology.
void prepare_loaded_tree() {
    fitch_up();
    fitch_down();
    fitch_lengths();
}
