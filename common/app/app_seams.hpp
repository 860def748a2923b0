// What each program defines for the start-up of a run: its extra inputs and the set-up of
// its leaves, and the fitting of a nearest-neighbour alternative for the branch support. clockml's
// definitions live in clock/, freeml's in free/.
#pragma once


// Start-up extras: clockml reads lin_info (when use_lin_info is 1); freeml does nothing.
void program_extra_inputs();
// Leaf set-up before the leaf partials: clockml's leaf rates, freeml's parsimony sets.
void program_leaf_setup();
// Inputs that need the sequences' names and patterns, read before the start tree is made:
// clockml's tip dates (the dates file, or --dates-from-names) and the start they give;
// freeml has none.
void program_tree_inputs();
// Reports beyond the design's, written into the open results before it is closed: clockml's
// dated tree (dated.tre and its lines in results) when the tips are dated; freeml none.
// false when a report could not be written (the reason is on standard output).
bool program_extra_reports();

// The node values around one internal branch of the current tree after its subtrees were
// swapped into a nearest-neighbour alternative: `around` holds the branch's lower node, the
// nodes whose branches meet it and its upper node (freeml: the branch above each is
// optimised; clockml: the times of those below the root, first made a valid clock tree).
// Returns the tree's log-likelihood afterwards, with the partials current.
double program_fit_alternative(const int (&around)[5]);
