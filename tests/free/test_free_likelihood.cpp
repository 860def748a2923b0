// Likelihood with free branch lengths: each node holds the length of the branch above it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "likelihood.hpp"
#include "model.hpp"
#include "support.hpp"

namespace {

void set_patterns(const std::vector<std::string>& rows, const std::vector<int>& weights) {
    const std::string letters = "AGCT-MRWSYKBDHVN";
    settings.ntaxa = static_cast<int>(rows.size());
    for (const std::string& r : rows) {
        std::vector<int> codes;
        for (char ch : r) codes.push_back(static_cast<int>(letters.find(ch)));
        alignment.ppBase_unique.push_back(codes);
    }
    alignment.site_counter = weights;
    alignment.npat = static_cast<int>(weights.size());
    for (int w : weights) settings.nsites += w;
}

void use_model(int model) {
    run_files.results = fopen("/dev/null", "w");
    settings.model = model;
    setup_model();
    fclose(run_files.results);
    run_files.results = nullptr;
}

// (node, first child, second child) and the length above every non-root node.
void set_tree(int n, const std::vector<std::vector<int>>& joins, const std::vector<double>& len) {
    reset_tree(n);
    for (const auto& j : joins) {
        tree.ppTwoRow[0][j[0] - (n + 1)] = j[1];
        tree.ppTwoRow[1][j[0] - (n + 1)] = j[2];
    }
    for (std::size_t v = 0; v < len.size(); ++v) tree.TimeVec[v] = len[v];
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
            tree.TimeVec[7] = 0.4 + shift;
            tree.TimeVec[8] = 0.15 - shift;
            if (tree.TimeVec[8] < 0) continue;
            full_pass();
            EXPECT_NEAR(log_likelihood(), lnl, 1e-12 * fabs(lnl)) << "model " << model;
        }
        // Another branch does change it.
        tree.TimeVec[9] = 0.5;
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
    tree.TimeVec[1] = 0.6;
    const int path[3] = {1, 5, 4};
    path_pass(path, 3, tree.ppTwoRow, tree.TimeVec.data());
    const double by_path = log_likelihood();
    full_pass();
    EXPECT_EQ(log_likelihood(), by_path);
    EXPECT_NE(lik_row(5)[0], lik_row(1)[0]);
}
