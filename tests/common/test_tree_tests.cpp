// The RELL tests against the exact bootstrap distribution of a tiny alignment, enumerated
// site draw by site draw, and the normal quantile against the distribution function.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "runs/tree_tests.hpp"

namespace {

// Four sites (patterns of weights 2, 1, 1) and three trees; every one of the 4^4 draws of
// four sites is equally likely, which gives the exact bootstrap shares that RELL estimates.
struct Exact {
    double bp[3] = {}, kh[3] = {}, sh[3] = {};
};

Exact enumerate(const std::vector<std::vector<double>>& l, const std::vector<int>& site) {
    const int N = static_cast<int>(site.size()), T = 3;
    std::vector<std::vector<double>> L;  // each draw's tree log-likelihoods
    for (int code = 0; code < 256; ++code) {
        std::vector<double> row(T, 0.0);
        for (int k = 0, c = code; k < N; ++k, c /= 4)
            for (int t = 0; t < T; ++t) row[t] += l[t][site[c % 4]];
        L.push_back(row);
    }
    double lnL[3] = {}, mean[3] = {};
    for (int t = 0; t < T; ++t) {
        for (int s : site) lnL[t] += l[t][s];
        for (const auto& row : L) mean[t] += row[t] / L.size();
    }
    Exact e;
    for (int t = 0; t < T; ++t) {
        int ref = 0;  // the best tree, or the second for the best
        for (int j = 1; j < T; ++j) if (lnL[j] > lnL[ref]) ref = j;
        if (ref == t) { ref = t == 0 ? 1 : 0; for (int j = 0; j < T; ++j) if (j != t && lnL[j] > lnL[ref]) ref = j; }
        const double observed = lnL[ref] - lnL[t];
        for (const auto& row : L) {
            int top = 0;
            double m = -HUGE_VAL;
            for (int j = 0; j < T; ++j) {
                if (row[j] > row[top]) top = j;
                m = std::max(m, row[j] - mean[j]);
            }
            if (top == t) e.bp[t] += 1.0 / L.size();
            if ((row[ref] - mean[ref]) - (row[t] - mean[t]) > observed) e.kh[t] += 1.0 / L.size();
            if (m - (row[t] - mean[t]) > observed) e.sh[t] += 1.0 / L.size();
        }
    }
    return e;
}

}  // namespace

TEST(TreeTests, RellSharesMatchTheExactBootstrap) {
    TreeTestInput in;
    in.pattern_lnl = {{-1.0, -2.0, -3.1}, {-1.37, -1.61, -2.93}, {-0.83, -2.47, -3.26}};
    in.weights = {2, 1, 1};
    in.replicates = 200000;
    in.seed = 7;
    const Exact e = enumerate(in.pattern_lnl, {0, 0, 1, 2});
    const std::vector<TreeTestResult> r = run_tree_tests(in);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_DOUBLE_EQ(r[0].lnL, 2 * -1.0 + -2.0 + -3.1);
    for (int t = 0; t < 3; ++t) {
        EXPECT_NEAR(r[t].bp, e.bp[t], 0.005) << "tree " << t;
        EXPECT_NEAR(r[t].p_kh, e.kh[t], 0.005) << "tree " << t;
        EXPECT_NEAR(r[t].p_sh, e.sh[t], 0.005) << "tree " << t;
        EXPECT_GE(r[t].p_au, 0.0);
        EXPECT_LE(r[t].p_au, 1.0);
    }
    // The same seed gives the same numbers; one tree alone is only scored.
    EXPECT_EQ(run_tree_tests(in)[2].p_au, r[2].p_au);
    in.pattern_lnl.resize(1);
    EXPECT_EQ(run_tree_tests(in)[0].p_sh, 1.0);
}

TEST(TreeTests, AuFollowsTheLikelihoodGap) {
    // 200 sites on which tree 0 is better by 0.05 per site at most and tree 1 only at few:
    // tree 1 is rejected, tree 0 not; a pair that each win half the sites gives p near one
    // half each.
    TreeTestInput in;
    in.replicates = 4000;
    in.seed = 11;
    std::vector<double> a, b;
    for (int p = 0; p < 20; ++p) {
        a.push_back(-2.0);
        b.push_back(p < 4 ? -1.95 : -2.08);
        in.weights.push_back(10);
    }
    in.pattern_lnl = {a, b};
    std::vector<TreeTestResult> r = run_tree_tests(in);
    EXPECT_GT(r[0].p_au, 0.9);
    EXPECT_LT(r[1].p_au, 0.05);
    for (int p = 0; p < 20; ++p) b[static_cast<size_t>(p)] = p % 2 ? -1.99 : -2.01;
    in.pattern_lnl = {a, b};
    r = run_tree_tests(in);
    EXPECT_NEAR(r[0].p_au, 0.5, 0.2);
    EXPECT_NEAR(r[1].p_au, 0.5, 0.2);
    for (double p : {0.001, 0.05, 0.5, 0.8, 0.999}) EXPECT_NEAR(normal_cdf(normal_quantile(p)), p, 1e-12);
}

TEST(TreeTests, ShAlrtMatchesTheExactBootstrapAndAbayesItsFormula) {
    // Four sites (patterns of weights 2, 1, 1) under the tree and its two alternatives: the
    // exact share of the 4^4 draws in which L0 - max(L1, L2) exceeds the spread of the
    // centred values by more than 0.05.
    const std::vector<std::vector<double>> l = {{-1.0, -2.0, -3.1}, {-1.37, -1.61, -3.53}, {-1.21, -2.47, -3.26}};
    const std::vector<int> weights = {2, 1, 1}, site = {0, 0, 1, 2};
    double L[3] = {};
    for (int i = 0; i < 3; ++i)
        for (int s : site) L[i] += l[static_cast<size_t>(i)][static_cast<size_t>(s)];
    const double delta = L[0] - std::max(L[1], L[2]);
    ASSERT_GT(delta, 0.0);
    double exact = 0.0;
    for (int code = 0; code < 256; ++code) {
        double cs[3] = {};
        for (int k = 0, c = code; k < 4; ++k, c /= 4)
            for (int i = 0; i < 3; ++i) cs[i] += l[static_cast<size_t>(i)][static_cast<size_t>(site[static_cast<size_t>(c % 4)])];
        for (int i = 0; i < 3; ++i) cs[i] -= L[i];
        std::sort(cs, cs + 3);
        if (delta > cs[2] - cs[1] + 0.05) exact += 1.0 / 256;
    }
    const std::vector<double>* rows[3] = {&l[0], &l[1], &l[2]};
    uint64_t stream = 3;
    EXPECT_NEAR(sh_alrt_support(rows, L, weights, 200000, stream), exact, 0.005);
    const double Lb[3] = {-100.0, -102.0, -103.5};
    EXPECT_NEAR(abayes_support(Lb), 1 / (1 + std::exp(-2.0) + std::exp(-3.5)), 1e-15);
    const double worse[3] = {-101.0, -100.0, -103.0};
    EXPECT_EQ(sh_alrt_support(rows, worse, weights, 100, stream), 0.0);
}
