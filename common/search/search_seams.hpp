// What each program defines for the search: the node values of a new or proposed tree,
// the re-estimation of the model during a search, the optimisation of one tree's node
// values and the quasi-Newton parameter vector. clockml's definitions live in clock/,
// freeml's in free/; the linker picks the pair.
#pragma once

// Node values of a freshly joined random topology (clock times, or unit branch lengths).
void assign_start_values();
// Whether the subtrees at nodes a and b of the topology being joined may be joined (clockml:
// unless their union would split a calibrated clade; freeml: always).
bool join_allowed(int a, int b);
// Whether a move at X must keep X's children (clockml: X is a calibrated clade's node, which
// a swap would break up; freeml: never); the move then changes X's time alone.
bool clade_held(int X);

// The program's change of node values in the proposed tree for one annealing step
// (node X with parent P and children A, B before the move, S the sibling, k the move).
void propose_node_values(int X, int P, int A, int B, int S, int side, int k);

// Re-estimation of the model parameters during a search (after the burn-in and whenever
// the log-likelihood has risen enough), from the current tree whose log-likelihood is
// `lnL_entry`; the caller recomputes the partials and undoes a result that lowered the
// log-likelihood. Returns the log-likelihood at which a quasi-Newton fallback ran out of
// iterations (the best value seen may rise to it), or -HUGE_VAL.
double estimate_in_search(double lnL_entry);

// Improves the node values of the current tree in place (node times or branch lengths),
// starting at the log-likelihood `lnL_entry`; returns the log-likelihood at the end.
double optimise_tree_values(double lnL_entry);
// Prepares a tree loaded from the archive before its likelihood is computed.
void prepare_loaded_tree();

// Quasi-Newton fallback: the parameter vector p[1 .. program.qn_params].
void qn_load_params(double* p);
void qn_store_params(const double* p);
// Whether the minimiser's result may stand; otherwise the entry values are restored.
bool qn_result_acceptable();
// Runs the first-derivative pass at the current parameters and stores minus the root sums
// of the parameter vector in df[1..n].
void qn_gradient(double* df);
