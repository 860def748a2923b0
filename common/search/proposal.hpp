// One annealing iteration: node choice, nearest-neighbour interchange, the program's new
// node values, path evaluation, Metropolis decision and bookkeeping.
#pragma once

#include "base/state.hpp"

// What a move does to the count of moves since the last new tree (the stop test of a
// search): one more, back to 1 (a new topology, or one seen fewer than min_trials times),
// or nothing (an accepted move onto a tree already well sampled).
enum class StopCount { kStep, kReset, kKeep };

// The outcome of one annealing iteration, for the driver to apply.
struct ProposalResult {
    double lnL = 0;                // log-likelihood of the tree that stands after the move
    double change = 0;             // |proposed - current|, the burn-in's measure of scale
    bool accepted = false;
    bool uphill = false;          // the proposal was at least as likely as the current tree
    bool topology_changed = false;  // an accepted interchange
    StopCount stop = StopCount::kKeep;
};

// One iteration from the current tree (log-likelihood lnL_cur) at `temperature`: draws a
// move, evaluates it along the path to the root and keeps it (current tree and archive
// updated) or undoes it. The temporary tree holds the proposal when it was accepted.
ProposalResult propose_tree(double lnL_cur, double temperature);
// The evaluation and Metropolis decision of a proposal already made in the temporary tree,
// with tree.recalc_vec[0..1] holding X and P; a rejected one leaves the current rows live.
ProposalResult evaluate_proposal(double lnL_cur, double temperature);
// Nearest-neighbour interchange of move k in the temporary tree (X the moved node, P its
// parent, A and B its children, S its sibling, side its position under P): k = 2 swaps B
// and S, k = 3 swaps A and S.
void interchange_temp(int X, int P, int A, int B, int S, int side, int k);
// Copies back from the current tree the entries a move edits (child rows of P and X,
// node values of X, A and B, parents of A, B and S).
void restore_move(int X, int P, int A, int B, int S);
