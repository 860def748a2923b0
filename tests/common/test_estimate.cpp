// clockml's estimation: derivatives of the clock likelihood, the Newton-Raphson estimators
// (ranges, restarts, final acceptance, scaled counts) and the quasi-Newton fallback.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/state.hpp"
#include "clock.hpp"
#include "engine/derivatives.hpp"
#include "estimate_setup.hpp"
#include "search/estimation.hpp"
#include "search/minimise.hpp"

using namespace estimate_setup;

namespace {

constexpr int kAll = DERIV_MU1 | DERIV_MU2 | DERIV_K1 | DERIV_K2 | DERIV_MUK;
// Every taxon the same: on this tree the likelihood rises as mu falls, even through zero.
const Rows kIdentical(6, std::vector<int>{0, 1, 2, 3});
const std::vector<int> kIdenticalCounts = {5, 4, 6, 3};

void setup(int model, const Rows& rows = kVaried,
           const std::vector<int>& counts = kVariedCounts, int count_factor = 1) {
    setup_tree(model, rows, counts, kClockTimes, count_factor);
}

void start_identical_at(double mu, double kprime) {
    setup(3, kIdentical, kIdenticalCounts);
    mp.mu = mu;
    mp.Kprime = kprime;
    full_pass();
    ann.lnL_cur = log_likelihood();
}

}  // namespace

TEST(Derivatives, ClockFormMatchesFiniteDifferencesForEveryModel) {
    for (int model = 1; model <= 4; ++model) {
        SCOPED_TRACE(model);
        setup(model);
        mp.mu *= 1.3;
        full_pass();
        const std::vector<double> partials(lik.pppLik.begin(), lik.pppLik.end());
        const double lnL = log_likelihood();
        const RootSums s = derivative_pass(model == 1 ? DERIV_MU2 : kAll);
        // The same partials and log-likelihood as the likelihood module's, to the bit.
        EXPECT_TRUE(std::equal(partials.begin(), partials.end(), lik.pppLik.begin()));
        EXPECT_EQ(s.lnL, lnL);
        expect_derivatives_match(s, model != 1);  // HKY has no Kprime
        EXPECT_EQ(derivative_pass(DERIV_MU1).S_mu, s.S_mu);
    }
}

TEST(Derivatives, ScaledPatternsGiveTheSameSums) {
    setup(2);
    const RootSums plain = derivative_pass(kAll);
    // Leaves 2^-200 smaller (their rows and the code vectors a node update looks up):
    // internal nodes need scaling, and as the factors are powers of two the ratios at the
    // root come out exactly the same.
    for (int leaf = 1; leaf <= 6; ++leaf)
        for (int k = 0; k < 4 * lik.npat; ++k) lik_row(leaf)[k] *= 0x1p-200;
    for (double& x : lik.tip_states) x *= 0x1p-200;
    full_pass();
    const RootSums scaled = derivative_pass(kAll);
    EXPECT_GT(scale_row(7)[0], 1);
    EXPECT_EQ(scaled.lnL, log_likelihood());
    EXPECT_NEAR(scaled.lnL, plain.lnL - 6 * 200 * log(2.0) * 31, 1e-9 * fabs(scaled.lnL));
    EXPECT_EQ(scaled.S_mu, plain.S_mu);
    EXPECT_EQ(scaled.H_mumu, plain.H_mumu);
    EXPECT_EQ(scaled.S_K, plain.S_K);
    EXPECT_EQ(scaled.H_KK, plain.H_KK);
    EXPECT_EQ(scaled.H_muK, plain.H_muK);
}

TEST(Estimators, AcceptanceAndScaledCounts) {
    setup(2);
    EXPECT_EQ(estimate_mu_kprime(ann.lnL_cur), 0);
    const double mu1 = mp.mu, k1 = mp.Kprime;
    EXPECT_EQ(mp.K, mp.Kprime - 1);
    const RootSums s = derivative_pass(DERIV_MU1 | DERIV_K1);
    EXPECT_NEAR(s.S_mu, 0.0, 1e-3);
    EXPECT_NEAR(s.S_K, 0.0, 1e-3);
    EXPECT_GT(s.lnL, ann.lnL_cur);

    // Doubling every count doubles every sum and leaves each Newton step as it was.
    setup(2, kVaried, kVariedCounts, 2);
    EXPECT_EQ(estimate_mu_kprime(ann.lnL_cur), 0);
    EXPECT_EQ(mp.mu, mu1);
    EXPECT_EQ(mp.Kprime, k1);
    setup(4);
    estimate_mu(ann.lnL_cur);
    const double mu_single = mp.mu;
    setup(4, kVaried, kVariedCounts, 4);
    estimate_mu(ann.lnL_cur);
    EXPECT_EQ(mp.mu, mu_single);
    EXPECT_EQ(mp.Kprime, 2.5);

    // An entry likelihood no estimate reaches: entry values back (their partials are
    // recomputed by the caller, as settle_estimation does).
    setup(2);
    const double mu0 = mp.mu, kp0 = mp.Kprime, ratio0 = mp.ratio, lnL0 = ann.lnL_cur;
    ann.lnL_cur = 0.0;
    EXPECT_EQ(estimate_mu_kprime(ann.lnL_cur), 1);
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(mp.Kprime, kp0);
    EXPECT_DOUBLE_EQ(mp.ratio, ratio0);
    EXPECT_EQ(full_pass_log_likelihood(), lnL0);
    estimate_mu(ann.lnL_cur);
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(full_pass_log_likelihood(), lnL0);
}

TEST(Estimators, StepsOutOfRangeRestartFromTheEntryValue) {
    // From a small mu every Newton step overshoots above 10 mu0 (the joint step leaves both
    // ranges): each iteration restarts from the entry values and the restart values stand.
    start_identical_at(0.3, 1.0);
    estimate_mu(ann.lnL_cur);
    EXPECT_EQ(mp.mu, 0.3 / 2);
    EXPECT_EQ(mp.Kprime, 1.0);
    start_identical_at(0.2, 1.0);
    EXPECT_EQ(estimate_mu_kprime(ann.lnL_cur), 0);
    EXPECT_EQ(mp.mu, 0.2 / 2);
    EXPECT_EQ(mp.Kprime, 1.05 * 1.0);
    EXPECT_EQ(mp.K, mp.Kprime - 1);
    // The restart value 1.05 * 96 is itself above 99.99: rejected.
    start_identical_at(0.2, 96.0);
    EXPECT_EQ(estimate_mu_kprime(ann.lnL_cur), 1);
    EXPECT_EQ(mp.mu, 0.2);
    EXPECT_EQ(mp.Kprime, 96.0);
    EXPECT_EQ(full_pass_log_likelihood(), ann.lnL_cur);
}

TEST(QuasiNewton, FallbackKeepsOnlyUsableResults) {
    setup(2);
    qn_estimate();
    EXPECT_GT(mp.mu, 0.0);
    EXPECT_GE(mp.Kprime, 1.0);
    EXPECT_GT(full_pass_log_likelihood(), ann.lnL_cur);
    const RootSums s = derivative_pass(DERIV_MU1 | DERIV_K1);
    EXPECT_EQ(s.lnL, log_likelihood());  // a derivative pass makes the partials as a full pass does
    EXPECT_LT(fabs(s.S_mu) * std::max(mp.mu, 1.0), 0.005 * fabs(s.lnL));
    EXPECT_LT(fabs(s.S_K) * std::max(mp.Kprime, 1.0), 0.005 * fabs(s.lnL));

    // The minimiser follows the likelihood to a negative mu; the fallback refuses it.
    setup(4, kIdentical, kIdenticalCounts);
    const double mu0 = mp.mu, kp0 = mp.Kprime, lnL0 = ann.lnL_cur;
    double p[3] = {0, mu0, kp0}, value = 0;
    int count = 0;
    double capped = 0;
    dfpmin_temp(p, 2, 0.005, &count, &value, neg_lnl, neg_lnl_grad, &capped);
    EXPECT_LT(p[1], 0.0);
    mp.mu = mu0;
    mp.Kprime = kp0;
    qn_estimate();
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(mp.Kprime, kp0);
    EXPECT_EQ(full_pass_log_likelihood(), lnL0);

    // Estimation off: mu alone moves.
    setup(2);
    const double mu_off = mp.mu, kp_off = mp.Kprime;
    settings.estimate = 0;
    estimation_point(ann.lnL_cur);
    EXPECT_NE(mp.mu, mu_off);
    EXPECT_EQ(mp.Kprime, kp_off);
}

TEST(EstimationPoint, AResultBelowTheEntryIsUndone) {
    // An estimate that takes Kprime far from its optimum is undone: the entry values are
    // back, and so are the partials and the current log-likelihood.
    setup(2);
    const double lnL_entry = estimation_point(ann.lnL_cur).lnL;
    const ModelEstimates entry = current_estimates();
    const EstimationResult undone = settle_estimation(lnL_entry, [](double) {
        mp.Kprime = 40;
        mp.K = 39;
        mp.mu *= 3;
        return -HUGE_VAL;
    });
    EXPECT_EQ(mp.mu, entry.mu);
    EXPECT_EQ(mp.Kprime, entry.Kprime);
    EXPECT_EQ(mp.K, entry.K);
    EXPECT_EQ(undone.lnL, lnL_entry);
    full_pass();
    EXPECT_EQ(log_likelihood(), lnL_entry);

    // A stale entry value from before a change of the tree is replaced by the fresh value,
    // and an estimate that improves on it stands.
    setup(2);
    const double settled = estimation_point(-1e300).lnL;
    full_pass();
    EXPECT_EQ(log_likelihood(), settled);
    EXPECT_GT(settled, -1e300);
}
