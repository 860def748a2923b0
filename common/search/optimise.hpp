// One-dimensional optimisation (bracketing and Brent's method) and the optimisation of
// the archived trees.
#pragma once

#include "base/state.hpp"
#include "search/estimation.hpp"

// Objective of a node: minus the log-likelihood with node value x at node c.
using NodeObjective = double (*)(int c, double x);

// Tolerance every caller passes to brent.
constexpr double kBrentTolerance = 0.001;
// A node whose value moved less than this in a sweep that uses flags is settled.
constexpr double kSettleDistance = 0.001;

void bracket_minimum(int c, double& ax, double& bx, double& cx, double& fa, double& fb,
                     double& fc, NodeObjective f);
double brent(int c, double ax, double bx, double cx, NodeObjective f, double tol, double& xmin);

// Minus the log-likelihood of the current tree after the value of node c changed: lists c
// and its ancestors up to the root in new_recalc_vec and recomputes those nodes (a leaf has
// no partials of its own, so the pass then starts at its parent).
double path_objective(int c);
// The settle test of a node after its optimisation: its value before (TimeVec_temp[c]) and
// the abscissa brent settled on are closer than kSettleDistance.
bool node_settled(int c, double xmin);

// A run of consecutive nodes visited by a sweep.
struct NodeRun {
    int first, last;      // node numbers, inclusive
    bool use_flags;       // skip settled nodes, and flag the ones that settle now
    double lower_start;   // first point of the bracketing where the program uses one
};

// How a program optimises the node values of one tree: its one-node step, the
// re-estimation of the model between sweeps, and the nodes each of the two phases visits.
struct SweepPlan {
    // Optimises node c in place; true when the settle test holds for it.
    bool (*optimise_node)(int c, double lower_start);
    Estimator reestimate;
    int flag_first, flag_last;  // flags cleared before the first phase
    NodeRun phase_runs[2][2];   // [phase][run]
    int run_count[2];
    // When set, a sweep of `phase` is this walk, which visits every node with sweep_node in
    // an order of its own; otherwise the runs are visited in turn, each in node order.
    void (*walk)(const SweepPlan& plan, int phase) = nullptr;
    // On the walk: each node after the subtrees below it, instead of before them.
    bool walk_children_first = false;
    // When set (with the walk), every sweep is followed by a move of all the values along
    // the change the sweep made, while that raises the log-likelihood; the program says
    // which node values (tree.cur.TimeVec) make a tree it may evaluate.
    bool (*values_admissible)() = nullptr;
};

// Node c in a sweep of `phase`: passed over when the run holding it uses flags and c has
// settled, else optimised (and flagged when it settles now, in a run that uses flags).
void sweep_node(const SweepPlan& plan, int phase, int c);

// From the current tree at log-likelihood `lnL_entry`: re-estimates, clears the flags, then
// runs the first phase (stop 0.001, at most 50 sweeps) and the second (0.0001, 35 sweeps).
// Each phase's stop test starts from an lnL of 0 and compares the log-likelihood before and
// after a sweep. Returns the log-likelihood of the tree and parameters at the end.
double optimise_tree(const SweepPlan& plan, double lnL_entry);

// Loads the tree stored in an archive slot into the current (and temporary) arrays.
void load_archived_tree(int slot);
// What the optimisation of the archived trees leaves: the current tree's log-likelihood and,
// when an optimised tree was made current (and best), the best log-likelihood it sets.
struct ArchiveOptimisation {
    double lnL = 0;
    bool best_made_current = false;
    double lnL_best = 0;
};
// Optimises every archived tree from the current state (log-likelihood `lnL_entry`) and
// makes the best of them (or, when none beats lnL_entry, the highest) current and best,
// with the parameters it was optimised under.
ArchiveOptimisation optimise_archived_trees(double lnL_entry);
