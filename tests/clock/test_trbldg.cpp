// clockml's node-time draw: slopes of the closed form, Newton target, beta draw and the
// withdrawal of a zero-length branch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "clock.hpp"
#include "common/search_tree.hpp"
#include "search/proposal.hpp"
#include "search/search_seams.hpp"

// Log-likelihood of X's two-child subtree with X at time T, from the transition matrices.
static double subtree_lnl(int c0, int c1, double T) {
    double P0[16], P1[16], sum = 0.0;
    transition_matrix(tree.cur.TimeVec[c0] - T, P0);
    transition_matrix(tree.cur.TimeVec[c1] - T, P1);
    for (int p = 0; p < alignment.npat; ++p) {
        double s = 0.0;
        for (int i = 0; i < 4; ++i) {
            double a = 0.0, b = 0.0;
            for (int j = 0; j < 4; ++j) {
                a += P0[4 * i + j] * lik_row(c0)[4 * p + j];
                b += P1[4 * i + j] * lik_row(c1)[4 * p + j];
            }
            s += mp.pi[i] * a * b;
        }
        sum += alignment.site_counter[p] * std::log(s);
    }
    return sum;
}

TEST(NodeTime, SlopesAreTheDerivativesOfTheSubtreeLikelihood) {
    FILE* results = tmpfile();
    setup_search_tree(clock_shape(), 2, results);
    // X = 7 with children leaf 1 and node 9
    const double T0 = 0.3, h = 1e-4;
    double S1 = 0, S2 = 0;
    node_time_slopes(7, 1, 9, T0, S1, S2);
    const double f0 = subtree_lnl(1, 9, T0);
    const double up = subtree_lnl(1, 9, T0 + h), down = subtree_lnl(1, 9, T0 - h);
    EXPECT_NEAR(S1, (up - down) / (2 * h), 1e-6 * std::fabs(S1) + 1e-6);
    EXPECT_NEAR(S2, (up - 2 * f0 + down) / (h * h), 1e-4 * std::fabs(S2) + 1e-3);

    // Scaled partials of a child give the same slopes to the bit.
    for (int p = 0; p < alignment.npat; ++p) {
        for (int a = 0; a < 4; ++a) lik_row(9)[4 * p + a] *= kScaleFactor;
        scale_row(9)[p] += 1;
    }
    double T1 = 0, T2 = 0;
    node_time_slopes(7, 1, 9, T0, T1, T2);
    EXPECT_EQ(T1, S1);
    EXPECT_EQ(T2, S2);
    fclose(results);
}

TEST(NodeTime, TargetAndDraw) {
    reset_all_state();
    reset_tree(5);
    const double T0 = 0.5, U = 0.8, tP = 0.2;
    EXPECT_DOUBLE_EQ(node_time_target(T0, U, tP, -1.0), 0.7);  // clamped at 2/3 of the way
    EXPECT_DOUBLE_EQ(node_time_target(T0, U, tP, -0.03), 0.52);
    EXPECT_DOUBLE_EQ(node_time_target(T0, U, tP, 1.0), 0.3);
    EXPECT_DOUBLE_EQ(node_time_target(T0, U, tP, 0.03), 0.48);
    EXPECT_EQ(node_time_target(T0, U, tP, std::nan("")), T0);

    // m (1 - m) <= nu leaves no beta distribution: the middle, without a draw.
    seed_all(11, 22);
    const auto position = generator_position();
    for (const double target : {tP, U, std::nan("")})
        EXPECT_EQ(draw_node_time(tP, U, target), tP + (U - tP) / 2);
    EXPECT_EQ(generator_position(), position);
    const double t = draw_node_time(tP, U, 0.65);
    EXPECT_GT(t, tP);
    EXPECT_LT(t, U);
    EXPECT_NE(generator_position(), position);
}

TEST(NodeTime, ZeroLengthBranchWithdrawsTheMove) {
    FILE* results = tmpfile();
    // root 6 = (1, 7), 7 = (2, 8), 8 = (3, 9), 9 = (4, 5), with node 9 one step of the
    // number grid above node 7: X = 8 between them can only land on its parent's time.
    const double tP = 0.5, U = std::nextafter(0.5, 1.0);
    setup_search_tree({{{1, 2, 3, 4}, {7, 8, 9, 5}}, {0, 1, 1, 1, 1, 1, 0, tP, U, U, 0}}, 2,
                      results);
    interchange_temp(8, 7, 3, 9, 2, 1, 3);
    testing::internal::CaptureStdout();
    propose_node_values(8, 7, 3, 9, 2, 1, 3);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "zero branch length encountered \n");
    EXPECT_TRUE(temp_equals_current());

    setup_search_tree(clock_shape(), 2, results);
    testing::internal::CaptureStdout();
    propose_node_values(9, 7, 2, 3, 1, 1, 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_GT(tree.temp.TimeVec[9], 0.3);
    EXPECT_LT(tree.temp.TimeVec[9], 1.0);
    fclose(results);
}

// The AVX2 form takes four patterns at a time and the plain form one: over a count that
// leaves a remainder, with scaled and tiny partials and per-lineage rates, both give the
// same bits.
TEST(NodeTime, BothSlopeFormsGiveTheSameBits) {
    reset_all_state();
    std::vector<std::string> rows;
    for (int t = 0; t < 5; ++t) {
        std::string r;
        for (int p = 0; p < 39; ++p) r += "AGCT"[(p * (t + 1) + t) % 4];
        rows.push_back(r);
    }
    set_patterns(rows, std::vector<int>(39, 1));
    use_model(2);
    reset_tree(5);
    reset_likelihood_tables(5, alignment.npat);
    uint32_t x = 12345;
    const auto next = [&x] {
        x = x * 1664525u + 1013904223u;
        return (x >> 8) / 16777216.0;
    };
    for (int p = 0; p < alignment.npat; ++p) {
        alignment.site_counter[p] = 1 + p % 4;
        for (int a = 0; a < 4; ++a) {
            lik_row(1)[4 * p + a] = p % 7 == 0 ? next() * 0x1p-300 : next();
            lik_row(9)[4 * p + a] = p % 5 == 0 ? next() * kScaleFactor : next() * 1e-3;
        }
    }
    tree.cur.TimeVec[1] = 1.0;
    tree.cur.TimeVec[9] = 0.7;
    for (const int lineages : {0, 1}) {
        settings.use_lin_info = lineages;
        tree.cur.RateVec[1] = 0.8;
        tree.cur.RateVec[9] = 1.3;
        tree.cur.RateVec[7] = 1.05;
        double a1 = 0, a2 = 0, b1 = 0, b2 = 0;
        node_time_slopes_plain(7, 1, 9, 0.4, a1, a2);
        if (!node_time_slopes_avx2(7, 1, 9, 0.4, b1, b2)) GTEST_SKIP() << "no AVX2 here";
        EXPECT_EQ(std::memcmp(&a1, &b1, sizeof a1), 0) << a1 << " " << b1;
        EXPECT_EQ(std::memcmp(&a2, &b2, sizeof a2), 0) << a2 << " " << b2;
        EXPECT_TRUE(std::isfinite(a1) && std::isfinite(a2));
    }
}
