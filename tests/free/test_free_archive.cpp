#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "archive.hpp"
#include "program.hpp"
#include "support.hpp"

namespace {

// Current and proposed tree from child rows (internal node n+1+k has r0[k], r1[k]).
void set_tree(int n, const std::vector<int>& r0, const std::vector<int>& r1) {
    reset_tree(n);
    for (int k = 0; k <= n - 2; ++k) {
        tree.ppTwoRow[0][k] = tree.ppTwoRow_temp[0][k] = r0[k];
        tree.ppTwoRow[1][k] = tree.ppTwoRow_temp[1][k] = r1[k];
        tree.parents[r0[k]] = tree.parents_temp[r0[k]] = n + 1 + k;
        tree.parents[r1[k]] = tree.parents_temp[r1[k]] = n + 1 + k;
    }
}

std::vector<int> shuffled_labels(int n, std::mt19937& g) {
    std::vector<int> labels;
    for (int m = n + 2; m <= 2 * n - 1; ++m) labels.push_back(m);
    std::shuffle(labels.begin(), labels.end(), g);
    return labels;
}

void random_tree(int n, std::mt19937& g) {
    std::vector<int> avail, r0(n - 1), r1(n - 1);
    for (int i = 1; i <= n; ++i) avail.push_back(i);
    for (int m : shuffled_labels(n, g)) {
        const int a = g() % avail.size();
        int b = g() % (avail.size() - 1);
        if (b >= a) ++b;
        r0[m - n - 1] = avail[a];
        r1[m - n - 1] = avail[b];
        avail.erase(avail.begin() + std::max(a, b));
        avail.erase(avail.begin() + std::min(a, b));
        avail.push_back(m);
    }
    r0[0] = avail[0];
    r1[0] = avail[1];
    set_tree(n, r0, r1);
}

// The leaf-pair walk written out plainly (free form: a path through the root does not
// count the root).
int walk_entry(int i, int j) {
    const int root = tree.n + 1;
    const std::vector<int>& par = tree.parents_temp;
    auto steps = [&](int v) { int s = 0; for (; v != root; v = par[v]) ++s; return s; };
    int a = par[i], up = 0, c = 0;
    bool found = false;
    while (a != root && !found) {
        c = 1;
        for (int b = par[j]; b != root; b = par[b], ++c)
            if (b == a) { found = true; break; }
        if (!found) { a = par[a]; ++up; }
    }
    if (found) return up + c;
    return steps(i) + steps(j) - 2;
}

std::string key_of_temp() {
    fill_path_matrix();
    return topology_key(archive.ppMatrix);
}

// Every rooting of the current tree's unrooted form, with fresh internal labels and
// random child order; calls `visit` with each one set as the current tree.
void for_each_rooting(std::mt19937& g, const std::function<void()>& visit) {
    const int n = tree.n, root = n + 1;
    std::vector<std::vector<int>> adj(2 * n);
    auto link = [&](int u, int v) { adj[u].push_back(v); adj[v].push_back(u); };
    for (int k = 1; k <= n - 2; ++k) {
        link(n + 1 + k, tree.ppTwoRow[0][k]);
        link(n + 1 + k, tree.ppTwoRow[1][k]);
    }
    link(tree.ppTwoRow[0][0], tree.ppTwoRow[1][0]);
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
    std::mt19937 g(777);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 2 + trial % 29;
        reset_all_state();
        reset_archive(n, 1);
        random_tree(n, g);
        fill_path_matrix();
        for (int i = 1; i < n; ++i)
            for (int j = i + 1; j <= n; ++j)
                ASSERT_EQ(archive.ppMatrix[i][j], walk_entry(i, j))
                    << "trial " << trial << " pair " << i << "," << j;
    }
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
    for (int i = 0; i <= 8; ++i) tree.TimeVec[i] = 10 + i;
    TreeRecord* r = archive_current_tree(-3);
    const std::vector<double>& stored = archive.ppTimeVec[r->slot];
    for (int i = 1; i <= 7; ++i) EXPECT_EQ(stored[i], 10 + i);
    EXPECT_EQ(stored[8], 0.0);
    EXPECT_EQ(stored[0], 0.0);
    // A re-hit (here the same unrooted tree rooted elsewhere) copies the full range.
    set_tree(4, {6, 7, 1}, {4, 3, 2});
    for (int i = 0; i <= 8; ++i) tree.TimeVec[i] = 20 + i;
    EXPECT_EQ(archive_current_tree(-1), r);
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(stored[i], 20 + i);
    EXPECT_EQ(archive.pppTR[r->slot], (std::vector<int>{6, 7, 1, 0, 4, 3, 2, 0}));
}
