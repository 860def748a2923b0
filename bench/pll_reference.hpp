// The same pruning work done by libpll, for comparison: the current tree, patterns and
// model of the process-wide records expressed as libpll's rate matrix and frequencies,
// one rate category. Used by the benchmark and the agreement test only; the programs
// never link libpll.
#pragma once

#include <vector>

#include <libpll/pll.h>

struct PllReference {
    pll_partition_t* part = nullptr;
    std::vector<pll_operation_t> ops;  // post-order, one per internal node
    std::vector<unsigned> matrix_index;
    std::vector<double> lengths;
    std::vector<unsigned> params_index;
    int n = 0;
};

// The widest vector instructions libpll can use on this machine, with its tip-pattern
// lookup.
unsigned pll_fastest_attributes();
// Builds the partition from alignment, tree (current child table and TimeVec) and mp.
// Returns false when libpll refuses the attributes.
bool pll_build(PllReference& r, unsigned attributes);
// Branch matrices and every internal node's partials, as our full_pass does.
void pll_full_pass(PllReference& r);
double pll_root_lnl(PllReference& r);
void pll_release(PllReference& r);
