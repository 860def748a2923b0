// Pruning likelihood on clock trees, checked against sums written from the model's
// definition: hand-evaluated small trees, brute force over all ancestral states with
// matrix exponentials of the rate matrix, and a log-space evaluation of a deep tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/edge_likelihood.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "reference_likelihood.hpp"
#include "support.hpp"

namespace {

using namespace reference;

// A clock tree from (node, first child, second child) triples and the internal times;
// leaves sit at 1.0, the root n+1 at 0.0.
struct Join {
    int node, c0, c1;
    double time;
};
void set_tree(int n, const std::vector<Join>& joins) {
    std::vector<Children> rows;
    for (const Join& j : joins) rows.push_back({j.node, j.c0, j.c1});
    set_children(n, rows);
    for (int leaf = 1; leaf <= n; ++leaf) tree.cur.TimeVec[leaf] = 1.0;
    for (const Join& j : joins) tree.cur.TimeVec[j.node] = j.time;
    tree.temp.TimeVec = tree.cur.TimeVec;
}

double tree_lnl() {
    reset_likelihood_tables(tree.n, alignment.npat);
    init_leaf_partials();
    full_pass();
    return log_likelihood();
}

// Branch length above each node: rate times elapsed time, with internal rates the mean of
// the children's (or all 1 when no per-lineage information is used).
std::vector<LD> ref_lengths(const std::vector<double>& leaf_rate) {
    const int n = tree.n;
    std::vector<LD> rate(2 * n + 1, 1.0L), len(2 * n + 1, 0.0L);
    for (int i = 1; i <= n; ++i) rate[i] = leaf_rate.empty() ? 1.0L : leaf_rate[i];
    std::vector<int> done(2 * n + 1, 0);
    for (int i = 1; i <= n; ++i) done[i] = 1;
    for (int left = n - 1; left > 0;)
        for (int k = 0; k <= n - 2; ++k) {
            const int v = n + 1 + k, a = tree.cur.ppTwoRow[0][k], b = tree.cur.ppTwoRow[1][k];
            if (done[v] || !done[a] || !done[b]) continue;
            if (!leaf_rate.empty()) rate[v] = (rate[a] + rate[b]) / 2;
            len[a] = rate[a] * ((LD)tree.cur.TimeVec[a] - tree.cur.TimeVec[v]);
            len[b] = rate[b] * ((LD)tree.cur.TimeVec[b] - tree.cur.TimeVec[v]);
            done[v] = 1;
            --left;
        }
    return len;
}

// The clock tree's log-likelihood by brute force over the ancestral states.
LD clock_brute_force_lnl(const std::vector<double>& leaf_rate) {
    return reference::brute_force_lnl(ref_lengths(leaf_rate));
}

// Textbook P(t) per model, for the hand-evaluated small trees.
double textbook_P(int i, int j, double t) {
    const bool same = i == j, ts = (i < 2) == (j < 2);
    if (mp.model == 3) {
        const double e = exp(-4.0 * t / 3.0);
        return same ? 0.25 + 0.75 * e : 0.25 - 0.25 * e;
    }
    if (mp.model == 4) {  // kappa 4: alpha = 4/6 (transitions), beta = 1/6 per transversion
        const double e1 = exp(-4.0 * t / 6.0), e2 = exp(-2.0 * (5.0 / 6.0) * t);
        if (!ts) return 0.25 - 0.25 * e1;
        return same ? 0.25 + 0.25 * e1 + 0.5 * e2 : 0.25 + 0.25 * e1 - 0.5 * e2;
    }
    const double pi[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
    const double Pi = j < 2 ? mp.pi_r : mp.pi_y;
    const double A = mp.model == 1 ? 1 + Pi * (mp.Kappa - 1) : 1 + mp.K;
    const double e1 = exp(-mp.mu * t), e2 = exp(-mp.mu * A * t);
    if (!ts) return pi[j] * (1 - e1);
    return pi[j] + pi[j] * (1 / Pi - 1) * e1 + ((same ? 1.0 : 0.0) - pi[j] / Pi) * e2;
}

const std::vector<std::string> kFourTaxa = {"AGCTAA-", "AGTTGAN", "GACTCRA", "GATCAYW"};
const std::vector<std::string> kFourPlain = {"AGCTAAC", "AGTTGAT", "GACTCGA", "GATCATT"};
const std::vector<int> kFourWeights = {3, 1, 2, 1, 2, 1, 2};

}  // namespace

TEST(Likelihood, SmallTreesByHand) {
    const int code[4] = {0, 1, 2, 3};
    for (int model = 1; model <= 4; ++model) {
        reset_all_state();
        // Two leaves: by reversibility the pattern (x, y) has probability pi_x P_xy(2).
        set_patterns({"AAGCT", "AGCCA"}, {2, 1, 1, 3, 1});
        use_model(model);
        set_tree(2, {{3, 1, 2, 0.0}});
        double want = 0;
        const double pi[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
        for (int p = 0; p < 5; ++p) {
            const int x = code[alignment.ppBase_unique[0][p]], y = code[alignment.ppBase_unique[1][p]];
            want += alignment.site_counter[p] * log(pi[x] * textbook_P(x, y, 2.0));
        }
        EXPECT_NEAR(tree_lnl(), want, 1e-12 * fabs(want)) << "two leaves, model " << model;

        // Three leaves ((1,2)5 at 0.4, 3)4.
        set_patterns({"AAGCT", "AGCCA", "GTCAA"}, {2, 1, 1, 3, 1});
        set_tree(3, {{4, 5, 3, 0.0}, {5, 1, 2, 0.4}});
        want = 0;
        for (int p = 0; p < 5; ++p) {
            const int x1 = alignment.ppBase_unique[0][p], x2 = alignment.ppBase_unique[1][p],
                      x3 = alignment.ppBase_unique[2][p];
            double site = 0;
            for (int a = 0; a < 4; ++a)
                for (int b = 0; b < 4; ++b)
                    site += pi[a] * textbook_P(a, x3, 1.0) * textbook_P(a, b, 0.4) *
                            textbook_P(b, x1, 0.6) * textbook_P(b, x2, 0.6);
            want += alignment.site_counter[p] * log(site);
        }
        EXPECT_NEAR(tree_lnl(), want, 1e-12 * fabs(want)) << "three leaves, model " << model;
    }
}

TEST(Likelihood, BruteForceFourTaxa) {
    for (int model = 1; model <= 4; ++model)
        for (const auto* rows : {&kFourPlain, &kFourTaxa}) {
            reset_all_state();
            set_patterns(*rows, kFourWeights);
            use_model(model);
            // ((1,2)6, (3,4)7)5 and the caterpillar (((1,2)7,3)6,4)5.
            for (int shape = 0; shape < 2; ++shape) {
                if (shape == 0)
                    set_tree(4, {{5, 6, 7, 0.0}, {6, 1, 2, 0.35}, {7, 3, 4, 0.6}});
                else
                    set_tree(4, {{5, 6, 4, 0.0}, {6, 7, 3, 0.25}, {7, 1, 2, 0.7}});
                const double got = tree_lnl();
                const double want = static_cast<double>(clock_brute_force_lnl({}));
                EXPECT_NEAR(got, want, 1e-10 * fabs(want))
                    << "model " << model << " shape " << shape << " ambiguous "
                    << (rows == &kFourTaxa);
            }
        }

    // Per-lineage rates: each branch is its lineage's rate times its elapsed time.
    reset_all_state();
    set_patterns(kFourTaxa, kFourWeights);
    use_model(2);
    settings.use_lin_info = 1;
    set_tree(4, {{5, 6, 4, 0.0}, {6, 7, 3, 0.25}, {7, 1, 2, 0.7}});
    const std::vector<double> rates = {0, 0.6, 1.7, 1.1, 0.9};
    for (int i = 1; i <= 4; ++i) tree.cur.RateVec[i] = rates[i];
    const double got = tree_lnl();
    const double want = static_cast<double>(clock_brute_force_lnl(rates));
    EXPECT_NEAR(got, want, 1e-10 * fabs(want));
}

TEST(Likelihood, RatesFollowTheLineages) {
    reset_all_state();
    set_patterns({"A", "G", "C", "T", "A"}, {1});
    use_model(3);
    // ((1,2)7, (3,(4,5)9)8)6
    set_tree(5, {{6, 7, 8, 0.0}, {7, 1, 2, 0.5}, {8, 3, 9, 0.3}, {9, 4, 5, 0.6}});
    for (int v = 7; v <= 9; ++v) tree.cur.RateVec[v] = 7.0;
    tree_lnl();
    for (int v = 7; v <= 9; ++v) EXPECT_EQ(tree.cur.RateVec[v], 1.0);

    settings.use_lin_info = 1;
    const double r[6] = {0, 0.5, 1.5, 2.0, 0.25, 0.75};
    for (int i = 1; i <= 5; ++i) tree.cur.RateVec[i] = r[i];
    tree_lnl();
    EXPECT_EQ(tree.cur.RateVec[7], (r[1] + r[2]) / 2);
    EXPECT_EQ(tree.cur.RateVec[9], (r[4] + r[5]) / 2);
    EXPECT_EQ(tree.cur.RateVec[8], (r[3] + (r[4] + r[5]) / 2) / 2);
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(tree.cur.RateVec[i], r[i]);
}

TEST(Likelihood, PassesAgree) {
    reset_all_state();
    set_patterns({"AGCTAAC", "AGTTGAT", "GACTCGA", "GATCATT", "AGCCAAA", "TTCGAAC"},
                 {3, 1, 2, 1, 2, 1, 2});
    use_model(1);
    // ((1,(2,3)9)8, ((4,5)11,6)10)7
    set_tree(6, {{7, 8, 10, 0.0},
                 {8, 1, 9, 0.2},
                 {9, 2, 3, 0.5},
                 {10, 11, 6, 0.3},
                 {11, 4, 5, 0.8}});
    const double lnl = tree_lnl();
    const AlignedDoubles full = lik.pppLik;
    // Every stored row is the reference node step.
    for (int v = 8; v <= 11; ++v)
        for (int p = 0; p < lik.npat; ++p)
            for (int a = 0; a < 4; ++a)
                EXPECT_EQ(lik_row(v)[4 * p + a],
                          node_partial(tree.cur.ppTwoRow[0][v - 7], tree.cur.ppTwoRow[1][v - 7], p, a,
                                       tree.cur.TimeVec.data(), v));

    // A path pass from node 9 (and one listed from its leaf 3) rebuilds the same bits.
    for (int start : {9, 3}) {
        for (int v : {9, 8, 7})
            for (int p = 0; p < lik.npat; ++p)
                for (int a = 0; a < 4; ++a) lik_row(v)[4 * p + a] = NAN;
        const int path[4] = {start, 9, 8, 7};
        if (start == 9)
            path_pass(path + 1, 3, tree.cur.ppTwoRow, tree.cur.TimeVec.data());
        else
            path_pass(path, 4, tree.cur.ppTwoRow, tree.cur.TimeVec.data());
        EXPECT_EQ(memcmp(lik.pppLik.data(), full.data(), full.size() * sizeof(double)), 0);
        EXPECT_EQ(log_likelihood(), lnl);
    }

    // A path pass over the proposed tree (leaf 6 and node 9 exchanged, node 10 moved)
    // equals a full pass over the same tree made current.
    tree.temp.ppTwoRow[1][8 - 7] = 6;
    tree.temp.ppTwoRow[1][10 - 7] = 9;
    tree.temp.TimeVec[10] = 0.15;
    const int path[3] = {10, 8, 7};
    path_pass(path, 3, tree.temp.ppTwoRow, tree.temp.TimeVec.data());
    const double proposed = log_likelihood();
    const AlignedDoubles root_row(lik_row(7), lik_row(7) + 4 * lik.npat);
    for (int r = 0; r < 2; ++r) tree.cur.ppTwoRow[r] = tree.temp.ppTwoRow[r];
    tree.cur.TimeVec = tree.temp.TimeVec;
    EXPECT_EQ(tree_lnl(), proposed);
    EXPECT_EQ(memcmp(lik_row(7), root_row.data(), root_row.size() * sizeof(double)), 0);
    EXPECT_NE(proposed, lnl);
}

// The likelihood at a branch (from the outside row above it and the node's own partials)
// and at a node (its partials made again from its children) is the root's likelihood, for
// every node of the tree, and follows a node time moved without a pass to the root.
TEST(Likelihood, BothSidesOfABranchGiveTheRootsLikelihood) {
    reset_all_state();
    set_patterns({"AGCTAAC", "AGTTGAT", "GACTCGA", "GATCATT", "AGCCAAA", "TTCGAAC"},
                 {3, 1, 2, 1, 2, 1, 2});
    use_model(1);
    // ((1,(2,3)9)8, ((4,5)11,6)10)7
    set_tree(6, {{7, 8, 10, 0.0}, {8, 1, 9, 0.2}, {9, 2, 3, 0.5}, {10, 11, 6, 0.3}, {11, 4, 5, 0.8}});
    const double lnl = tree_lnl();
    size_outside_rows(3);
    // Outside rows down the path from the root to c; returns c's depth.
    const auto outside_down_to = [](int c) {
        std::vector<int> path;
        for (int v = c; v != 7; v = tree.cur.parents[v]) path.insert(path.begin(), v);
        outside_of_root_child(path[0]);
        for (std::size_t d = 1; d < path.size(); ++d) outside_of_child(path[d - 1], path[d], static_cast<int>(d));
        return static_cast<int>(path.size()) - 1;
    };
    for (int c = 1; c <= 11; ++c) {
        if (c == 7) continue;
        const int depth = outside_down_to(c);
        EXPECT_NEAR(edge_log_likelihood(c, depth), lnl, 1e-11 * std::fabs(lnl)) << "node " << c;
        if (c > 7) {
            EXPECT_NEAR(node_log_likelihood(c, depth), lnl, 1e-11 * std::fabs(lnl)) << "node " << c;
        }
    }
    // Node 9 moved towards its parent: the node's likelihood is that of a fresh full pass,
    // and its own row was not touched.
    const int depth = outside_down_to(9);
    const AlignedDoubles rows = lik.pppLik;
    tree.cur.TimeVec[9] = 0.35;
    const double moved = node_log_likelihood(9, depth);
    EXPECT_EQ(memcmp(lik.pppLik.data(), rows.data(), rows.size() * sizeof(double)), 0);
    EXPECT_NEAR(moved, tree_lnl(), 1e-11 * std::fabs(lnl));
    EXPECT_GT(std::fabs(moved - lnl), 1e-3);
}

TEST(Likelihood, ListingOrderDoesNotMatter) {
    reset_all_state();
    set_patterns({"AGCTA", "AGTTG", "GACTC", "GATCA", "CCATG"}, {1, 2, 3, 1, 1});
    use_model(2);
    // The root, listed first, waits for its child in a second sweep.
    set_tree(5, {{6, 7, 5, 0.0}, {7, 8, 9, 0.2}, {8, 1, 2, 0.5}, {9, 3, 4, 0.4}});
    const double a = tree_lnl();
    // The same tree with the internal nodes renamed (children listed before parents) and
    // every pair of children swapped.
    set_tree(5, {{6, 5, 9, 0.0}, {7, 2, 1, 0.5}, {8, 4, 3, 0.4}, {9, 8, 7, 0.2}});
    EXPECT_EQ(tree_lnl(), a);

    // Three taxa: the same wait, and the same value in either listing.
    set_patterns({"AGCTA", "AGTTG", "GACTC"}, {1, 2, 3, 1, 1});
    set_tree(3, {{4, 5, 3, 0.0}, {5, 1, 2, 0.5}});
    const double b = tree_lnl();
    set_tree(3, {{4, 3, 5, 0.0}, {5, 2, 1, 0.5}});
    EXPECT_EQ(tree_lnl(), b);
}

TEST(Likelihood, MissingDataAndTheUnconstrainedBound) {
    for (int model = 1; model <= 4; ++model) {
        reset_all_state();
        set_patterns({"AGC-N", "AGTN-", "GAC--", "GATNN"}, {3, 1, 2, 4, 1});
        use_model(model);
        set_tree(4, {{5, 6, 7, 0.0}, {6, 1, 2, 0.35}, {7, 3, 4, 0.6}});
        const double with_missing = tree_lnl();
        // Patterns of gaps and N only have probability 1.
        for (int p = 3; p < 5; ++p) alignment.site_counter[p] = 1000;
        EXPECT_NEAR(tree_lnl(), with_missing, 1e-12);

        set_patterns(kFourPlain, kFourWeights);
        EXPECT_LE(tree_lnl(), max_unconstrained_lnl());
    }
    // Sum of n_p ln(n_p / N) over the patterns, N being all declared sites.
    settings.nsites = 20;
    alignment.site_counter = {3, 1, 2, 4, 1};
    alignment.npat = 5;
    double want = 0;
    for (int w : {3, 1, 2, 4, 1}) want += w * log(w / 20.0);
    EXPECT_DOUBLE_EQ(max_unconstrained_lnl(), want);
}

TEST(Likelihood, DeepTreeIsScaled) {
    // Random bases on a caterpillar of 480 leaves (long branches near the root, short ones
    // at the far end): the site probabilities lie far below the smallest double, so only
    // the scaling keeps the value finite.
    reset_all_state();
    const int n = 480, npat = 12;
    std::vector<std::string> rows(n, std::string(npat, 'A'));
    unsigned state = 12345;
    for (auto& r : rows)
        for (char& ch : r) {
            state = state * 1103515245u + 12345u;
            const unsigned u = (state >> 16) % 20;
            ch = "AGCTN"[u < 19 ? u % 4 : 4];
        }
    set_patterns(rows, {1, 2, 1, 3, 1, 1, 2, 1, 1, 4, 1, 1});
    use_model(2);
    std::vector<Join> joins;
    for (int k = 0; k < n - 2; ++k)
        joins.push_back({n + 1 + k, n + 2 + k, k + 1, static_cast<double>(k) / (n - 1)});
    joins.push_back({2 * n - 1, n - 1, n, static_cast<double>(n - 2) / (n - 1)});
    set_tree(n, joins);
    const double got = tree_lnl();
    ASSERT_TRUE(std::isfinite(got));
    int max_count = 0;
    for (int p = 0; p < npat; ++p) max_count = std::max(max_count, scale_row(n + 1)[p]);
    EXPECT_GE(max_count, 4);

    // Reference: log partials, combined by log-sum-exp in long double.
    const std::vector<LD> len = ref_lengths({});
    std::vector<M4> logP(2 * n + 1);
    for (int c = 1; c <= 2 * n - 1; ++c)
        if (c != n + 1) {
            logP[c] = ref_P(len[c]);
            for (LD& v : logP[c].a) v = logl(v);
        }
    auto lse = [](const LD* x) {
        LD m = -INFINITY;
        for (int i = 0; i < 4; ++i) m = std::max(m, x[i]);
        LD s = 0;
        for (int i = 0; i < 4; ++i) s += expl(x[i] - m);
        return m + logl(s);
    };
    const LD logpi[4] = {logl(mp.piA), logl(mp.piG), logl(mp.piC), logl(mp.piT)};
    LD want = 0, min_site = 0;
    std::vector<LD> L(4 * (2 * n + 1));
    for (int p = 0; p < npat; ++p) {
        for (int m = 1; m <= n; ++m)
            for (int a = 0; a < 4; ++a)
                L[4 * m + a] = (kSets[alignment.ppBase_unique[m - 1][p]] >> a & 1) ? 0 : -INFINITY;
        for (int v = 2 * n - 1; v >= n + 1; --v)  // every child is numbered above its parent
            for (int a = 0; a < 4; ++a) {
                LD sum = 0;
                for (int r = 0; r < 2; ++r) {
                    const int c = tree.cur.ppTwoRow[r][v - (n + 1)];
                    LD x[4];
                    for (int b = 0; b < 4; ++b) x[b] = logP[c].a[4 * a + b] + L[4 * c + b];
                    sum += lse(x);
                }
                L[4 * v + a] = sum;
            }
        LD x[4];
        for (int a = 0; a < 4; ++a) x[a] = logpi[a] + L[4 * (n + 1) + a];
        const LD site = lse(x);
        min_site = std::min(min_site, site);
        want += alignment.site_counter[p] * site;
    }
    EXPECT_LT(min_site, -745.0L);  // ln of the smallest subnormal double is -744.4
    EXPECT_NEAR(got, static_cast<double>(want), 1e-10 * fabsl(want));
}
