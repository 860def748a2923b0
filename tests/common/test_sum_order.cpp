// The derivative pass adds its terms in the order of its formulas. A plain transcription,
// one pattern, state and term at a time, must give the same bits in every table and root
// sum, so that any regrouping of the hot loops shows up here and not in printed digits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "base/state.hpp"
#include "engine/derivatives.hpp"
#include "engine/engine_seams.hpp"
#include "estimate_setup.hpp"

using namespace estimate_setup;

namespace {

// Partial and its five derivatives for one node, [pattern][state] each.
struct Plain {
    std::vector<double> L, mu1, mu2, k1, k2, muk;
};

// Children's values of one branch: A, A^mu, A^mumu, A^K, A^KK, A^muK for state i.
struct ChildTerms {
    double L = 0.0, mu1 = 0.0, mu2 = 0.0, k1 = 0.0, k2 = 0.0, muk = 0.0;
};

Plain plain_node(int v, std::vector<Plain>& done);

ChildTerms plain_child(int v, int c, int p, int i, std::vector<Plain>& done) {
    const Plain& x = done[c];
    const double t = branch_length(v, c, tree.cur.TimeVec.data());
    double P[16];
    transition_matrix(t, P);
    const double mu = mp.mu;
    const double e1 = exp(-mu * t);
    ChildTerms s;
    for (int j = 0; j < 4; ++j) {
        const double K = exponent_factor(j);
        const double e2 = exp(-mu * K * t);
        const double q = transition_ind(i, j) * state_prob(j) / group_prob(j);
        const double pi = state_prob(j), d = same_state(i, j);
        const double Pij = P[4 * i + j];
        const double dmu = -t * (q - pi) * e1 - K * t * (d - q) * e2;
        const double dmumu = t * t * (q - pi) * e1 + (K * t) * (K * t) * (d - q) * e2;
        const double dk = -mu * t * (d - q) * e2;
        const double dkk = (mu * t) * (mu * t) * (d - q) * e2;
        const double dmuk = -t * (1 - mu * K * t) * (d - q) * e2;
        const int o = 4 * p + j;
        s.L += Pij * x.L[o];
        s.mu1 += dmu * x.L[o] + Pij * x.mu1[o];
        s.mu2 += dmumu * x.L[o] + 2 * dmu * x.mu1[o] + Pij * x.mu2[o];
        s.k1 += dk * x.L[o] + Pij * x.k1[o];
        s.k2 += dkk * x.L[o] + 2 * dk * x.k1[o] + Pij * x.k2[o];
        s.muk += dmuk * x.L[o] + dmu * x.k1[o] + dk * x.mu1[o] + Pij * x.muk[o];
    }
    return s;
}

Plain plain_node(int v, std::vector<Plain>& done) {
    const int k = v - (tree.n + 1), a = tree.cur.ppTwoRow[0][k], b = tree.cur.ppTwoRow[1][k];
    for (const int c : {a, b})
        if (c > tree.n) plain_node(c, done);
    const std::size_t cells = 4 * static_cast<std::size_t>(alignment.npat);
    Plain r{std::vector<double>(cells), std::vector<double>(cells), std::vector<double>(cells),
            std::vector<double>(cells), std::vector<double>(cells), std::vector<double>(cells)};
    for (int p = 0; p < alignment.npat; ++p)
        for (int i = 0; i < 4; ++i) {
            const ChildTerms x = plain_child(v, a, p, i, done);
            const ChildTerms y = plain_child(v, b, p, i, done);
            const int o = 4 * p + i;
            r.L[o] = x.L * y.L;
            r.mu1[o] = x.mu1 * y.L + x.L * y.mu1;
            r.mu2[o] = x.mu2 * y.L + 2 * x.mu1 * y.mu1 + x.L * y.mu2;
            r.k1[o] = x.k1 * y.L + x.L * y.k1;
            r.k2[o] = x.k2 * y.L + 2 * x.k1 * y.k1 + x.L * y.k2;
            r.muk[o] = x.muk * y.L + x.mu1 * y.k1 + x.k1 * y.mu1 + x.L * y.muk;
        }
    done[v] = r;
    return r;
}

bool same_bits(const std::vector<double>& plain, const AlignedDoubles& table, int v) {
    const double* row = table.data() + static_cast<std::size_t>(v) * plain.size();
    for (std::size_t o = 0; o < plain.size(); ++o)
        if (std::memcmp(&plain[o], &row[o], sizeof(double)) != 0) return false;
    return true;
}

}  // namespace

TEST(SumOrder, DerivativePassIsThePlainFormulaToTheBit) {
    for (const int model : {2, 1}) {  // F84, and HKY with its two exponent factors
        SCOPED_TRACE(model);
        setup_tree(model, kVaried, kVariedCounts, kClockTimes);
        mp.mu *= 1.3;
        mp.Kprime += 0.4;
        const RootSums s = derivative_pass(DERIV_MU1 | DERIV_MU2 | DERIV_K1 | DERIV_K2 | DERIV_MUK);

        const int n = tree.n, root = n + 1;
        const std::size_t cells = 4 * static_cast<std::size_t>(alignment.npat);
        std::vector<Plain> done(2 * n);
        for (int m = 1; m <= n; ++m) {
            const double* leaf = lik_row(m);
            done[m] = Plain{std::vector<double>(leaf, leaf + cells), std::vector<double>(cells),
                            std::vector<double>(cells), std::vector<double>(cells),
                            std::vector<double>(cells), std::vector<double>(cells)};
        }
        plain_node(root, done);
        for (int v = root; v <= 2 * n - 1; ++v) {
            SCOPED_TRACE(v);
            EXPECT_TRUE(same_bits(done[v].L, lik.pppLik, v));
            EXPECT_TRUE(same_bits(done[v].mu1, lik.pppEstMu1, v));
            EXPECT_TRUE(same_bits(done[v].mu2, lik.pppEstMu2, v));
            EXPECT_TRUE(same_bits(done[v].k1, lik.pppEstK1, v));
            EXPECT_TRUE(same_bits(done[v].k2, lik.pppEstK2, v));
            EXPECT_TRUE(same_bits(done[v].muk, lik.pppEstMuK, v));
        }

        // Root sums over patterns in order, each site likelihood over A, G, C, T from 0.
        RootSums r;
        const Plain& x = done[root];
        for (int p = 0; p < alignment.npat; ++p) {
            double Ls = 0.0, Lm = 0.0, Lmm = 0.0, Lk = 0.0, Lkk = 0.0, Lmk = 0.0;
            for (int i = 0; i < 4; ++i) {
                const double pi = state_prob(i);
                Ls += pi * x.L[4 * p + i];
                Lm += pi * x.mu1[4 * p + i];
                Lmm += pi * x.mu2[4 * p + i];
                Lk += pi * x.k1[4 * p + i];
                Lkk += pi * x.k2[4 * p + i];
                Lmk += pi * x.muk[4 * p + i];
            }
            const int ns = alignment.site_counter[p];
            r.lnL += ns * log(Ls);
            r.S_mu += ns * Lm / Ls;
            r.S_K += ns * Lk / Ls;
            r.H_mumu += ns * (Lmm / Ls - (Lm / Ls) * (Lm / Ls));
            r.H_KK += ns * (Lkk / Ls - (Lk / Ls) * (Lk / Ls));
            r.H_muK += ns * (Lmk / Ls - Lm * Lk / (Ls * Ls));
        }
        EXPECT_EQ(s.lnL, r.lnL);
        EXPECT_EQ(s.S_mu, r.S_mu);
        EXPECT_EQ(s.S_K, r.S_K);
        EXPECT_EQ(s.H_mumu, r.H_mumu);
        EXPECT_EQ(s.H_KK, r.H_KK);
        EXPECT_EQ(s.H_muK, r.H_muK);
    }
}
