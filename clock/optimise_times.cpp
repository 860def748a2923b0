// clockml's optimisation of the node times of one tree: every internal node below the
// root is moved, one at a time, to the time that maximises the likelihood between its
// parent's time and its nearest child's time; tried by a pass up to the root, or with
// local_opt on a walk down the tree from the partials around the node.
#include <algorithm>
#include <cmath>

#include "base/state.hpp"
#include "clock.hpp"
#include "engine/edge_likelihood.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "search/model_estimation.hpp"
#include "search/optimise.hpp"
#include "search/optimise_walk.hpp"
#include "search/search_seams.hpp"

namespace {

// Distance a node's time keeps from its parent's and its children's times.
constexpr double kMargin = 0.001;
// On the walk: the first step of the bracketing, as a share of the node's interval.
constexpr double kWalkBracket = 0.01;

// Time of internal node c's nearer child.
double nearest_child_time(int c) {
    const int k = c - (tree.n + 1);
    const double t0 = tree.cur.TimeVec[tree.cur.ppTwoRow[0][k]];
    const double t1 = tree.cur.TimeVec[tree.cur.ppTwoRow[1][k]];
    return t0 < t1 ? t0 : t1;
}

// A rejected joint estimate restores the entry values; the sweeps just go on with them.
double reestimate_between_sweeps(double lnL_entry) {
    double capped = -HUGE_VAL;
    if (mp.named.on)
        capped = estimate_named_model(lnL_entry, true);
    else if (kprime_estimated())
        (void)estimate_mu_kprime(lnL_entry);
    else
        estimate_mu(lnL_entry);
    estimate_tip_scale_after(lnL_entry);
    return capped;
}

}  // namespace

// The times node c may take: between its parent's and its nearer child's, and within the
// bounds of its calibration.
static void node_interval(int c, double& lo, double& hi) {
    lo = tree.cur.TimeVec[tree.cur.parents[c]];
    hi = nearest_child_time(c);
    double wlo = 0, whi = 0;
    if (node_time_window(c, wlo, whi)) {
        lo = lo > wlo ? lo : wlo;
        hi = hi < whi ? hi : whi;
    }
}

// Candidates outside the node's interval are evaluated at its nearer end, so the tree
// stays a valid clock tree whatever the bracketing tries.
static void set_admissible_time(int c, double x) {
    double lo = 0, hi = 0;
    node_interval(c, lo, hi);
    lo += kMargin;
    hi -= kMargin;
    if (!(x >= lo))
        x = lo;
    else if (x > hi)
        x = hi;
    tree.cur.TimeVec[c] = x;
}

double time_objective(int c, double x) {
    set_admissible_time(c, x);
    return path_objective(c);
}

// On the walk of local_opt: the node's likelihood from its outside row and its children.
static double walk_time_objective(int c, double x) {
    set_admissible_time(c, x);
    return -walk_trial(c, node_log_likelihood);
}

bool optimise_node_time(int c, double /*lower_start*/) {
    double lo = 0, hi = 0;
    node_interval(c, lo, hi);
    // Parent and child closer than two margins: no time keeps the node clear of both.
    if (lo + kMargin > hi - kMargin) return false;
    const bool walk = on_walk();
    const NodeObjective f = walk ? walk_time_objective : time_objective;
    tree.temp.TimeVec[c] = tree.cur.TimeVec[c];
    // On the walk the node ends at the best time tried, its starting time included.
    const double start = tree.cur.TimeVec[c];
    const double f_start = walk ? f(c, start) : 0.0;
    double f_min = 0.0;
    double ax = lo + kMargin;
    double bx = (lo + hi) / 2;
    if (walk) {
        // On the walk the bracketing starts next to the node's time: after the first sweeps
        // it lies near its optimum, and a narrow bracket needs fewer trials.
        const double step = kWalkBracket * (hi - lo);
        bx = std::clamp(start, lo + kMargin, hi - kMargin);
        ax = bx - step > lo + kMargin ? bx - step : bx + step;
    }
    double cx, fa, fb, fc, xmin;
    bracket_minimum(c, ax, bx, cx, fa, fb, fc, f);
    if (lo + kMargin >= bx || bx >= hi - kMargin) {
        // the middle point left the interval: search the whole interval instead
        f_min = brent(c, lo + kMargin, (lo + hi) / 2, hi - kMargin, f, kBrentTolerance, xmin);
    } else {
        if (ax < lo + kMargin) ax = lo + kMargin;
        if (cx > hi - kMargin) cx = hi - kMargin;
        f_min = brent(c, ax, bx, cx, f, kBrentTolerance, xmin);
    }
    // The node keeps the time of the last evaluation; xmin only decides whether it settled.
    // On the walk it takes the best time tried instead (its partials are made again on the
    // way back up in any case): Brent's tolerance is about 0.001, as wide as the margin, so a
    // node pressed against a neighbour, where the likelihood is steep, would otherwise be
    // left lower in every sweep.
    if (walk) set_admissible_time(c, f_start <= f_min ? start : xmin);
    return node_settled(c, xmin);
}

// Every internal node below the root clear of its parent and its children by the margin the
// one-node steps keep, and within its calibration's bounds.
static bool times_admissible() {
    const int n = tree.n;
    for (int c = n + 2; c <= 2 * n - 1; ++c) {
        double lo = 0, hi = 0;
        node_interval(c, lo, hi);
        const double t = tree.cur.TimeVec[c];
        if (!(t >= lo + kMargin && t <= hi - kMargin)) return false;
    }
    return true;
}

double optimise_node_times(double lnL_entry) {
    const int n = tree.n;
    SweepPlan plan{};
    plan.optimise_node = optimise_node_time;
    plan.reestimate = reestimate_between_sweeps;
    plan.flag_first = n + 2;
    plan.flag_last = 2 * n - 1;
    plan.phase_runs[0][0] = NodeRun{n + 2, 2 * n - 1, true, 0.0};
    plan.run_count[0] = 1;
    plan.phase_runs[1][0] = NodeRun{n + 2, 2 * n - 1, false, 0.0};
    plan.run_count[1] = 1;
    if (settings.local_opt == 1) {
        plan.walk = walk_sweep;
        // Children first: a node's time is bounded by its nearer child's, so the times
        // below it have moved before it is tried (on the benchmark sets that order reaches
        // higher likelihoods than parents first).
        plan.walk_children_first = true;
        plan.values_admissible = times_admissible;
    }
    return optimise_tree(plan, lnL_entry);
}

double optimise_tree_values(double lnL_entry) { return optimise_node_times(lnL_entry); }

// A clock tree is complete as stored: its times are all the likelihood needs (a dated tree's
// scale follows from them).
void prepare_loaded_tree() {
    if (dated_run()) settle_loaded_scale();
}
