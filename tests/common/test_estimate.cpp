// Derivatives of the clock likelihood by mu and Kprime against finite differences, and the
// Newton-Raphson estimators of clockml: ranges and restarts, final acceptance, invariance
// under scaled pattern counts.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <algorithm>
#include <vector>

#include "clock.hpp"
#include "minimise.hpp"
#include "estimate.hpp"
#include "likelihood.hpp"
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

// Every taxon the same: the likelihood keeps rising as mu falls, through zero.
const std::vector<std::vector<int>> kIdentical(6, std::vector<int>{0, 1, 2, 3});
const std::vector<int> kIdenticalCounts = {5, 4, 6, 3};

// Root 7 = (8, 9), 8 = (1, 10), 9 = (11, 6), 10 = (2, 3), 11 = (4, 5); the root is listed
// before its children. Leaves carry different lineage rates.
void setup(int model, const std::vector<std::vector<int>>& rows, const std::vector<int>& counts,
           int count_factor = 1) {
    reset_all_state();
    const int n = 6;
    alignment.ppBase_unique = rows;
    alignment.site_counter = counts;
    for (int& c : alignment.site_counter) c *= count_factor;
    alignment.npat = static_cast<int>(counts.size());
    settings.ntaxa = n;
    settings.model = model;
    settings.use_lin_info = 1;
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
    const double times[13] = {0, 1, 1, 1, 1, 1, 1, 0.0, 0.3, 0.2, 0.6, 0.5, 0};
    const double rates[7] = {1, 1.0, 0.8, 1.3, 0.9, 1.1, 1.2};
    for (int i = 0; i <= 2 * n; ++i) tree.TimeVec[i] = times[i];
    for (int i = 1; i <= n; ++i) tree.RateVec[i] = rates[i];
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

constexpr int kAll = DERIV_MU1 | DERIV_MU2 | DERIV_K1 | DERIV_K2 | DERIV_MUK;

// Central differences of log_likelihood at the current parameters.
void expect_derivatives_match(const RootSums& s, bool kprime_too) {
    const double mu = mp.mu, kp = mp.Kprime;
    const double h1 = 1e-5 * mu, h2 = 1e-3 * mu;
    const double f0 = lnl_at(mu, kp);
    EXPECT_NEAR(s.S_mu, (lnl_at(mu + h1, kp) - lnl_at(mu - h1, kp)) / (2 * h1),
                1e-6 * (1 + fabs(s.S_mu)));
    EXPECT_NEAR(s.H_mumu, (lnl_at(mu + h2, kp) - 2 * f0 + lnl_at(mu - h2, kp)) / (h2 * h2),
                1e-4 * (1 + fabs(s.H_mumu)));
    if (!kprime_too) return;
    const double k1 = 1e-5 * kp, k2 = 1e-3 * kp;
    EXPECT_NEAR(s.S_K, (lnl_at(mu, kp + k1) - lnl_at(mu, kp - k1)) / (2 * k1),
                1e-6 * (1 + fabs(s.S_K)));
    EXPECT_NEAR(s.H_KK, (lnl_at(mu, kp + k2) - 2 * f0 + lnl_at(mu, kp - k2)) / (k2 * k2),
                1e-4 * (1 + fabs(s.H_KK)));
    const double mixed = (lnl_at(mu + h2, kp + k2) - lnl_at(mu + h2, kp - k2) -
                          lnl_at(mu - h2, kp + k2) + lnl_at(mu - h2, kp - k2)) /
                         (4 * h2 * k2);
    EXPECT_NEAR(s.H_muK, mixed, 1e-4 * (1 + fabs(s.H_muK)));
}

std::vector<double> partials() { return std::vector<double>(lik.pppLik.begin(), lik.pppLik.end()); }

}  // namespace

TEST(Derivatives, ClockFormMatchesFiniteDifferencesForEveryModel) {
    for (int model = 1; model <= 4; ++model) {
        SCOPED_TRACE(model);
        setup(model, kVaried, kVariedCounts);
        if (model != 3) mp.mu *= 1.3;  // away from the start-up value, as during a search
        full_pass();
        const std::vector<double> by_full_pass = partials();
        const double lnL = log_likelihood();
        const RootSums s = derivative_pass(model == 1 ? DERIV_MU2 : kAll);
        // The pass leaves the same partials and log-likelihood as the likelihood module.
        EXPECT_TRUE(partials() == by_full_pass);
        EXPECT_EQ(s.lnL, lnL);
        expect_derivatives_match(s, model != 1);
        // Asking for fewer tables gives the same sums.
        const RootSums f = derivative_pass(DERIV_MU1 | DERIV_K1);
        EXPECT_EQ(f.S_mu, s.S_mu);
        if (model != 1) {
            EXPECT_EQ(f.S_K, s.S_K);
        }
    }
}

TEST(Derivatives, ScaledPatternsGiveTheSameSums) {
    setup(2, kVaried, kVariedCounts);
    const RootSums plain = derivative_pass(kAll);
    // Leaf rows 2^-200 times smaller: every internal node of the tree needs scaling, and
    // since the factors are powers of two the ratios at the root are exactly the same.
    for (int leaf = 1; leaf <= 6; ++leaf)
        for (int k = 0; k < 4 * lik.npat; ++k) lik_row(leaf)[k] *= 0x1p-200;
    full_pass();
    const double lnL = log_likelihood();
    const RootSums scaled = derivative_pass(kAll);
    EXPECT_GT(scale_row(7)[0], 1);
    EXPECT_EQ(scaled.lnL, lnL);
    EXPECT_NEAR(scaled.lnL, plain.lnL - 6 * 200 * std::log(2.0) * 31, 1e-9 * fabs(lnL));
    EXPECT_EQ(scaled.S_mu, plain.S_mu);
    EXPECT_EQ(scaled.S_K, plain.S_K);
    EXPECT_EQ(scaled.H_mumu, plain.H_mumu);
    EXPECT_EQ(scaled.H_KK, plain.H_KK);
    EXPECT_EQ(scaled.H_muK, plain.H_muK);
}

TEST(Estimators, AcceptanceAndScaledCounts) {
    // estimate_mu_kprime moves to a stationary point and keeps K and ratio in line.
    setup(2, kVaried, kVariedCounts);
    const double lnL0 = ann.lnL_cur;
    EXPECT_EQ(estimate_mu_kprime(), 0);
    const double mu1 = mp.mu, k1 = mp.Kprime;
    EXPECT_EQ(mp.K, mp.Kprime - 1);
    full_pass();
    EXPECT_GE(log_likelihood(), lnL0);
    const RootSums s = derivative_pass(DERIV_MU1 | DERIV_K1);
    EXPECT_NEAR(s.S_mu, 0.0, 1e-3);
    EXPECT_NEAR(s.S_K, 0.0, 1e-3);

    // Doubling every count doubles every sum and leaves each Newton step as it was.
    setup(2, kVaried, kVariedCounts, 2);
    EXPECT_EQ(estimate_mu_kprime(), 0);
    EXPECT_EQ(mp.mu, mu1);
    EXPECT_EQ(mp.Kprime, k1);
    setup(4, kVaried, kVariedCounts);
    estimate_mu();
    const double mu_single = mp.mu;
    EXPECT_NE(mu_single, 2.0 / 3.0);
    setup(4, kVaried, kVariedCounts, 4);
    estimate_mu();
    EXPECT_EQ(mp.mu, mu_single);
    EXPECT_EQ(mp.Kprime, 2.5);

    // A likelihood held on entry above anything the estimates reach: entry values back,
    // partials recomputed for them.
    setup(2, kVaried, kVariedCounts);
    const double mu0 = mp.mu, kp0 = mp.Kprime, ratio0 = mp.ratio, lnL_entry = ann.lnL_cur;
    ann.lnL_cur = 0.0;
    EXPECT_EQ(estimate_mu_kprime(), 1);
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(mp.Kprime, kp0);
    EXPECT_DOUBLE_EQ(mp.ratio, ratio0);
    EXPECT_EQ(log_likelihood(), lnL_entry);
    estimate_mu();
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(log_likelihood(), lnL_entry);
}

TEST(Estimators, StepsOutOfRangeRestartFromTheEntryValue) {
    // Identical sequences on this tree: from a small mu every Newton step in mu overshoots
    // above 10 mu0 (and the joint step leaves both ranges), so each iteration restarts from
    // the entry values, and the restarted values are what stands at the end.
    setup(3, kIdentical, kIdenticalCounts);
    mp.mu = 0.3;
    full_pass();
    ann.lnL_cur = log_likelihood();
    estimate_mu();
    EXPECT_EQ(mp.mu, 0.3 / 2);
    EXPECT_EQ(mp.Kprime, 1.0);

    setup(3, kIdentical, kIdenticalCounts);
    mp.mu = 0.2;
    full_pass();
    ann.lnL_cur = log_likelihood();
    EXPECT_EQ(estimate_mu_kprime(), 0);
    EXPECT_EQ(mp.mu, 0.2 / 2);
    EXPECT_EQ(mp.Kprime, 1.05 * 1.0);
    EXPECT_EQ(mp.K, mp.Kprime - 1);

    // The restart value of Kprime is itself out of range (above 99.99): rejected.
    setup(3, kIdentical, kIdenticalCounts);
    mp.mu = 0.2;
    mp.Kprime = 96.0;
    full_pass();
    ann.lnL_cur = log_likelihood();
    EXPECT_EQ(estimate_mu_kprime(), 1);
    EXPECT_EQ(mp.mu, 0.2);
    EXPECT_EQ(mp.Kprime, 96.0);
    EXPECT_EQ(mp.K, 95.0);
    EXPECT_EQ(log_likelihood(), ann.lnL_cur);
}

TEST(QuasiNewton, FallbackKeepsOnlyUsableResults) {
    // A usable optimum: the likelihood rises, and the partials belong to the result.
    setup(2, kVaried, kVariedCounts);
    const double lnL0 = ann.lnL_cur;
    qn_estimate();
    EXPECT_GT(mp.mu, 0.0);
    EXPECT_GE(mp.Kprime, 1.0);
    EXPECT_EQ(mp.K, mp.Kprime - 1);
    const double lnL1 = log_likelihood();
    EXPECT_GT(lnL1, lnL0);
    full_pass();
    EXPECT_EQ(log_likelihood(), lnL1);
    const RootSums s = derivative_pass(DERIV_MU1 | DERIV_K1);
    EXPECT_LT(fabs(s.S_mu) * std::max(mp.mu, 1.0), 0.005 * fabs(lnL1));
    EXPECT_LT(fabs(s.S_K) * std::max(mp.Kprime, 1.0), 0.005 * fabs(lnL1));

    // Identical sequences: the likelihood keeps rising as mu falls through zero, and the
    // minimiser follows it. A rate scale below zero is refused: entry values back.
    setup(4, kIdentical, kIdenticalCounts);
    const double mu0 = mp.mu, kp0 = mp.Kprime, ratio0 = mp.ratio, lnL_entry = ann.lnL_cur;
    double p[3] = {0, mu0, kp0};
    int count = 0;
    double value = 0;
    dfpmin_temp(p, 2, 0.005, &count, &value, neg_lnl, neg_lnl_grad);
    EXPECT_LT(p[1], 0.0);
    EXPECT_LT(value, -lnL_entry);
    mp.mu = mu0;
    mp.Kprime = kp0;
    qn_estimate();
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(mp.Kprime, kp0);
    EXPECT_DOUBLE_EQ(mp.ratio, ratio0);
    EXPECT_EQ(log_likelihood(), lnL_entry);
}

TEST(QuasiNewton, EstimationPoint) {
    // Estimation off: mu alone.
    setup(2, kVaried, kVariedCounts);
    const double mu0 = mp.mu, kp_off = mp.Kprime;
    settings.estimate = 0;
    estimation_point();
    EXPECT_NE(mp.mu, mu0);
    EXPECT_EQ(mp.Kprime, kp_off);
    // Estimation on: both, and the partials are recomputed for the final values.
    setup(2, kVaried, kVariedCounts);
    const double kp0 = mp.Kprime;
    settings.estimate = 1;
    estimation_point();
    EXPECT_NE(mp.Kprime, kp0);
    const double lnL = log_likelihood();
    full_pass();
    EXPECT_EQ(log_likelihood(), lnL);
}
