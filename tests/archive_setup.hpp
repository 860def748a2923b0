// Trees for the archive tests of both programs: child rows, random topologies with
// shuffled internal labels, and the leaf-pair walk written out plainly.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "search/archive.hpp"
#include "support.hpp"

namespace archive_setup {

// Current and proposed tree from child rows (internal node n+1+k has r0[k], r1[k]).
inline void set_tree(int n, const std::vector<int>& r0, const std::vector<int>& r1) {
    std::vector<Children> joins;
    for (int k = 0; k <= n - 2; ++k) joins.push_back({n + 1 + k, r0[k], r1[k]});
    set_children(n, joins);
}

// The internal labels below the root, shuffled.
inline std::vector<int> shuffled_labels(int n, std::mt19937& g) {
    std::vector<int> labels;
    for (int m = n + 2; m <= 2 * n - 1; ++m) labels.push_back(m);
    std::shuffle(labels.begin(), labels.end(), g);
    return labels;
}

// Random joins with shuffled internal labels, so children may carry higher numbers.
inline void random_tree(int n, std::mt19937& g) {
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

// Internal nodes on the path between leaves i and j of the proposed tree: climb from i's
// parent, and for each ancestor look for it on the path from j's parent to the root. A
// path through the root counts it when `counts_root` is set.
inline int walk_entry(int i, int j, bool counts_root) {
    const int root = tree.n + 1;
    const std::vector<int>& par = tree.temp.parents;
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
    return steps(i) + steps(j) - (counts_root ? 1 : 2);
}

// Random trees of 2..30 taxa: every entry of the path matrix against the plain walk.
inline void expect_path_matrix_matches_walk(unsigned seed, bool counts_root) {
    std::mt19937 g(seed);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 2 + trial % 29;
        reset_all_state();
        reset_archive(n, 1);
        random_tree(n, g);
        fill_path_matrix();
        for (int i = 1; i < n; ++i)
            for (int j = i + 1; j <= n; ++j)
                ASSERT_EQ(archive.ppMatrix[i][j], walk_entry(i, j, counts_root))
                    << "trial " << trial << " pair " << i << "," << j;
    }
}

inline std::string key_of_temp() {
    fill_path_matrix();
    return topology_key(archive.ppMatrix);
}

}  // namespace archive_setup
