// Partial likelihoods by pruning on the tree arrays, with exact power-of-two scaling.
#pragma once

#include <cstddef>
#include <numbers>
#include <vector>

#include "state.hpp"

// 64-byte aligned storage for the likelihood tables.
template <class T>
struct AlignedAllocator {
    using value_type = T;
    AlignedAllocator() = default;
    template <class U>
    AlignedAllocator(const AlignedAllocator<U>&) {}
    T* allocate(std::size_t n) {
        void* p = ::operator new(n * sizeof(T), std::align_val_t(64), std::nothrow);
        if (!p) {
            printf("Can't memalloc likelihood table\n");
            exit(1);
        }
        return static_cast<T*>(p);
    }
    void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t(64)); }
    template <class U>
    bool operator==(const AlignedAllocator<U>&) const { return true; }
};
using AlignedDoubles = std::vector<double, AlignedAllocator<double>>;

// A pattern's four partials below 2^-256 are multiplied by 2^256 and counted, so deep
// trees never underflow; counts add up the tree and the log-likelihood takes them off.
constexpr double kScaleThreshold = 0x1p-256;
constexpr double kScaleFactor = 0x1p256;
constexpr double kLogScaleStep = 256.0 * std::numbers::ln2;  // 256 ln 2, correctly rounded

// The scaling rule for the four partials of one node and pattern: when all four are below
// kScaleThreshold they are multiplied by kScaleFactor and 1 is returned, the step to add
// to the children's summed counts; otherwise 0. Derivative entries of the same node and
// pattern must then be multiplied by kScaleFactor too.
inline int rescale_pattern(double* v) {
    if (v[0] < kScaleThreshold && v[1] < kScaleThreshold && v[2] < kScaleThreshold &&
        v[3] < kScaleThreshold) {
        for (int a = 0; a < 4; ++a) v[a] *= kScaleFactor;
        return 1;
    }
    return 0;
}

// Every internal node owns two rows of partials and scaling counts: `live` names the row
// that belongs to the current tree and `spare` the other. A proposal writes the spare rows
// along its path and swaps the two names; keeping the proposal keeps the swap, undoing it
// swaps back, and the rows of the current tree were never touched.
struct LikelihoodTables {
    int nodes = 0;  // 2n+1 node slots
    int npat = 0;
    AlignedDoubles pppLik;          // [row][pattern][state], 3n rows
    std::vector<int, AlignedAllocator<int>> scale;  // [row][pattern] scaling counts
    std::vector<int> live, spare;   // [node] row indices; leaves and slot 0 have no spare
    AlignedDoubles pppEstMu1, pppEstMu2, pppEstK1, pppEstK2, pppEstMuK;
    // Leaves 1..n: each pattern's code (0..15), so that a node update looks a leaf child's
    // sums up by code instead of reading its row; tip_states holds each code's A G C T
    // vector, the values the leaf rows are filled with.
    std::vector<unsigned char> tip_code;  // [leaf][pattern]
    alignas(32) double tip_states[16 * 4] = {};
};
extern LikelihoodTables lik;
// Sizes the tables for nodes 0..2n and npat patterns, all zero.
void reset_likelihood_tables(int n, int npat);

inline double* lik_row(int node) {
    return lik.pppLik.data() + static_cast<std::size_t>(lik.live[node]) * lik.npat * 4;
}
inline const unsigned char* tip_code_row(int leaf) {
    return lik.tip_code.data() + static_cast<std::size_t>(leaf) * lik.npat;
}
inline int* scale_row(int node) {
    return lik.scale.data() + static_cast<std::size_t>(lik.live[node]) * lik.npat;
}

// Fills the leaves' rows, counts and codes from the alignment's patterns.
void init_leaf_partials();
// Matrix of the branch from `parent` to `child` with node values `times`.
void branch_matrix(int parent, int child, const double* times, double* P);
// Partial of node v's pattern p, state a, from children c0, c1 (reference form). It is
// not rescaled: the value is on the scale of the children's stored rows, whose counts add.
double node_partial(int c0, int c1, int p, int a, const double* times, int v);
// Recomputes all patterns of internal node op.parent from its two children: their rates
// first (clockml with per-lineage information), then the branch matrices with node values
// `times`, then the product.
void update_node(const NodeOp& op, const double* times);
// Every internal node of the current tree, children first.
void full_pass();
// Recomputes the listed nodes in order (each the parent of the one before).
void path_pass(const int* nodes, int count, const std::vector<int>* rows, const double* times);
// The same into the spare rows of the listed internal nodes, which become their live rows;
// drop_proposed_path makes the rows held before live again, unchanged.
void proposed_path_pass(const int* nodes, int count, const std::vector<int>* rows,
                        const double* times);
void drop_proposed_path(const int* nodes, int count);
double log_likelihood();
double max_unconstrained_lnl();

// Builds with invariant checks (ZELVO_CHECKS) stop the run, naming `where`, when
// ann.lnL_cur is not the log-likelihood of a fresh full pass over the current tree within
// 1e-9 relative. The pass works on copies of the tables, so a checked run computes exactly
// what an unchecked one does. Other builds do nothing.
#ifdef ZELVO_CHECKS
void check_current_lnl(const char* where);
#else
inline void check_current_lnl(const char*) {}
#endif
