// Substitution models: set-up and its report lines, base frequencies, P(t), lookups.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/model.hpp"
#include "output/model_lines.hpp"
#include "support.hpp"

namespace {

// Base counts A 8, G 4, C 2, T 6 over two taxa and ten sites.
void set_count_data() { set_patterns({"AAGT", "AGCT"}, {3, 2, 2, 3}); }

// Runs setup_model for `model` and returns the model lines it leaves for results.
std::string setup_lines(int model) {
    settings.model = model;
    const std::string lines = capture([](FILE* f) {
        run_files.results = f;
        setup_model();
        write_model_lines();
    });
    run_files.results = nullptr;
    return lines;
}

// Standard output of a statement that ends the process with status 1.
#define EXPECT_EXIT_1_WITH_STDOUT(statement, expected)                                   \
    do {                                                                                  \
        const std::string out_path = testing::TempDir() + "model_stdout.txt";             \
        EXPECT_EXIT(                                                                      \
            {                                                                             \
                if (!freopen(out_path.c_str(), "w", stdout)) exit(2);                     \
                statement;                                                                \
            },                                                                            \
            testing::ExitedWithCode(1), "");                                              \
        EXPECT_EQ(slurp(out_path), expected);                                             \
    } while (0)

}  // namespace

TEST(Model, SetupLinesAndParameters) {
    reset_all_state();
    set_count_data();
    EXPECT_EQ(setup_lines(1),
              "Empirical Base Frequencies:\n\n"
              "   A   0.400000\n   G   0.200000\n   C   0.100000\n   T   0.300000\n\n"
              "The HKY Model will be used\n\n"
              "The transition/transversion ratio = 2.000000\n\n"
              "Kappa = 4.363636\n\n"
              "The scaling factor for the branch lengths is 0.694444\n\n");
    EXPECT_DOUBLE_EQ(mp.aR, 1 + 0.6 * (mp.Kappa - 1));
    EXPECT_DOUBLE_EQ(mp.aY, 1 + 0.4 * (mp.Kappa - 1));
    EXPECT_EQ(exponent_factor(1), mp.aR);
    EXPECT_EQ(exponent_factor(2), mp.aY);

    reset_all_state();
    set_count_data();
    EXPECT_EQ(setup_lines(2),
              "Empirical Base Frequencies:\n\n"
              "   A   0.400000\n   G   0.200000\n   C   0.100000\n   T   0.300000\n\n"
              "The F84 Model will be used\n\n"
              "Transition/transversion ratio = 2.000000\n\n"
              "Transition/transversion parameter = 1.776000\n\n"
              "The scaling factor for the branch lengths is 0.694444\n\n");
    EXPECT_DOUBLE_EQ(mp.Kprime, mp.K + 1);
    // The ratio recovered from K' is the one the model started from.
    ratio_from_kprime();
    EXPECT_NEAR(mp.ratio, 2.0, 1e-14);
    EXPECT_NEAR(mu_from_ratio(), mp.mu, 1e-15);

    reset_all_state();
    set_count_data();
    EXPECT_EQ(setup_lines(3),
              "The JC Model will be used\n\n"
              "The scaling factor for the branch lengths is 1.333333\n\n");
    EXPECT_EQ(mp.piA, 0.25);
    EXPECT_EQ(mp.Kprime, 1.0);
    EXPECT_EQ(mp.kDenom, 0.25);

    reset_all_state();
    set_count_data();
    EXPECT_EQ(setup_lines(4),
              "The K2P Model will be used\n\n"
              "Transition/transversion ratio = 2.000000\n\n"
              "Transition/transversion parameter = 1.500000\n\n"
              "Kappa = 4.000000\n\n"
              "The scaling factor for the branch lengths is 0.666667\n\n");
    EXPECT_EQ(mp.Kappa, 4.0);
    EXPECT_EQ(mp.K, 1.5);
    EXPECT_EQ(mp.Kprime, 2.5);
    EXPECT_DOUBLE_EQ(mp.mu, 2.0 / 3.0);
    // Under K2P the ratio is K + 1/2.
    mp.Kprime = 3.7;
    ratio_from_kprime();
    EXPECT_DOUBLE_EQ(mp.K, 2.7);
    EXPECT_NEAR(mp.ratio, mp.K + 0.5, 1e-14);
}

TEST(Model, SetupFailures) {
    reset_all_state();
    set_count_data();
    settings.model = 5;
    EXPECT_EXIT_1_WITH_STDOUT(setup_model(), "Error in model specification\n\n");

    // Purines only: HKY and F84 stop, JC and K2P never look at the frequencies.
    reset_all_state();
    set_patterns({"AGR", "GGA"}, {2, 1, 1});
    settings.model = 2;
    EXPECT_EXIT_1_WITH_STDOUT(empirical_base_freqs(),
                              "There are only pyrimidines or purines in your data\n");
    settings.model = 1;
    EXPECT_EXIT_1_WITH_STDOUT(setup_model(), "There are only pyrimidines or purines in your data\n");
    EXPECT_EQ(setup_lines(4).substr(0, 26), "The K2P Model will be used");
}

TEST(Model, EmpiricalFrequencies) {
    // Without ambiguity codes the first round gives the plain proportions and the second
    // confirms them, so they come out exactly.
    reset_all_state();
    set_count_data();
    run_files.results = fopen("/dev/null", "w");
    empirical_base_freqs();
    EXPECT_EQ(mp.piA, 8.0 / 20);
    EXPECT_EQ(mp.piG, 4.0 / 20);
    EXPECT_EQ(mp.piC, 2.0 / 20);
    EXPECT_EQ(mp.piT, 6.0 / 20);
    EXPECT_EQ(mp.pi_r, mp.piA + mp.piG);

    // R shares its four counts in the A:G proportion and N spreads evenly over the
    // estimate, so the iteration heads for A 1/2, G 1/6, C 1/6, T 1/6.
    set_patterns({"AGCTRN"}, {3, 1, 2, 2, 4, 2});
    empirical_base_freqs();
    fclose(run_files.results);
    EXPECT_NEAR(mp.piA, 0.5, 2e-3);
    EXPECT_NEAR(mp.piG, 1.0 / 6, 2e-3);
    EXPECT_NEAR(mp.piC, 1.0 / 6, 1e-6);
    EXPECT_NEAR(mp.piT, 1.0 / 6, 1e-6);
    EXPECT_NEAR(mp.piA + mp.piG + mp.piC + mp.piT, 1.0, 1e-15);
}

TEST(Model, TransitionMatrix) {
    for (int model = 1; model <= 4; ++model) {
        reset_all_state();
        set_count_data();
        setup_lines(model);
        const double pi[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
        double P[16];
        for (double t : {0.0, 0.001, 0.37, 2.5}) {
            transition_matrix(t, P);
            for (int i = 0; i < 4; ++i) {
                double row = 0.0;
                for (int j = 0; j < 4; ++j) {
                    row += P[4 * i + j];
                    EXPECT_GE(P[4 * i + j], -1e-16);
                    if (t == 0.0) {
                        EXPECT_NEAR(P[4 * i + j], i == j ? 1.0 : 0.0, 1e-15);
                    }
                }
                EXPECT_NEAR(row, 1.0, 1e-15) << "model " << model << " t " << t;
            }
        }
        transition_matrix(800.0, P);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) EXPECT_NEAR(P[4 * i + j], pi[j], 1e-15);
        if (model == 3) {
            for (double t : {0.0, 0.2, 1.3}) {
                transition_matrix(t, P);
                const double e = exp(-4.0 * t / 3.0);
                for (int i = 0; i < 4; ++i)
                    for (int j = 0; j < 4; ++j)
                        EXPECT_NEAR(P[4 * i + j], i == j ? 0.25 + 0.75 * e : 0.25 - 0.25 * e,
                                    1e-15);
            }
        }
    }
}

TEST(Model, Lookups) {
    reset_all_state();
    set_count_data();
    setup_lines(2);
    EXPECT_EQ(transition_ind(0, 1), 1);
    EXPECT_EQ(transition_ind(2, 3), 1);
    EXPECT_EQ(transition_ind(3, 3), 1);
    EXPECT_EQ(transition_ind(1, 2), 0);
    EXPECT_EQ(transition_ind(0, 4), 0);
    EXPECT_EQ(same_state(2, 2) + same_state(2, 1), 1);
    EXPECT_EQ(state_prob(2), mp.piC);
    EXPECT_EQ(group_prob(1), mp.pi_r);
    EXPECT_EQ(group_prob(3), mp.pi_y);
    EXPECT_EQ(exponent_factor(0), mp.Kprime);
    testing::internal::CaptureStdout();
    EXPECT_EQ(transition_ind(4, 0), 0);
    EXPECT_EQ(state_prob(-1), 0.0);
    EXPECT_EQ(group_prob(4), 0.0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error in transition_ind\n"
              "There was a problem identifying state probs\n"
              "There was a problem finding pi_r and pi_y\n");
}
