#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "archive_setup.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "search/archive.hpp"
#include "support.hpp"

namespace {

using namespace archive_setup;

// Every rooting of the current tree's unrooted form, with fresh internal labels and
// random child order; calls `visit` with each one set as the current tree.
void for_each_rooting(std::mt19937& g, const std::function<void()>& visit) {
    const int n = tree.n, root = n + 1;
    std::vector<std::vector<int>> adj(2 * n);
    auto link = [&](int u, int v) { adj[u].push_back(v); adj[v].push_back(u); };
    for (int k = 1; k <= n - 2; ++k) {
        link(n + 1 + k, tree.cur.ppTwoRow[0][k]);
        link(n + 1 + k, tree.cur.ppTwoRow[1][k]);
    }
    link(tree.cur.ppTwoRow[0][0], tree.cur.ppTwoRow[1][0]);
    for (int u = 1; u < 2 * n; ++u)
        for (int v : adj[u]) {
            if (u > v || u == root) continue;
            std::vector<int> labels = shuffled_labels(n, g), r0(n - 1), r1(n - 1);
            std::size_t next = 0;
            std::function<int(int, int)> build = [&](int node, int from) {
                if (node <= n) return node;
                std::vector<int> down;
                for (int w : adj[node])
                    if (w != from) down.push_back(w);
                const int m = labels[next++], k = m - root;
                if (g() % 2) std::swap(down[0], down[1]);
                r0[k] = build(down[0], node);
                r1[k] = build(down[1], node);
                return m;
            };
            r0[0] = build(u, v);
            r1[0] = build(v, u);
            set_tree(n, r0, r1);
            visit();
        }
}

}  // namespace

TEST(FreeArchive, PathMatrixMatchesPlainWalk) {
    ASSERT_FALSE(program.key_counts_root);
    expect_path_matrix_matches_walk(777, false);
}

TEST(FreeArchive, EveryRootingHasOneKey) {
    std::mt19937 g(99);
    for (int trial = 0; trial < 40; ++trial) {
        const int n = 3 + trial % 10;
        reset_all_state();
        reset_archive(n, 1);
        random_tree(n, g);
        const std::string key = key_of_temp();
        int rootings = 0;
        for_each_rooting(g, [&] {
            ++rootings;
            EXPECT_EQ(key_of_temp(), key) << "trial " << trial;
        });
        EXPECT_EQ(rootings, 2 * n - 3);
    }
}

TEST(FreeArchive, NewRecordLeavesLastNodeValue) {
    reset_all_state();
    reset_archive(4, 5);
    set_tree(4, {6, 1, 3}, {7, 2, 4});
    for (int i = 0; i <= 8; ++i) tree.cur.TimeVec[i] = 10 + i;
    TreeRecord* r = archive_current_tree(-3).record;
    const std::vector<double>& stored = archive.ppTimeVec[r->slot];
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(stored[i], 10 + i);
    EXPECT_EQ(stored[8], 0.0);
    EXPECT_EQ(stored[0], 0.0);
    // A re-hit (here the same unrooted tree rooted elsewhere) copies the full range.
    set_tree(4, {6, 7, 1}, {4, 3, 2});
    for (int i = 0; i <= 8; ++i) tree.cur.TimeVec[i] = 20 + i;
    EXPECT_EQ(archive_current_tree(-1).record, r);
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(stored[i], 20 + i);
    EXPECT_EQ(archive.pppTR[r->slot], (std::vector<int>{6, 7, 1, 0, 4, 3, 2, 0}));
}
