// Starting branch lengths of a loaded tree from a Fitch parsimony reconstruction: the
// state sets are built up the tree, resolved to one base per node down the tree, and each
// branch's length is the model's distance for the differences at its two ends.
#include <cmath>

#include "engine/tree_ops.hpp"
#include "free.hpp"

namespace {

constexpr int kStates = 5;  // A, G, C, T, gap
constexpr int kGap = 4;

int* set_of(int node, int p) {
    return tree.pppLen.data() + (static_cast<std::size_t>(node) * alignment.npat + p) * kStates;
}

int base_count(const int* s) { return s[0] + s[1] + s[2] + s[3]; }

// Keeps only base b of the set; the gap flag stays as it is.
void keep_only(int* s, int b) {
    for (int x = 0; x < 4; ++x) s[x] = x == b ? 1 : 0;
}

// Set of internal node v from its children's sets; a pattern whose sets do not meet
// costs its weight at v.
void fitch_node(const NodeOp& op) {
    const int v = op.parent;
    const int c0 = op.child[0];
    const int c1 = op.child[1];
    for (int p = 0; p < alignment.npat; ++p) {
        int* s = set_of(v, p);
        const int* s0 = set_of(c0, p);
        const int* s1 = set_of(c1, p);
        int any = 0;
        for (int x = 0; x < kStates; ++x) {
            s[x] = s0[x] * s1[x];
            any += s[x];
        }
        if (any == 0) {
            for (int x = 0; x < kStates; ++x) s[x] = s0[x] + s1[x];
            tree.LenVec[v] += alignment.site_counter[p];
        }
    }
}

// Resolves a non-root internal node with several bases: the first base it shares with
// its (already resolved) parent, else its own first base.
void resolve_node(int v) {
    const int u = tree.cur.parents[v];
    for (int p = 0; p < alignment.npat; ++p) {
        int* s = set_of(v, p);
        if (base_count(s) == 1) continue;
        const int* up = set_of(u, p);
        int pick = -1;
        for (int x = 0; x < 4 && pick < 0; ++x)
            if (s[x] == 1 && up[x] == 1) pick = x;
        for (int x = 0; x < 4 && pick < 0; ++x)
            if (s[x] == 1) pick = x;
        if (pick >= 0) keep_only(s, pick);
    }
}

// Parsimony set of each BaseCode: the four bases and the gap; N and '?' hold every base.
constexpr int kCodeSet[16][kStates] = {
    {1, 0, 0, 0, 0}, {0, 1, 0, 0, 0}, {0, 0, 1, 0, 0}, {0, 0, 0, 1, 0},  // A G C T
    {0, 0, 0, 0, 1},                                                      // -
    {1, 0, 1, 0, 0}, {1, 1, 0, 0, 0}, {1, 0, 0, 1, 0}, {0, 1, 1, 0, 0},  // M R W S
    {0, 0, 1, 1, 0}, {0, 1, 0, 1, 0}, {0, 1, 1, 1, 0}, {1, 1, 0, 1, 0},  // Y K B D
    {1, 0, 1, 1, 0}, {1, 1, 1, 0, 0}, {1, 1, 1, 1, 0},                   // H V N
};

}  // namespace

void fill_leaf_parsimony_sets() {
    const int n = tree.n;
    const std::size_t size = (2 * static_cast<std::size_t>(n) + 1) * alignment.npat * kStates;
    if (tree.pppLen.size() < size) tree.pppLen.assign(size, 0);
    for (int m = 1; m <= n; ++m)
        for (int p = 0; p < alignment.npat; ++p) {
            int code = alignment.ppBase_unique[m - 1][p];
            if (code < 0 || code > 15) code = 15;
            int* s = set_of(m, p);
            for (int x = 0; x < kStates; ++x) s[x] = kCodeSet[code][x];
        }
}

void fitch_up() {
    const int n = tree.n;
    for (int i = 0; i <= 2 * n; ++i) tree.LenVec[i] = 0;
    const int count = post_order_ops(tree.cur.ppTwoRow);
    for (int i = 0; i < count; ++i) fitch_node(tree.ops[i]);
}

void fitch_down() {
    const int n = tree.n;
    const int root = n + 1;

    for (int p = 0; p < alignment.npat; ++p) {
        int* s = set_of(root, p);
        if (base_count(s) <= 1) continue;
        for (int x = 0; x < 4; ++x)
            if (s[x] == 1) {
                keep_only(s, x);
                break;
            }
    }

    // Each node is resolved against its parent's resolved set, so parents go first: the
    // pass order read backwards, the root (resolved above) being its last entry.
    const int count = post_order_ops(tree.cur.ppTwoRow);
    for (int i = count - 2; i >= 0; --i) resolve_node(tree.ops[i].parent);

    // A gap leaf takes its parent's reconstructed set, so that gaps count no change.
    if (settings.keep_gaps == 1)
        for (int leaf = 1; leaf <= n; ++leaf)
            for (int p = 0; p < alignment.npat; ++p) {
                int* s = set_of(leaf, p);
                if (s[kGap] != 1) continue;
                const int* up = set_of(tree.cur.parents[leaf], p);
                for (int x = 0; x < kStates; ++x) s[x] = up[x];
            }
}

// Distance of one branch from its counts of transitions and transversions per site
// under the run's model. HKY has no closed form here and keeps the length it has.
static double branch_distance(int tcount, int vcount, double length) {
    const double P = static_cast<double>(tcount) / settings.nsites;
    const double Q = static_cast<double>(vcount) / settings.nsites;
    switch (settings.model) {
    case 2: {
        const double A = mp.piA * mp.piG / mp.pi_r + mp.piC * mp.piT / mp.pi_y;
        const double B = mp.piA * mp.piG + mp.piC * mp.piT;
        const double C = mp.pi_r * mp.pi_y;
        return -2.0 * A * std::log(1.0 - P / (2.0 * A) - (A - B) * Q / (2.0 * A * C)) +
               2.0 * (A - B - C) * std::log(1.0 - Q / (2.0 * C));
    }
    case 3:
        return -0.75 * std::log(1.0 - (4.0 / 3.0) * (P + Q));
    case 4:
        return 0.5 * std::log(1.0 / (1.0 - 2.0 * P - Q)) + 0.25 * std::log(1.0 / (1.0 - 2.0 * Q));
    default:
        return length;
    }
}

void fitch_lengths() {
    const int n = tree.n;
    // Transitions A<->G and C<->T, then the eight transversions, as (child, parent) bases.
    static constexpr int kTs[4][2] = {{0, 1}, {1, 0}, {2, 3}, {3, 2}};
    static constexpr int kTv[8][2] = {{0, 2}, {2, 0}, {0, 3}, {3, 0},
                                      {1, 2}, {2, 1}, {1, 3}, {3, 1}};
    for (int v = 1; v <= 2 * n - 1; ++v) {
        if (v == n + 1) continue;
        const int u = tree.cur.parents[v];
        int tcount = 0, vcount = 0;
        for (int p = 0; p < alignment.npat; ++p) {
            const int* sv = set_of(v, p);
            const int* su = set_of(u, p);
            for (const auto& t : kTs)
                if (sv[t[0]] * su[t[1]] == 1) ++tcount;
            for (const auto& t : kTv)
                if (sv[t[0]] * su[t[1]] == 1) ++vcount;
        }
        double length = branch_distance(tcount, vcount, tree.cur.TimeVec[v]);
        // Saturated or identical ends leave the distance undefined, infinite or zero; a
        // short positive branch lets the optimisation start from somewhere sensible.
        if (!(length > 0.0) || std::isinf(length)) length = 0.0001;
        tree.cur.TimeVec[v] = length;
    }
}
