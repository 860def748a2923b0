// Report blocks: run report, best-tree listing, NEXUS data, trees and PAUP blocks.
#pragma once

#include "base/state.hpp"

void write_run_report();
void write_best_tree_listing();
void write_nexus_data();
void write_nexus_trees_and_paup();
// The lset line of the PAUP block for the model and estimate setting of the run.
void write_lset_line(FILE* f);
