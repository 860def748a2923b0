// freeml's optimisation of the branch lengths of one tree: each branch (the one above a
// leaf or a non-root internal node) is moved in turn to the length that maximises the
// likelihood, starting from the parsimony lengths of the loaded tree. A length is tried by
// a pass up to the root, in node order; or, with local_opt, on a walk down the tree from
// the partials at the branch's two ends.
#include <cmath>

#include "base/state.hpp"
#include "engine/edge_likelihood.hpp"
#include "engine/likelihood.hpp"
#include "free.hpp"
#include "search/minimise.hpp"
#include "search/optimise.hpp"
#include "search/optimise_walk.hpp"
#include "search/search_seams.hpp"

namespace {

// Shortest length a branch is evaluated or left at; first point of the bracketing.
constexpr double kMinLength = 1e-6;
// First point of the bracketing for internal branches in the second phase.
constexpr double kInternalSecondStart = 0.001;
// On the walk: the first step of the bracketing, as a share of the length.
constexpr double kWalkBracket = 0.01;

// A branch never gets a negative (or undefined) length, whatever the bracketing tries, nor
// one past saturation, where the bracketing of a flat likelihood would not stop.
double admissible_length(double x) {
    if (!(x >= kMinLength)) x = kMinLength;
    if (x > kMaxBranchLength) x = kMaxBranchLength;
    return x;
}

double walk_length_objective(int c, double x) {
    tree.cur.TimeVec[c] = admissible_length(x);
    return -walk_trial(c, edge_log_likelihood);
}

// Every branch between the shortest and the longest length a branch may take.
bool lengths_admissible() {
    for (int v = 1; v <= 2 * tree.n - 1; ++v) {
        if (v == tree.n + 1) continue;
        const double x = tree.cur.TimeVec[v];
        if (!(x >= kMinLength && x <= kMaxBranchLength)) return false;
    }
    return true;
}

}  // namespace

bool optimise_branch(int c, double lower_start) {
    const bool walk = on_walk();
    const NodeObjective f = walk ? walk_length_objective : length_objective;
    tree.temp.TimeVec[c] = tree.cur.TimeVec[c];
    const double start = tree.cur.TimeVec[c];
    const double f_start = walk ? f(c, start) : 0.0;
    double ax = lower_start;
    double bx = 2 * tree.cur.TimeVec[c];
    if (walk) {
        // On the walk the bracketing starts next to the branch's length: after the first
        // sweeps it lies near its optimum, and a narrow bracket needs fewer trials.
        ax = start;
        bx = start * (1 + kWalkBracket);
    }
    double cx, fa, fb, fc, xmin;
    bracket_minimum(c, ax, bx, cx, fa, fb, fc, f);
    const double f_min = brent(c, ax, bx, cx, f, kBrentTolerance, xmin);
    if (walk) {
        // The best length tried, the starting one included, not the last one: on the walk
        // the partials above are made again on the way back up in any case.
        tree.cur.TimeVec[c] = admissible_length(f_start <= f_min ? start : xmin);
    } else if (xmin < 0) {
        tree.cur.TimeVec[c] = kMinLength;
        full_pass();
    }
    return node_settled(c, xmin);
}

double length_objective(int c, double x) {
    tree.cur.TimeVec[c] = admissible_length(x);
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
    if (settings.local_opt == 1) {
        plan.walk = walk_sweep;
        plan.values_admissible = lengths_admissible;
    }
    return optimise_tree(plan, lnL_entry);
}

double optimise_tree_values(double lnL_entry) { return optimise_branch_lengths(lnL_entry); }

// The stored lengths are replaced by parsimony estimates on the loaded topology.
void prepare_loaded_tree() {
    fitch_up();
    fitch_down();
    fitch_lengths();
}
