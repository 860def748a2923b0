// Partial likelihoods by pruning on the tree arrays, with exact power-of-two scaling.
#pragma once

#include <cstddef>
#include <vector>

#include "base/state.hpp"
#include "engine/likelihood_constants.hpp"
#include "engine/node_product.hpp"

inline double* lik_row(int node) {
    return lik.pppLik.data() + static_cast<std::size_t>(lik.live[node]) * lik.npat * lik.ncat * 4;
}
inline const unsigned char* tip_code_row(int leaf) {
    return lik.tip_code.data() + static_cast<std::size_t>(leaf) * lik.npat;
}
inline int* scale_row(int node) {
    return lik.scale.data() + static_cast<std::size_t>(lik.live[node]) * lik.npat;
}

// Fills the leaves' rows, counts and codes from the alignment's patterns.
void init_leaf_partials();
// Matrix of the branch from `parent` to `child` with node values `times`: under a named model
// one for each rate category (16 x ncat entries).
void branch_matrix(int parent, int child, const double* times, double* P);
// The branch matrix above child c of node v (one per rate category), stored by column:
// Q[16 * cat + 4 * b + a] is the probability of a to b.
void branch_columns(int v, int c, const double* times, double* Q);
// Child c of node v seen through its branch, for a node product: Q receives the branch
// columns and, for a leaf child, tip its 16 code sums (64 x ncat entries).
ChildInput child_input(int v, int c, const double* times, double* Q, double* tip);
// One node product: two children seen through their branches, and the row and scaling
// counts it writes.
struct ProductOp {
    ChildInput in0, in1;
    double* out;
    int* kv;
};
// Runs the products of `count` ops in order (each may read the rows of the ones before),
// the patterns split over the threads; with `terms_row`, returns the log-likelihood of that
// row (and its scaling counts) taken as a root's, else 0. Every pass goes through here.
double run_products(int count, const ProductOp* ops, const double* terms_row, const int* terms_scale);
// Partial of node v's pattern p, state a, from children c0, c1 (reference form). It is
// not rescaled: the value is on the scale of the children's stored rows, whose counts add.
double node_partial(int c0, int c1, int p, int a, const double* times, int v);
// The patterns of a pass are split into pattern_chunks() ranges, one per thread at most;
// each range's arithmetic is the same whatever the split, and sums over patterns are made
// afterwards in pattern order.
struct PatternRange {
    int first, count;
};
int pattern_chunks();
PatternRange pattern_range(int chunk, int chunks);
// Every internal node of the current tree, children first: for each node its children's
// rates first (clockml with per-lineage information), then the branch matrices, then the
// products.
void full_pass();
// Recomputes the listed nodes in order (each the parent of the one before).
void path_pass(const int* nodes, int count, const std::vector<int>* rows, const double* times);
// The passes followed by log_likelihood(), with the same bits, in one parallel region.
double full_pass_log_likelihood();
double path_pass_log_likelihood(const int* nodes, int count, const std::vector<int>* rows,
                                const double* times);
// A path pass into the spare rows of the listed internal nodes, which become their live
// rows; drop_proposed_path makes the rows held before live again, unchanged.
double proposed_path_pass_log_likelihood(const int* nodes, int count,
                                         const std::vector<int>* rows, const double* times);
void drop_proposed_path(const int* nodes, int count);
// The log-likelihood of one site of each pattern, from the root partials as they stand.
std::vector<double> pattern_log_likelihoods();
double log_likelihood();
double max_unconstrained_lnl();

// Builds with invariant checks (ZELVO_CHECKS) stop the run, naming `where`, when `held`
// (the search's current log-likelihood) is not the log-likelihood of a fresh full pass over
// the current tree within 1e-9 relative. The pass works on copies of the tables, so a
// checked run computes exactly what an unchecked one does. Other builds do nothing.
#ifdef ZELVO_CHECKS
void check_current_lnl(double held, const char* where);
#else
inline void check_current_lnl(double, const char*) {}
#endif
