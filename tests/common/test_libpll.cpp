// Our pruning against libpll's on the same tree, patterns and model: random clock trees
// with gaps and ambiguity codes under all four models, a deep tree whose partials are
// scaled, and parameters moved away from their start-up values.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "engine/gamma_rates.hpp"
#include "engine/likelihood.hpp"
#include "engine/named_model.hpp"
#include "pll_reference.hpp"
#include "sim_case.hpp"
#include "support.hpp"

namespace {

void expect_agreement(const char* what) {
    full_pass();
    const double ours = log_likelihood();
    PllReference ref;
    ASSERT_TRUE(pll_build(ref, pll_fastest_attributes())) << what;
    pll_full_pass(ref);
    const double theirs = pll_root_lnl(ref);
    pll_release(ref);
    ASSERT_TRUE(std::isfinite(ours)) << what;
    EXPECT_NEAR(ours, theirs, 1e-9 * fabs(theirs)) << what;
}

TEST(Libpll, SameLogLikelihoodUnderEveryModel) {
    for (int model = 1; model <= 4; ++model) {
        reset_all_state();
        make_sim_case(12, 80, model, 0.15, 100 + model);
        expect_agreement("start-up parameters");
        mp.mu *= 1.7;
        mp.Kprime = model == 1 || model == 3 ? mp.Kprime : 4.5;
        expect_agreement("moved parameters");
    }
}

TEST(Libpll, SameLogLikelihoodWithScaledPartials) {
    reset_all_state();
    make_sim_case(160, 12, 2, 0.05, 7);
    mp.mu *= 6.0;  // long branches: the partials of many nodes need scaling
    full_pass();
    int scaled = 0;
    for (int p = 0; p < lik.npat; ++p) scaled += scale_row(tree.n + 1)[p];
    EXPECT_GT(scaled, 0);
    expect_agreement("deep tree");
}

}  // namespace

namespace {

// Every named model, alone, with Gamma categories, invariable sites and both, at its
// starting values and at values moved away from them (the clock tree's times scaled by mu).
TEST(Libpll, SameLogLikelihoodUnderEveryNamedModel) {
    const char* const models[] = {"JC", "K2P", "F84", "HKY", "TN93", "GTR", "JC+F", "HKY+FQ",
                                  "GTR+F{0.1,0.2,0.3,0.4}"};
    const char* const rates[] = {"", "+G4", "+I", "+I+G4", "+G7"};
    int seed = 1;
    for (const char* model : models)
        for (const char* r : rates) {
            const std::string name = std::string(model) + r;
            SCOPED_TRACE(name);
            reset_all_state();
            make_sim_case(10, 60, 2, 0.1, static_cast<uint32_t>(300 + seed++), name.c_str());
            expect_agreement("starting values");
            ModelParams::Named& m = mp.named;
            for (int k = 0; k < 5; ++k) m.xp[k] = 0.4 + 0.9 * k;
            m.alpha = 0.35;
            if (m.invariant) m.pinv = 0.6 * m.pinv_max;
            mp.mu = 0.7;
            update_named_model();
            expect_agreement("moved values");
        }
}

// The discrete Gamma rates agree with libpll's (mean of each slice) within the accuracy of
// libpll's slice bounds, which come from an approximation of the chi-square percentage
// points (about 1e-8); ours are bisected to the last bit (they agree with 40-digit values to
// 1e-15, e.g. alpha 0.3, k 4: 0.0052953064055956, 0.10449510858443907, 0.59580283761158821,
// 3.2944067473983771).
TEST(Libpll, SameGammaCategoryRates) {
    double exact[4];
    gamma_category_rates(0.3, 4, exact);
    const double digits40[4] = {0.0052953064055956052, 0.10449510858443907, 0.59580283761158821,
                                3.2944067473983771};
    for (int c = 0; c < 4; ++c) EXPECT_NEAR(exact[c], digits40[c], 1e-14 * digits40[c]);
    for (const double alpha : {0.05, 0.3, 1.0, 4.7, 80.0})
        for (const int k : {2, 4, 8}) {
            double ours[16], theirs[16];
            gamma_category_rates(alpha, k, ours);
            ASSERT_EQ(pll_compute_gamma_cats(alpha, static_cast<unsigned>(k), theirs, PLL_GAMMA_RATES_MEAN),
                      PLL_SUCCESS);
            for (int c = 0; c < k; ++c)
                EXPECT_NEAR(ours[c], theirs[c], 1e-7 * theirs[c]) << alpha << " " << k << " " << c;
        }
}

}  // namespace
