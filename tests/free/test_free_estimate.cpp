// freeml's estimation of Kprime: derivatives with branch lengths against finite
// differences, the estimator's closing step, its restart value and the fallback's range.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "estimate.hpp"
#include "free.hpp"
#include "likelihood.hpp"
#include "minimise.hpp"
#include "model.hpp"
#include "program.hpp"
#include "support.hpp"

namespace {

// Six taxa; codes A 0, G 1, C 2, T 3, gap 4, R 6, Y 9.
const std::vector<std::vector<int>> kVaried = {{0, 1, 2, 3, 0, 0, 1, 2, 3, 0},
                                               {0, 1, 2, 2, 1, 0, 3, 4, 3, 2},
                                               {0, 1, 3, 2, 1, 0, 3, 2, 1, 2},
                                               {1, 1, 2, 3, 0, 2, 0, 3, 3, 0},
                                               {1, 0, 2, 3, 6, 2, 0, 3, 9, 0},
                                               {0, 0, 2, 3, 1, 2, 0, 1, 3, 1}};
const std::vector<int> kVariedCounts = {7, 3, 4, 2, 1, 6, 2, 3, 1, 2};

// Root 7 = (8, 9), 8 = (1, 10), 9 = (11, 6), 10 = (2, 3), 11 = (4, 5), with the length of
// the branch above each node.
void setup(int model, const std::vector<std::vector<int>>& rows, const std::vector<int>& counts) {
    reset_all_state();
    const int n = 6;
    alignment.ppBase_unique = rows;
    alignment.site_counter = counts;
    alignment.npat = static_cast<int>(counts.size());
    settings.ntaxa = n;
    settings.model = model;
    run_files.results = fopen("/dev/null", "w");
    setup_model();
    fclose(run_files.results);
    run_files.results = nullptr;

    reset_tree(n);
    const int rows0[5] = {8, 1, 11, 2, 4}, rows1[5] = {9, 10, 6, 3, 5};
    for (int k = 0; k < 5; ++k) {
        tree.ppTwoRow[0][k] = rows0[k];
        tree.ppTwoRow[1][k] = rows1[k];
    }
    const double lengths[13] = {0, 0.3, 0.1, 0.25, 0.15, 0.2, 0.4, 0, 0.05, 0.12, 0.3, 0.08, 0};
    for (int i = 0; i <= 2 * n; ++i) tree.TimeVec[i] = lengths[i];
    reset_likelihood_tables(n, alignment.npat);
    init_leaf_partials();
    full_pass();
    ann.lnL_cur = log_likelihood();
}

double lnl_at(double mu, double kprime) {
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

}  // namespace

TEST(FreeDerivatives, MatchFiniteDifferencesForEveryModel) {
    for (int model = 1; model <= 4; ++model) {
        SCOPED_TRACE(model);
        setup(model, kVaried, kVariedCounts);
        const double lnL = ann.lnL_cur;
        const RootSums s = derivative_pass(DERIV_MU2 | DERIV_K2 | DERIV_MUK);
        EXPECT_EQ(s.lnL, lnL);
        const double mu = mp.mu, kp = mp.Kprime;
        const double h1 = 1e-5 * mu, h2 = 1e-3 * mu;
        EXPECT_NEAR(s.S_mu, (lnl_at(mu + h1, kp) - lnl_at(mu - h1, kp)) / (2 * h1),
                    1e-6 * (1 + fabs(s.S_mu)));
        EXPECT_NEAR(s.H_mumu, (lnl_at(mu + h2, kp) - 2 * lnL + lnl_at(mu - h2, kp)) / (h2 * h2),
                    1e-4 * (1 + fabs(s.H_mumu)));
        if (model == 1) continue;  // HKY has no Kprime
        const double k1 = 1e-5 * kp, k2 = 1e-3 * kp;
        EXPECT_NEAR(s.S_K, (lnl_at(mu, kp + k1) - lnl_at(mu, kp - k1)) / (2 * k1),
                    1e-6 * (1 + fabs(s.S_K)));
        EXPECT_NEAR(s.H_KK, (lnl_at(mu, kp + k2) - 2 * lnL + lnl_at(mu, kp - k2)) / (k2 * k2),
                    1e-4 * (1 + fabs(s.H_KK)));
        const double mixed = (lnl_at(mu + h2, kp + k2) - lnl_at(mu + h2, kp - k2) -
                              lnl_at(mu - h2, kp + k2) + lnl_at(mu - h2, kp - k2)) /
                             (4 * h2 * k2);
        EXPECT_NEAR(s.H_muK, mixed, 1e-4 * (1 + fabs(s.H_muK)));
    }
}

TEST(FreeEstimator, MuFollowsTheRatioWhateverTheOutcome) {
    // Accepted: Kprime moves and mu is derived from the new ratio.
    setup(2, kVaried, kVariedCounts);
    const double kp0 = mp.Kprime;
    EXPECT_EQ(estimate_kprime(), 0);
    EXPECT_NE(mp.Kprime, kp0);
    EXPECT_EQ(mp.K, mp.Kprime - 1);
    EXPECT_EQ(mp.mu, mu_from_ratio());

    // Rejected (a likelihood on entry that no estimate reaches): Kprime back, mu derived
    // from the restored ratio.
    setup(2, kVaried, kVariedCounts);
    mp.mu = 0.9;
    ann.lnL_cur = 0.0;
    EXPECT_EQ(estimate_kprime(), 1);
    EXPECT_EQ(mp.Kprime, kp0);
    EXPECT_EQ(mp.mu, mu_from_ratio());
    EXPECT_NE(mp.mu, 0.9);

    // Estimation off: nothing moves, not even the partials.
    setup(2, kVaried, kVariedCounts);
    const double mu0 = mp.mu;
    mp.Kprime = 3.0;
    settings.estimate = 0;
    estimation_point();
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(mp.Kprime, 3.0);
    EXPECT_EQ(log_likelihood(), ann.lnL_cur);
}

TEST(FreeEstimator, OutOfRangeRestartAndFallback) {
    // Few transversions on short branches: every Newton step jumps above 99.99, so each
    // iteration restarts at 1.05 Kprime0. Whether that value stands depends on the
    // likelihood held on entry.
    const std::vector<std::vector<int>> few = {{0, 1, 2, 3, 0, 2}, {0, 1, 2, 3, 0, 2},
                                               {0, 1, 2, 3, 2, 0}, {0, 1, 2, 3, 2, 0},
                                               {0, 1, 2, 3, 0, 2}, {0, 1, 2, 3, 2, 2}};
    const std::vector<int> few_counts = {10, 10, 10, 10, 2, 2};
    for (int entry_low = 0; entry_low <= 1; ++entry_low) {
        setup(4, few, few_counts);
        for (int i = 1; i <= 11; ++i) tree.TimeVec[i] *= 0.1;
        full_pass();
        ann.lnL_cur = entry_low ? -1e300 : log_likelihood();
        EXPECT_EQ(estimate_kprime(), entry_low ? 0 : 1);
        EXPECT_EQ(mp.Kprime, entry_low ? 1.05 * 2.5 : 2.5);
        EXPECT_EQ(mp.mu, mu_from_ratio());
    }

    // Only transversions under JC: the minimiser drives Kprime far below 1; the fallback
    // puts the entry value back and leaves mu alone.
    const std::vector<std::vector<int>> transversions = {
        {0, 1, 2, 3, 0, 2}, {2, 3, 0, 1, 0, 2}, {0, 1, 2, 3, 2, 0},
        {2, 3, 0, 1, 2, 0}, {0, 3, 2, 1, 0, 2}, {2, 1, 0, 3, 2, 0}};
    setup(3, transversions, std::vector<int>(6, 3));
    const double mu0 = mp.mu, lnL0 = ann.lnL_cur;
    double p[2] = {0, 1.0};
    int count = 0;
    double value = 0;
    dfpmin_temp(p, 1, 0.005, &count, &value, neg_lnl, neg_lnl_grad);
    EXPECT_LT(p[1], 1.0);
    mp.Kprime = 1.0;
    qn_estimate();
    EXPECT_EQ(mp.Kprime, 1.0);
    EXPECT_EQ(mp.K, 0.0);
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(log_likelihood(), lnL0);

    // A usable result stands: the likelihood rises.
    setup(2, kVaried, kVariedCounts);
    qn_estimate();
    EXPECT_GE(mp.K, 0.0);
    EXPECT_GT(log_likelihood(), ann.lnL_cur);
}
