// freeml's estimation: derivatives with branch lengths, the estimator's closing step and
// restart value, and the fallback's range for K.
#include <gtest/gtest.h>

#include "../common/estimate_setup.hpp"
#include "base/state.hpp"
#include "engine/derivatives.hpp"
#include "free.hpp"
#include "search/estimation.hpp"
#include "search/minimise.hpp"

using namespace estimate_setup;

TEST(FreeDerivatives, MatchFiniteDifferencesForEveryModel) {
    for (int model = 1; model <= 4; ++model) {
        SCOPED_TRACE(model);
        setup_tree(model, kVaried, kVariedCounts, kFreeLengths);
        const RootSums s = derivative_pass(DERIV_MU2 | DERIV_K2 | DERIV_MUK);
        EXPECT_EQ(s.lnL, ann.lnL_cur);
        expect_derivatives_match(s, model != 1);  // HKY has no Kprime
    }
}

TEST(FreeEstimator, MuFollowsTheRatioWhateverTheOutcome) {
    setup_tree(2, kVaried, kVariedCounts, kFreeLengths);
    const double kp0 = mp.Kprime;
    EXPECT_EQ(estimate_kprime(ann.lnL_cur), 0);
    EXPECT_NE(mp.Kprime, kp0);
    EXPECT_EQ(mp.K, mp.Kprime - 1);
    EXPECT_EQ(mp.mu, mu_from_ratio());

    // Rejected: Kprime back, mu derived from the restored ratio.
    setup_tree(2, kVaried, kVariedCounts, kFreeLengths);
    mp.mu = 0.9;
    ann.lnL_cur = 0.0;
    EXPECT_EQ(estimate_kprime(ann.lnL_cur), 1);
    EXPECT_EQ(mp.Kprime, kp0);
    EXPECT_EQ(mp.mu, mu_from_ratio());

    // Few transversions on short branches: every step jumps above 99.99 and restarts at
    // 1.05 Kprime0, which stands only when the entry likelihood is below its own.
    const Rows few = {{0, 1, 2, 3, 0, 2}, {0, 1, 2, 3, 0, 2}, {0, 1, 2, 3, 2, 0},
                      {0, 1, 2, 3, 2, 0}, {0, 1, 2, 3, 0, 2}, {0, 1, 2, 3, 2, 2}};
    std::vector<double> short_lengths = kFreeLengths;
    for (double& t : short_lengths) t *= 0.1;
    for (int entry_low = 0; entry_low <= 1; ++entry_low) {
        setup_tree(4, few, {10, 10, 10, 10, 2, 2}, short_lengths);
        if (entry_low) ann.lnL_cur = -1e300;
        EXPECT_EQ(estimate_kprime(ann.lnL_cur), 1 - entry_low);
        EXPECT_EQ(mp.Kprime, entry_low ? 1.05 * 2.5 : 2.5);
        EXPECT_EQ(mp.mu, mu_from_ratio());
    }

    // The Newton estimate rejected, the quasi-Newton fallback moves Kprime: mu follows the
    // ratio there too, and the estimation point keeps the result only for a better fit.
    setup_tree(2, kVaried, kVariedCounts, kFreeLengths);
    settings.estimate = 1;
    mp.mu = 0.9;
    ann.lnL_cur = 0.0;
    reestimate_kprime(ann.lnL_cur);
    EXPECT_NE(mp.Kprime, kp0);
    EXPECT_EQ(mp.mu, mu_from_ratio());
}

TEST(FreeEstimator, FallbackRange) {
    // Only transversions under JC: the minimiser takes Kprime far below 1 (K < 0); the
    // fallback puts the entry value back and leaves mu alone.
    const Rows transversions = {{0, 1, 2, 3, 0, 2}, {2, 3, 0, 1, 0, 2}, {0, 1, 2, 3, 2, 0},
                                {2, 3, 0, 1, 2, 0}, {0, 3, 2, 1, 0, 2}, {2, 1, 0, 3, 2, 0}};
    setup_tree(3, transversions, std::vector<int>(6, 3), kFreeLengths);
    const double mu0 = mp.mu;
    double p[2] = {0, 1.0}, value = 0, capped = 0;
    int count = 0;
    dfpmin_temp(p, 1, 0.005, &count, &value, neg_lnl, neg_lnl_grad, &capped);
    EXPECT_LT(p[1], 1.0);
    mp.Kprime = 1.0;
    qn_estimate();
    EXPECT_EQ(mp.Kprime, 1.0);
    EXPECT_EQ(mp.K, 0.0);
    EXPECT_EQ(mp.mu, mu0);
    EXPECT_EQ(full_pass_log_likelihood(), ann.lnL_cur);

    setup_tree(2, kVaried, kVariedCounts, kFreeLengths);
    qn_estimate();
    EXPECT_GE(mp.K, 0.0);
    EXPECT_GT(full_pass_log_likelihood(), ann.lnL_cur);
    // Estimation off: nothing moves.
    const double kp = mp.Kprime, lnL = log_likelihood();
    settings.estimate = 0;
    estimation_point(ann.lnL_cur);
    EXPECT_EQ(mp.Kprime, kp);
    EXPECT_EQ(log_likelihood(), lnL);
}

TEST(FreeEstimator, GuardedNewtonReachesTheOptimumFromAnyStart) {
    // The optimum of Kprime by the plain loop from its usual start.
    setup_tree(2, kVaried, kVariedCounts, kFreeLengths);
    ASSERT_EQ(estimate_kprime(ann.lnL_cur), 0);
    const double best_k = mp.Kprime;
    const double best_lnL = full_pass_log_likelihood();
    // From far below and far above it, where the likelihood is flat or convex and plain
    // Newton steps run away, the guarded steps end there, never lower than they started.
    for (double start : {1.0, 1.3, 12.0, 60.0}) {
        SCOPED_TRACE(start);
        setup_tree(2, kVaried, kVariedCounts, kFreeLengths);
        settings.newton_guard = 1;
        mp.Kprime = start;
        const double entry = full_pass_log_likelihood();
        EXPECT_EQ(estimate_kprime(entry), 0);
        EXPECT_EQ(mp.mu, mu_from_ratio());
        EXPECT_NEAR(mp.Kprime, best_k, 0.05);
        EXPECT_GE(full_pass_log_likelihood(), entry);
        EXPECT_NEAR(full_pass_log_likelihood(), best_lnL, 1e-3);
    }
    // Few transversions on short branches, where every plain step leaves the range: the
    // guarded steps stay in it.
    const Rows few = {{0, 1, 2, 3, 0, 2}, {0, 1, 2, 3, 0, 2}, {0, 1, 2, 3, 2, 0},
                      {0, 1, 2, 3, 2, 0}, {0, 1, 2, 3, 0, 2}, {0, 1, 2, 3, 2, 2}};
    std::vector<double> short_lengths = kFreeLengths;
    for (double& t : short_lengths) t *= 0.1;
    setup_tree(4, few, {10, 10, 10, 10, 2, 2}, short_lengths);
    settings.newton_guard = 1;
    const double entry = ann.lnL_cur;
    EXPECT_EQ(estimate_kprime(entry), 0);
    EXPECT_GE(mp.Kprime, 1.0);
    EXPECT_LE(mp.Kprime, 99.99);
    EXPECT_GE(full_pass_log_likelihood(), entry);
}
