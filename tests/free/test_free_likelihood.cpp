// Likelihood with free branch lengths: each node holds the length of the branch above it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "reference_likelihood.hpp"
#include "support.hpp"

namespace {

// (node, first child, second child) and the length above every non-root node.
void set_tree(int n, const std::vector<Children>& joins, const std::vector<double>& len) {
    set_children(n, joins);
    for (std::size_t v = 0; v < len.size(); ++v) tree.cur.TimeVec[v] = len[v];
    reset_likelihood_tables(n, alignment.npat);
    init_leaf_partials();
}

}  // namespace

TEST(FreeLikelihood, OnlyTheSumOfTheRootBranchesCounts) {
    for (int model = 1; model <= 4; ++model) {
        reset_all_state();
        set_patterns({"AGCTAAC-", "AGTTGATA", "GACTCGAR", "GATCATTA", "CGCTAANA"},
                     {3, 1, 2, 1, 2, 1, 2, 1});
        use_model(model);
        // ((1,2)7, (3,(4,5)9)8)6
        set_tree(5, {{6, 7, 8}, {7, 1, 2}, {8, 3, 9}, {9, 4, 5}},
                 {0, 0.1, 0.25, 0.05, 0.3, 0.2, 0, 0.4, 0.15, 0.07});
        full_pass();
        const double lnl = log_likelihood();
        ASSERT_TRUE(std::isfinite(lnl));
        for (double shift : {0.3, -0.15, 0.4}) {
            tree.cur.TimeVec[7] = 0.4 + shift;
            tree.cur.TimeVec[8] = 0.15 - shift;
            if (tree.cur.TimeVec[8] < 0) continue;
            full_pass();
            EXPECT_NEAR(log_likelihood(), lnl, 1e-12 * fabs(lnl)) << "model " << model;
        }
        // Another branch does change it.
        tree.cur.TimeVec[9] = 0.5;
        full_pass();
        EXPECT_GT(fabs(log_likelihood() - lnl), 1e-3);
    }
}

TEST(FreeLikelihood, ZeroBranchesAndPathPasses) {
    reset_all_state();
    set_patterns({"AGTN", "AGTC", "CCAA"}, {1, 1, 1, 1});
    use_model(3);
    double P[16];
    transition_matrix(0.0, P);
    for (int c = 0; c < 16; ++c) EXPECT_EQ(P[c], c % 5 == 0 ? 1.0 : 0.0);

    // A cherry of identical leaves on zero branches holds the leaf's indicator.
    set_tree(3, {{4, 5, 3}, {5, 1, 2}}, {0, 0.0, 0.0, 0.3, 0, 0.2});
    full_pass();
    for (int p = 0; p < 3; ++p)
        for (int a = 0; a < 4; ++a)
            EXPECT_EQ(lik_row(5)[4 * p + a], lik_row(1)[4 * p + a]) << p << " " << a;

    // A path listed from a leaf starts at its parent and agrees with a full pass.
    tree.cur.TimeVec[1] = 0.6;
    const int path[3] = {1, 5, 4};
    path_pass(path, 3, tree.cur.ppTwoRow, tree.cur.TimeVec.data());
    const double by_path = log_likelihood();
    full_pass();
    EXPECT_EQ(log_likelihood(), by_path);
    EXPECT_NE(lik_row(5)[0], lik_row(1)[0]);
}

TEST(FreeLikelihood, BruteForceOverAncestralStates) {
    using reference::LD;
    const std::vector<std::string> plain = {"AGCTAACG", "AGTTGATA", "GACTCGAC", "GATCATTA",
                                            "CGCTAATA"};
    const std::vector<std::string> coded = {"AGCTAAC-", "AGTTGATN", "GACTCRAC", "GATCAYWA",
                                            "C-CTKANB"};
    const std::vector<int> weights = {3, 1, 2, 1, 2, 1, 2, 4};
    for (int model = 1; model <= 4; ++model)
        for (const auto* rows : {&plain, &coded})
            for (int n : {4, 5}) {
                const std::string what = "model " + std::to_string(model) + ", " +
                                         std::to_string(n) + " taxa" +
                                         (rows == &coded ? ", gaps and ambiguity" : "");
                reset_all_state();
                set_patterns(std::vector<std::string>(rows->begin(), rows->begin() + n), weights);
                use_model(model);
                if (n == 4)  // ((1,2)6, (3,4)7)5
                    set_tree(4, {{5, 6, 7}, {6, 1, 2}, {7, 3, 4}},
                             {0, 0.1, 0.25, 0.05, 0.3, 0, 0.2, 0.15});
                else  // (((1,2)8, 3)7, (4,5)9)6
                    set_tree(5, {{6, 7, 9}, {7, 8, 3}, {8, 1, 2}, {9, 4, 5}},
                             {0, 0.1, 0.25, 0.6, 0.3, 0.02, 0, 0.4, 0.15, 0.07});
                auto reference_lnl = [] {
                    return static_cast<double>(reference::brute_force_lnl(
                        std::vector<LD>(tree.cur.TimeVec.begin(), tree.cur.TimeVec.end())));
                };
                full_pass();
                double want = reference_lnl();
                EXPECT_NEAR(log_likelihood(), want, 1e-10 * fabs(want)) << what;

                // A new length above leaf 4: the path pass from the leaf starts at its
                // parent, leaves the leaf's own row alone and rebuilds every row above it.
                tree.cur.TimeVec[4] = 0.9;
                const int path[3] = {4, n == 4 ? 7 : 9, n + 1};
                const std::vector<double> leaf(lik_row(4), lik_row(4) + 4 * lik.npat);
                for (int k = 1; k < 3; ++k)
                    for (int i = 0; i < 4 * lik.npat; ++i) lik_row(path[k])[i] = NAN;
                path_pass(path, 3, tree.cur.ppTwoRow, tree.cur.TimeVec.data());
                EXPECT_EQ(memcmp(lik_row(4), leaf.data(), leaf.size() * sizeof(double)), 0) << what;
                want = reference_lnl();
                EXPECT_NEAR(log_likelihood(), want, 1e-10 * fabs(want)) << what;
            }
}
