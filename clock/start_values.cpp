// Node times of a freshly joined random topology: every leaf-to-root path is spread
// evenly between the leaf (1.0) and the nearest node already timed (or the root, 0.0).
#include <vector>

#include "base/state.hpp"
#include "clock.hpp"
#include "search/search_seams.hpp"
#include "search/tree.hpp"

// Leaf of largest depth, the lowest number among equals.
static int deepest_leaf(const std::vector<int>& depth) {
    int best = 1;
    for (int leaf = 2; leaf <= tree.n; ++leaf)
        if (depth[leaf] > depth[best]) best = leaf;
    return best;
}

// Deepest leaves first, so the longest paths fix the times that shorter ones then meet.
void assign_start_values() {
    if (dated_run()) {
        assign_dated_start_values();
        return;
    }
    const int n = tree.n;
    const int root = n + 1;
    std::vector<int> depth(n + 1, 0);
    for (int leaf = 1; leaf <= n; ++leaf) depth[leaf] = steps_to_root(leaf);

    for (int round = 0; round < n; ++round) {
        const int leaf = deepest_leaf(depth);

        int s = 0;
        int node = leaf;
        do {
            node = find_parent(node);
            ++s;
        } while (node != root && tree.cur.TimeVec[node] == 0.0);
        const double top = node == root ? 1.0 : 1.0 - tree.cur.TimeVec[node];

        int k = 1;
        for (node = find_parent(leaf); node != root && tree.cur.TimeVec[node] == 0.0;
             node = find_parent(node), ++k)
            tree.cur.TimeVec[node] = 1.0 - (top / s) * k;

        depth[leaf] = 0;
    }
}
