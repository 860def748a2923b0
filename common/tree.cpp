// Parent lookups, whole-tree copies and the random starting topology.
#include "tree.hpp"

#include "fatal.hpp"
#include "program.hpp"
#include "rng.hpp"

// Internal node holding `node` in the current child table, 0 when none does.
int lookup_parent(int node) {
    const int n = tree.n;
    for (int k = 0; k <= n - 2; ++k)
        if (tree.ppTwoRow[0][k] == node || tree.ppTwoRow[1][k] == node) return n + 1 + k;
    return 0;
}

// A node that no internal node holds means a broken child table: nothing sensible can
// follow, so the run stops (and reports failure).
int find_parent(int node) {
    const int parent = lookup_parent(node);
    if (parent == 0) fatal("Could not find parent in find_parent for target = %d\n", node);
    return parent;
}

int steps_to_root(int node) {
    const int root = tree.n + 1;
    int steps = 0;
    while (node != root) {
        node = find_parent(node);
        ++steps;
    }
    return steps;
}

int steps_to_root_temp(int node) {
    const int root = tree.n + 1;
    int steps = 0;
    while (node != root) {
        node = tree.parents_temp[node];
        ++steps;
    }
    return steps;
}

// Builds the topology by joining two random members of a shrinking list of subtrees:
// the joined node takes the place of the first of the two, the second drops out, and
// the last two subtrees become the root's children.
void random_joins(int32_t& a, int32_t& b) {
    const int n = tree.n;
    for (int i = 0; i <= 2 * n - 1; ++i) tree.TimeVec[i] = 0.0;

    std::vector<int> avail(n);
    for (int i = 0; i < n; ++i) avail[i] = i + 1;
    int count = n;

    for (int m = n + 2; m <= 2 * n - 1; ++m) {
        const int pa = static_cast<int>(mwc_next(a, b) * count);
        int pb = static_cast<int>(mwc_next(a, b) * count);
        while (pb == pa) pb = static_cast<int>(mwc_next(a, b) * count);

        const int k = m - (n + 1);
        tree.ppTwoRow[0][k] = avail[pa];
        tree.ppTwoRow[1][k] = avail[pb];

        const int first = pa < pb ? pa : pb;
        const int second = pa < pb ? pb : pa;
        avail[first] = m;
        for (int i = second; i < count - 1; ++i) avail[i] = avail[i + 1];
        --count;
    }
    tree.ppTwoRow[0][0] = avail[0];
    tree.ppTwoRow[1][0] = avail[1];
}

void random_topology(int32_t seed_a, int32_t seed_b) {
    rng.mwc_a = seed_a;
    rng.mwc_b = seed_b;
    random_joins(rng.mwc_a, rng.mwc_b);
    assign_start_values();
}

// The topology stream is seeded from the settings seeds through two draws, so that the
// same seeds always give the same starting tree.
void make_start_tree() {
    const int n = tree.n;
    rng.mwc_a = settings.seed1;
    rng.mwc_b = settings.seed2;
    const double u1 = mwc_next(rng.mwc_s0, rng.mwc_a);
    const int32_t seed_b = static_cast<int32_t>(u1 * 100000);
    const double u2 = mwc_next(rng.mwc_a, rng.mwc_a);
    const int32_t seed_a = static_cast<int32_t>(u2 * 100000);

    random_topology(seed_a, seed_b);

    for (int leaf = 1; leaf <= n; ++leaf) {
        tree.parents[leaf] = lookup_parent(leaf);
        tree.TimeVec[leaf] = 1.0;
    }
    for (int node = n + 2; node <= 2 * n - 1; ++node) tree.parents[node] = lookup_parent(node);
}

static void copy_rows(const std::vector<int>* from, std::vector<int>* to) {
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k <= tree.n - 2; ++k) to[r][k] = from[r][k];
}

template <class T>
static void copy_nodes(const std::vector<T>& from, std::vector<T>& to) {
    for (int i = 0; i <= 2 * tree.n - 1; ++i) to[i] = from[i];
}

void copy_tree_current_to_temp() {
    copy_rows(tree.ppTwoRow, tree.ppTwoRow_temp);
    copy_nodes(tree.TimeVec, tree.TimeVec_temp);
    copy_nodes(tree.parents, tree.parents_temp);
}

void copy_tree_current_to_best_prev() {
    copy_rows(tree.ppTwoRow, tree.ppTwoRow_best);
    copy_rows(tree.ppTwoRow, tree.ppTwoRow_prev);
    copy_nodes(tree.TimeVec, tree.TimeVec_best);
    copy_nodes(tree.TimeVec, tree.TimeVec_prev);
    copy_nodes(tree.parents, tree.parents_best);
    copy_nodes(tree.parents, tree.parents_prev);
    copy_nodes(tree.RateVec, tree.RateVec_best);
    copy_nodes(tree.RateVec, tree.RateVec_prev);
    copy_nodes(tree.RateVec, tree.RateVec_temp);
}

void parents_from_rows(const std::vector<int>* rows, std::vector<int>& par) {
    const int n = tree.n;
    for (int i = 1; i <= 2 * n - 1; ++i) par[i] = 0;
    for (int k = 0; k <= n - 2; ++k) {
        par[rows[0][k]] = n + 1 + k;
        par[rows[1][k]] = n + 1 + k;
    }
}
