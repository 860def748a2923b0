// One annealing iteration: node choice, nearest-neighbour interchange, the program's new
// node values, path evaluation, Metropolis decision and bookkeeping.
#pragma once

#include "base/state.hpp"

void propose_tree();
int evaluate_proposal();
// Nearest-neighbour interchange of move k in the temporary tree (X the moved node, P its
// parent, A and B its children, S its sibling, side its position under P): k = 2 swaps B
// and S, k = 3 swaps A and S.
void interchange_temp(int X, int P, int A, int B, int S, int side, int k);
// Copies back from the current tree the entries a move edits (child rows of P and X,
// node values of X, A and B, parents of A, B and S).
void restore_move(int X, int P, int A, int B, int S);
