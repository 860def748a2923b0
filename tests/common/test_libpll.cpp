// Our pruning against libpll's on the same tree, patterns and model: random clock trees
// with gaps and ambiguity codes under all four models, a deep tree whose partials are
// scaled, and parameters moved away from their start-up values.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/likelihood.hpp"
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
