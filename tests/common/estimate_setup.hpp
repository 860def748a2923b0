// A six-taxon tree with its partials for the estimation tests of both programs, and the
// check of the analytic derivatives against central differences of log_likelihood.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/derivatives.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "support.hpp"

namespace estimate_setup {

using Rows = std::vector<std::vector<int>>;
// Codes A 0, G 1, C 2, T 3, gap 4, R 6, Y 9; one row per taxon.
inline const Rows kVaried = {{0, 1, 2, 3, 0, 0, 1, 2, 3, 0}, {0, 1, 2, 2, 1, 0, 3, 4, 3, 2},
                             {0, 1, 3, 2, 1, 0, 3, 2, 1, 2}, {1, 1, 2, 3, 0, 2, 0, 3, 3, 0},
                             {1, 0, 2, 3, 6, 2, 0, 3, 9, 0}, {0, 0, 2, 3, 1, 2, 0, 1, 3, 1}};
inline const std::vector<int> kVariedCounts = {7, 3, 4, 2, 1, 6, 2, 3, 1, 2};
// Node values 0..12: clock times, or the length of the branch above each node.
inline const std::vector<double> kClockTimes = {0, 1, 1, 1, 1, 1, 1, 0.0, 0.3, 0.2, 0.6, 0.5, 0};
inline const std::vector<double> kFreeLengths = {0,    0.3,  0.1, 0.25, 0.15, 0.2, 0.4,
                                                 0,    0.05, 0.12, 0.3, 0.08, 0};

// Root 7 = (8, 9), 8 = (1, 10), 9 = (11, 6), 10 = (2, 3), 11 = (4, 5): the root is listed
// before its children. Leaves carry different lineage rates (clockml). ann.lnL_cur is the
// tree's log-likelihood.
inline void setup_tree(int model, const Rows& rows, const std::vector<int>& counts,
                       const std::vector<double>& values, int count_factor = 1) {
    reset_all_state();
    const int n = 6;
    alignment.ppBase_unique = rows;
    alignment.npat = static_cast<int>(counts.size());
    for (int c : counts) alignment.site_counter.push_back(c * count_factor);
    settings.ntaxa = n;
    settings.use_lin_info = 1;
    use_model(model);
    reset_tree(n);
    const int rows0[5] = {8, 1, 11, 2, 4}, rows1[5] = {9, 10, 6, 3, 5};
    for (int k = 0; k < 5; ++k) {
        tree.cur.ppTwoRow[0][k] = rows0[k];
        tree.cur.ppTwoRow[1][k] = rows1[k];
    }
    const double rates[7] = {1, 1.0, 0.8, 1.3, 0.9, 1.1, 1.2};
    for (int i = 0; i <= 2 * n; ++i) tree.cur.TimeVec[i] = values[i];
    for (int i = 1; i <= n; ++i) tree.cur.RateVec[i] = rates[i];
    reset_likelihood_tables(n, alignment.npat);
    init_leaf_partials();
    full_pass();
    ann.lnL_cur = log_likelihood();
}

inline double lnl_at(double mu, double kprime) {
    const double mu0 = mp.mu, k0 = mp.Kprime;
    mp.mu = mu;
    mp.Kprime = kprime;
    full_pass();
    const double l = log_likelihood();
    mp.mu = mu0;
    mp.Kprime = k0;
    full_pass();
    return l;
}

// The sums of a derivative pass at the current parameters against central differences.
inline void expect_derivatives_match(const RootSums& s, bool kprime_too) {
    const double mu = mp.mu, kp = mp.Kprime, f0 = lnl_at(mu, kp);
    const double h1 = 1e-5 * mu, h2 = 1e-3 * mu, k1 = 1e-5 * kp, k2 = 1e-3 * kp;
    auto near = [](double analytic, double numeric, double rel) {
        EXPECT_NEAR(analytic, numeric, rel * (1 + fabs(analytic)));
    };
    near(s.S_mu, (lnl_at(mu + h1, kp) - lnl_at(mu - h1, kp)) / (2 * h1), 1e-6);
    near(s.H_mumu, (lnl_at(mu + h2, kp) - 2 * f0 + lnl_at(mu - h2, kp)) / (h2 * h2), 1e-4);
    if (!kprime_too) return;
    near(s.S_K, (lnl_at(mu, kp + k1) - lnl_at(mu, kp - k1)) / (2 * k1), 1e-6);
    near(s.H_KK, (lnl_at(mu, kp + k2) - 2 * f0 + lnl_at(mu, kp - k2)) / (k2 * k2), 1e-4);
    near(s.H_muK,
         (lnl_at(mu + h2, kp + k2) - lnl_at(mu + h2, kp - k2) - lnl_at(mu - h2, kp + k2) +
          lnl_at(mu - h2, kp - k2)) / (4 * h2 * k2),
         1e-4);
}

}  // namespace estimate_setup
