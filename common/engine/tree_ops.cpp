// One traversal for every pass: the full likelihood pass, the path pass of a proposal or
// an optimisation objective, the derivative pass and freeml's parsimony pass all take
// their order from here.
#include "engine/tree_ops.hpp"

#include <utility>

#include "base/fatal.hpp"

int post_order_ops(const std::vector<int>* rows) {
    const int n = tree.n;
    const int root = n + 1;
    std::vector<int>& seen = tree.recalced;
    for (int v = 0; v <= 2 * n; ++v) seen[v] = 0;
    // Breadth first from the root: every internal node is listed after its parent, so the
    // list read backwards has every node after its children.
    std::vector<NodeOp>& ops = tree.ops;
    int count = 0;
    if (n < 2) return 0;
    ops[count++] = NodeOp{root, {rows[0][0], rows[1][0]}};
    seen[root] = 1;
    for (int i = 0; i < count; ++i) {
        for (const int c : ops[i].child) {
            if (c < 1 || c > 2 * n - 1 || c == root || seen[c])
                fatal("Error in the tree passes: the child table is not a tree (node %d)\n", c);
            seen[c] = 1;
            if (c <= n) continue;
            if (count == n - 1)
                fatal("Error in the tree passes: the child table is not a tree (node %d)\n", c);
            const int k = c - root;
            ops[count++] = NodeOp{c, {rows[0][k], rows[1][k]}};
        }
    }
    if (count != n - 1)
        fatal("Error in the tree passes: the child table is not a tree (%d of %d internal nodes "
              "reached)\n", count, n - 1);
    for (int i = 0, j = count - 1; i < j; ++i, --j) std::swap(ops[i], ops[j]);
    return count;
}

int path_ops(const int* nodes, int count, const std::vector<int>* rows) {
    const int n = tree.n;
    int m = 0;
    for (int i = 0; i < count; ++i) {
        const int v = nodes[i];
        if (v <= n) continue;
        const int k = v - (n + 1);
        tree.ops[m++] = NodeOp{v, {rows[0][k], rows[1][k]}};
    }
    return m;
}
