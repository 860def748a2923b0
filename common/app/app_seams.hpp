// What each program defines for the start-up of a run: its extra inputs and the set-up of
// its leaves, and the nearest-neighbour alternatives of the branch support. clockml's
// definitions live in clock/, freeml's in free/.
#pragma once

#include <vector>

// Start-up extras: clockml reads lin_info (when use_lin_info is 1); freeml does nothing.
void program_extra_inputs();
// Leaf set-up before the leaf partials: clockml's leaf rates, freeml's parsimony sets.
void program_leaf_setup();

// One internal branch of the current tree and its two nearest-neighbour interchanges: the
// node whose branch it is (above it), and for the tree itself and each alternative the
// log-likelihood and the log-likelihood of one site of each pattern.
struct BranchAlternatives {
    int node = 0;
    int partner = 0;  // the other root child when the branch runs through the root, else 0
    double lnL[3] = {};
    std::vector<double> pattern_lnl[3];
};
// Every internal branch of the current tree (whose partials are current) with its two
// alternatives, each with the branch and its four neighbours optimised; the tree, its
// values and its partials are as before afterwards. Empty where the program has none.
std::vector<BranchAlternatives> program_branch_alternatives();
