// An independent evaluation of the log-likelihood: transition matrices as matrix
// exponentials of each model's rate matrix, summed over every assignment of states to the
// internal nodes, in long double. Shared by the likelihood tests of both programs.
#pragma once

#include <cmath>
#include <vector>

#include "base/state.hpp"

namespace reference {

using LD = long double;

// State sets of the codes A G C T - M R W S Y K B D H V N, with A G C T as bits 0..3.
inline const int kSets[16] = {1, 2, 4, 8, 15, 5, 3, 9, 6, 12, 10, 14, 11, 13, 7, 15};

struct M4 {
    LD a[16];
};
inline M4 mul(const M4& x, const M4& y) {
    M4 r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.a[4 * i + j] += x.a[4 * i + k] * y.a[4 * k + j];
    return r;
}
// Instantaneous rates: HKY multiplies transitions by Kappa; F84 (with JC and K2P as its
// special cases) adds a within-group process of rate K that draws from the group.
inline M4 rate_matrix() {
    const LD pi[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
    const LD grp[4] = {mp.pi_r, mp.pi_r, mp.pi_y, mp.pi_y};
    M4 q{};
    for (int i = 0; i < 4; ++i) {
        LD out = 0;
        for (int j = 0; j < 4; ++j) {
            if (i == j) continue;
            const bool ts = (i < 2) == (j < 2);
            LD r = mp.model == 1 ? pi[j] * (ts ? (LD)mp.Kappa : 1.0L)
                                 : pi[j] + (ts ? (LD)mp.K * pi[j] / grp[j] : 0.0L);
            q.a[4 * i + j] = (LD)mp.mu * r;
            out += q.a[4 * i + j];
        }
        q.a[4 * i + i] = -out;
    }
    return q;
}
// P(t) = exp(Qt) by scaling and squaring of the Taylor series.
inline M4 ref_P(LD t) {
    M4 x = rate_matrix();
    int squarings = 0;
    LD norm = 0;
    for (LD v : x.a) norm += fabsl(v * t);
    while (norm > 0.25L) norm /= 2, ++squarings;
    const LD s = t / powl(2.0L, squarings);
    M4 term{}, sum{};
    for (int i = 0; i < 4; ++i) term.a[5 * i] = sum.a[5 * i] = 1;
    for (int k = 1; k <= 30; ++k) {
        term = mul(term, x);
        for (LD& v : term.a) v *= s / k;
        for (int c = 0; c < 16; ++c) sum.a[c] += term.a[c];
    }
    for (int i = 0; i < squarings; ++i) sum = mul(sum, sum);
    return sum;
}

// Brute force over the tree described by tree.cur.parents (root n+1), with len[c] the length
// of the branch above node c at mu = 1: every assignment of states to the internal nodes,
// each leaf summed over the states its code allows.
inline LD brute_force_lnl(const std::vector<LD>& len) {
    const int n = tree.n, root = n + 1;
    std::vector<M4> P(2 * n + 1);
    for (int c = 1; c <= 2 * n - 1; ++c)
        if (c != root) P[c] = ref_P(len[c]);
    const LD pi[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
    LD lnl = 0;
    std::vector<int> s(2 * n + 1, 0);
    for (int p = 0; p < alignment.npat; ++p) {
        LD site = 0;
        for (long code = 0; code < (1L << (2 * (n - 1))); ++code) {
            for (int v = root; v <= 2 * n - 1; ++v) s[v] = (code >> (2 * (v - root))) & 3;
            LD prod = pi[s[root]];
            for (int c = 1; c <= 2 * n - 1; ++c) {
                if (c == root) continue;
                const LD* row = P[c].a + 4 * s[tree.cur.parents[c]];
                if (c > n) {
                    prod *= row[s[c]];
                    continue;
                }
                LD leaf = 0;
                for (int b = 0; b < 4; ++b)
                    if (kSets[alignment.ppBase_unique[c - 1][p]] >> b & 1) leaf += row[b];
                prod *= leaf;
            }
            site += prod;
        }
        lnl += alignment.site_counter[p] * logl(site);
    }
    return lnl;
}

}  // namespace reference
