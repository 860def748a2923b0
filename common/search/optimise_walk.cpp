// The walk down the tree of a local_opt sweep (see optimise_walk.hpp).
#include "search/optimise_walk.hpp"

#include "base/interrupt.hpp"
#include "base/state.hpp"
#include "engine/edge_likelihood.hpp"

namespace {

int g_depth = 0;
bool g_on_walk = false;

// The last trials of the node in hand (forgotten when the walk moves to another node).
constexpr int kRemembered = 4;
struct Trial {
    double value, lnL;
};
Trial g_trials[kRemembered];
int g_trial_count = 0, g_trial_next = 0;

// The walk moves to a node at `depth`: the trials of the node before are forgotten.
void move_to(int depth) {
    g_depth = depth;
    g_trial_count = 0;
    g_trial_next = 0;
}

// Whether a sweep of `phase` visits node c (freeml's visit leaves, clockml's do not).
bool visited(const SweepPlan& plan, int phase, int c) {
    for (int r = 0; r < plan.run_count[phase]; ++r)
        if (c >= plan.phase_runs[phase][r].first && c <= plan.phase_runs[phase][r].last) return true;
    return false;
}

// The walk below node v, whose outside row is at `depth`. An interrupt stops the
// optimising, not the walk, so the partials always match the values.
void walk_below(const SweepPlan& plan, int phase, int v, int depth) {
    move_to(depth);
    if (!plan.walk_children_first && !search_interrupted()) sweep_node(plan, phase, v);
    if (v <= tree.n) return;
    const int k = v - (tree.n + 1);
    bool moved_below = false;
    for (int r = 0; r < 2; ++r) {
        const int c = tree.cur.ppTwoRow[r][k];
        if (c <= tree.n && !visited(plan, phase, c)) continue;
        outside_of_child(v, c, depth + 1);
        walk_below(plan, phase, c, depth + 1);
        moved_below = true;
    }
    move_to(depth);
    // (A node's trial makes its partials from its children's, so they need not be made
    // again before it.)
    if (plan.walk_children_first && !search_interrupted()) sweep_node(plan, phase, v);
    // v's own partials: made again after its subtrees moved, and after its own value moved
    // (a node time changes the branches to its children).
    if (moved_below || visited(plan, phase, v)) refresh_partials(v);
}

// Edges from the root down to the deepest node.
int tree_depth() {
    int deepest = 0;
    for (int v = 1; v <= 2 * tree.n - 1; ++v) {
        int d = 0;
        for (int u = v; u != tree.n + 1; u = tree.cur.parents[u]) ++d;
        if (d > deepest) deepest = d;
    }
    return deepest;
}

}  // namespace

bool on_walk() { return g_on_walk; }

int walk_depth() { return g_depth; }

double walk_trial(int c, double (*evaluate)(int c, int depth)) {
    const double value = tree.cur.TimeVec[c];
    for (int i = 0; i < g_trial_count; ++i)
        if (g_trials[i].value == value) return g_trials[i].lnL;
    const double lnL = evaluate(c, g_depth);
    g_trials[g_trial_next] = Trial{value, lnL};
    g_trial_next = (g_trial_next + 1) % kRemembered;
    if (g_trial_count < kRemembered) ++g_trial_count;
    return lnL;
}

void walk_sweep(const SweepPlan& plan, int phase) {
    const int root = tree.n + 1;
    size_outside_rows(tree_depth());
    g_on_walk = true;
    for (int r = 0; r < 2; ++r) {
        const int c = tree.cur.ppTwoRow[r][0];
        if (c <= tree.n && !visited(plan, phase, c)) continue;
        outside_of_root_child(c);
        walk_below(plan, phase, c, 0);
    }
    g_on_walk = false;
    refresh_partials(root);
}
