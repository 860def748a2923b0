// Outside partials and the likelihood at one branch (see edge_likelihood.hpp).
#include "engine/edge_likelihood.hpp"

#include <cstddef>

#include "base/state.hpp"
#include "engine/likelihood.hpp"

namespace {

std::size_t row_width() { return static_cast<std::size_t>(lik.npat) * lik.ncat * 4; }

double* outside_row(int depth) { return lik.outside.data() + row_width() * depth; }
int* outside_counts(int depth) { return lik.outside_scale.data() + static_cast<std::size_t>(lik.npat) * depth; }

// The two rows past the last depth receive the products of a trial: the node's own
// partials (a node time moves the branches below it), then the product at its branch.
int product_slot() {
    return static_cast<int>(lik.outside_scale.size() / static_cast<std::size_t>(lik.npat)) - 1;
}
int node_slot() { return product_slot() - 1; }

// The identity matrix of every rate category: a row seen through it is the row itself, to
// the bit (each state's sum is the one partial times 1 plus zeros). Made once for the
// number of categories in use, with the sums it makes of the missing-data code.
struct Identity {
    alignas(32) double Q[16 * kMaxRateCategories] = {};
    alignas(32) double ones[64 * kMaxRateCategories] = {};
    int ncat = 0;
};
Identity g_identity;

const Identity& identity() {
    if (g_identity.ncat != lik.ncat) {
        g_identity = Identity{};
        for (int cat = 0; cat < lik.ncat; ++cat)
            for (int a = 0; a < 4; ++a) g_identity.Q[16 * cat + 5 * a] = 1.0;
        tip_sums(g_identity.Q, lik.tip_states, g_identity.ones, lik.ncat);
        g_identity.ncat = lik.ncat;
    }
    return g_identity;
}

// A row seen unchanged, its own scaling counts with it.
ChildInput unchanged(const double* x, const int* k) {
    ChildInput in{identity().Q};
    in.x = x;
    in.k = k;
    return in;
}

// A child whose every partial is 1: leaf slot 0, which holds the missing-data code at
// every pattern (reset_likelihood_tables), seen through the identity.
ChildInput all_ones() {
    ChildInput in{identity().Q};
    in.code = tip_code_row(0);
    in.tip = identity().ones;
    return in;
}

int sibling_of(int c) {
    const int p = tree.cur.parents[c], k = p - (tree.n + 1);
    return tree.cur.ppTwoRow[0][k] == c ? tree.cur.ppTwoRow[1][k] : tree.cur.ppTwoRow[0][k];
}

// A row (and its scaling counts) seen through the branch above node v; Q receives the
// branch's columns.
ChildInput through_branch_of(int v, const double* x, const int* k, double* Q) {
    branch_columns(tree.cur.parents[v], v, tree.cur.TimeVec.data(), Q);
    ChildInput in{Q};
    in.x = x;
    in.k = k;
    return in;
}

void run_one(const ChildInput& in0, const ChildInput& in1, int slot) {
    const ProductOp op{in0, in1, outside_row(slot), outside_counts(slot)};
    run_products(1, &op, nullptr, nullptr);
}

}  // namespace

void size_outside_rows(int depths) {
    const std::size_t rows = static_cast<std::size_t>(depths) + 2;
    if (lik.outside_scale.size() >= rows * lik.npat && node_slot() >= depths) return;
    lik.outside.assign(rows * row_width(), 0.0);
    lik.outside_scale.assign(rows * lik.npat, 0);
}

void outside_of_root_child(int c) {
    const int s = sibling_of(c);
    alignas(32) double Q[16 * kMaxRateCategories], tip[64 * kMaxRateCategories];
    run_one(child_input(tree.n + 1, s, tree.cur.TimeVec.data(), Q, tip), all_ones(), 0);
}

void outside_of_child(int v, int c, int depth) {
    const int s = sibling_of(c);
    const double* times = tree.cur.TimeVec.data();
    alignas(32) double Qs[16 * kMaxRateCategories], tip[64 * kMaxRateCategories];
    alignas(32) double Qv[16 * kMaxRateCategories];
    run_one(child_input(v, s, times, Qs, tip),
            through_branch_of(v, outside_row(depth - 1), outside_counts(depth - 1), Qv), depth);
}

double edge_log_likelihood(int c, int depth) {
    alignas(32) double Q[16 * kMaxRateCategories], tip[64 * kMaxRateCategories];
    const int slot = product_slot();
    const ProductOp op{child_input(tree.cur.parents[c], c, tree.cur.TimeVec.data(), Q, tip),
                       unchanged(outside_row(depth), outside_counts(depth)), outside_row(slot),
                       outside_counts(slot)};
    return run_products(1, &op, outside_row(slot), outside_counts(slot));
}

double node_log_likelihood(int v, int depth) {
    const double* times = tree.cur.TimeVec.data();
    const int k = v - (tree.n + 1), own = node_slot(), slot = product_slot();
    alignas(32) double Q0[16 * kMaxRateCategories], tip0[64 * kMaxRateCategories];
    alignas(32) double Q1[16 * kMaxRateCategories], tip1[64 * kMaxRateCategories];
    alignas(32) double Qv[16 * kMaxRateCategories];
    const ChildInput below = through_branch_of(v, outside_row(own), outside_counts(own), Qv);
    const ProductOp ops[2] = {
        {child_input(v, tree.cur.ppTwoRow[0][k], times, Q0, tip0),
         child_input(v, tree.cur.ppTwoRow[1][k], times, Q1, tip1), outside_row(own), outside_counts(own)},
        {below, unchanged(outside_row(depth), outside_counts(depth)), outside_row(slot),
         outside_counts(slot)}};
    return run_products(2, ops, outside_row(slot), outside_counts(slot));
}

void refresh_partials(int v) { path_pass(&v, 1, tree.cur.ppTwoRow, tree.cur.TimeVec.data()); }
