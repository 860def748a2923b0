// The RELL tests against the exact bootstrap distribution of a tiny alignment, enumerated
// site draw by site draw, and the normal quantile against the distribution function.
#include <gtest/gtest.h>

#include <cmath>
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
