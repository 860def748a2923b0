// Model strings and the rate matrices of the named models: the names and modifiers read,
// the canonical names, the refusals; the TN93 closed form against the eigenvectors of the
// same matrix; the Gamma categories and invariable sites keeping the mean rate at 1.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "base/state.hpp"
#include "common/estimate_setup.hpp"
#include "engine/named_model.hpp"
#include "input/model_spec.hpp"
#include "search/estimation.hpp"
#include "support.hpp"

namespace {

std::string canonical(const char* text) {
    ModelSpec s;
    std::string why;
    return parse_model_spec(text, s, why) ? model_spec_name(s) : "error: " + why;
}

}  // namespace

TEST(ModelSpec, NamesModifiersAndRefusals) {
    EXPECT_EQ(canonical("GTR+G"), "GTR+F+G4");
    EXPECT_EQ(canonical("gtr+i+g8"), "GTR+F+I+G8");
    EXPECT_EQ(canonical("HKY{4.0}+G4{0.5}"), "HKY{4}+F+G4{0.5}");
    EXPECT_EQ(canonical("K80"), "K2P");
    EXPECT_EQ(canonical("F81"), "JC+F");
    EXPECT_EQ(canonical("TN93+FQ+I{0.25}"), "TN93+FQ+I{0.25}");
    EXPECT_EQ(canonical("GTR{1,2,1,1,4}+F{0.1,0.2,0.3,0.4}"), "GTR{1,2,1,1,4}+F{0.1,0.2,0.3,0.4}");
    EXPECT_EQ(canonical("GTR{1,2}"), "error: GTR takes 5 values in braces, not 2");
    EXPECT_EQ(canonical("HKY+G1"), "error: +G takes 2 to 16 categories");
    EXPECT_EQ(canonical("HKY+G4+G4"), "error: +G is given twice");
    EXPECT_EQ(canonical("HKY+I{1}"), "error: +I{p} takes one proportion p, 0 <= p < 1");
    EXPECT_EQ(canonical("HKY+F{0.5,0.5,0,0}"),
              "error: +F{...} takes four positive frequencies of A, C, G and T that add up to 1");
    EXPECT_EQ(canonical("HKY{x}"), "error: 'x' in {x} is not a number");
}

TEST(NamedModel, ClosedFormEqualsEigenvectorsAndRatesAverageOne) {
    reset_all_state();
    set_patterns({"AAGT", "AGCT", "ACCT"}, {3, 2, 2, 3});  // three sequences, four patterns
    ModelSpec tn;
    std::string why;
    ASSERT_TRUE(parse_model_spec("TN93{3.5,7.1}+F{0.1,0.2,0.3,0.4}+I{0.2}+G4{0.6}", tn, why)) << why;
    setup_named_model(tn);
    double closed[16];
    named_transition_matrix(0.37, closed);
    // The same matrix as GTR: transversions 1, A-G 3.5, C-T 7.1.
    mp.named.kind = ModelKind::kGTR;
    const double gtr[5] = {1.0, 3.5, 1.0, 1.0, 7.1};
    for (int k = 0; k < 5; ++k) mp.named.xp[k] = gtr[k];
    update_named_model();
    double eigen[16];
    named_transition_matrix(0.37, eigen);
    for (int i = 0; i < 4; ++i) {
        double row = 0;
        for (int j = 0; j < 4; ++j) {
            EXPECT_NEAR(closed[4 * i + j], eigen[4 * i + j], 1e-14);
            row += eigen[4 * i + j];
        }
        EXPECT_NEAR(row, 1.0, 1e-14);
    }
    // Over all sites (invariable ones at rate 0) the mean rate is 1.
    double mean = 0;
    for (int c = 0; c < mp.named.ncat; ++c) mean += mp.named.cat_weight * mp.named.cat_rate[c];
    EXPECT_NEAR(mean, 1.0, 1e-14);
}

// Estimation points under a model by name climb from poor values, never lower the
// log-likelihood, and leave the partials of the parameters that stand.
TEST(NamedModel, EstimationClimbsAndNeverFalls) {
    using namespace estimate_setup;
    setup_tree(2, kVaried, kVariedCounts, kClockTimes);
    std::string why;
    ASSERT_TRUE(parse_model_spec("GTR+I+G4", settings.model_spec, why)) << why;
    setup_model();
    reset_likelihood_tables(6, alignment.npat, mp.named.ncat, false);
    init_leaf_partials();
    mp.named.alpha = 20.0;
    mp.named.xp[1] = 0.2;
    update_named_model();
    full_pass();
    double lnL = log_likelihood();
    const double start = lnL;
    for (int point = 0; point < 8; ++point) {
        const double next = estimation_point(lnL).lnL;
        EXPECT_GE(next, lnL);
        full_pass();
        EXPECT_EQ(log_likelihood(), next);
        lnL = next;
    }
    EXPECT_GT(lnL, start + 0.5);
}
