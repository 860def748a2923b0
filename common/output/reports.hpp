// Report blocks: run report, best-tree listing, NEXUS data, trees and PAUP blocks.
#pragma once

#include "base/state.hpp"
#include "search/anneal.hpp"

// The annealing's lines: the log-likelihood after the burn-in, the iterations and
// (clockml) the processor time of the searches and of the final optimisation.
void write_anneal_lines(const AnnealSummary& summary);
void write_run_report();
void write_best_tree_listing();
void write_nexus_data();
void write_nexus_trees_and_paup();
// The lset line of the PAUP block for the model and estimate setting of the run.
void write_lset_line(FILE* f);
