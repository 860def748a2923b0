// Parent lookups, whole-tree copies and the random starting topology.
#include "search/tree.hpp"

#include "base/fatal.hpp"
#include "base/rng.hpp"
#include "base/state.hpp"
#include "search/search_seams.hpp"

// Internal node holding `node` in the current child table, 0 when none does.
int lookup_parent(int node) {
    const int n = tree.n;
    for (int k = 0; k <= n - 2; ++k)
        if (tree.cur.ppTwoRow[0][k] == node || tree.cur.ppTwoRow[1][k] == node) return n + 1 + k;
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
        node = tree.temp.parents[node];
        ++steps;
    }
    return steps;
}

namespace {

constexpr int kMaxJoinDraws = 10000;

void first_allowed_pair(const std::vector<int>& avail, int count, int& pa, int& pb) {
    for (int x = 0; x < count; ++x)
        for (int y = x + 1; y < count; ++y)
            if (join_allowed(avail[x], avail[y])) {
                pa = x;
                pb = y;
                return;
            }
}

}  // namespace

// Builds the topology by joining two random members of a shrinking list of subtrees:
// the joined node takes the place of the first of the two, the second drops out, and
// the last two subtrees become the root's children.
void random_joins(int32_t& a, int32_t& b) {
    const int n = tree.n;
    for (int i = 0; i <= 2 * n - 1; ++i) tree.cur.TimeVec[i] = 0.0;

    std::vector<int> avail(n);
    for (int i = 0; i < n; ++i) avail[i] = i + 1;
    int count = n;

    for (int m = n + 2; m <= 2 * n - 1; ++m) {
        int pa = static_cast<int>(mwc_next(a, b) * count);
        int pb = static_cast<int>(mwc_next(a, b) * count);
        while (pb == pa) pb = static_cast<int>(mwc_next(a, b) * count);
        // A pair the program does not allow (one that would split a calibrated clade) is
        // drawn again; after many draws the first allowed pair in list order is taken.
        for (int tries = 0; !join_allowed(avail[pa], avail[pb]); ++tries) {
            if (tries == kMaxJoinDraws) {
                first_allowed_pair(avail, count, pa, pb);
                break;
            }
            pa = static_cast<int>(mwc_next(a, b) * count);
            pb = static_cast<int>(mwc_next(a, b) * count);
            while (pb == pa) pb = static_cast<int>(mwc_next(a, b) * count);
        }

        const int k = m - (n + 1);
        tree.cur.ppTwoRow[0][k] = avail[pa];
        tree.cur.ppTwoRow[1][k] = avail[pb];

        const int first = pa < pb ? pa : pb;
        const int second = pa < pb ? pb : pa;
        avail[first] = m;
        for (int i = second; i < count - 1; ++i) avail[i] = avail[i + 1];
        --count;
    }
    tree.cur.ppTwoRow[0][0] = avail[0];
    tree.cur.ppTwoRow[1][0] = avail[1];
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
        tree.cur.parents[leaf] = lookup_parent(leaf);
        // Leaves at the present unless the program's start values dated them already.
        if (tree.cur.TimeVec[leaf] == 0.0) tree.cur.TimeVec[leaf] = 1.0;
    }
    for (int node = n + 2; node <= 2 * n - 1; ++node) tree.cur.parents[node] = lookup_parent(node);
}

// The proposed tree starts as the current one.
void copy_tree_current_to_temp() { tree.temp = tree.cur; }

void copy_tree_current_to_best() { tree.best = tree.cur; }

void copy_tree_temp_to_best() { tree.best = tree.temp; }

void copy_tree_best_to_current() {
    tree.cur = tree.best;
    tree.temp = tree.best;
}

void parents_from_rows(const std::vector<int>* rows, std::vector<int>& par) {
    const int n = tree.n;
    for (int i = 1; i <= 2 * n - 1; ++i) par[i] = 0;
    for (int k = 0; k <= n - 2; ++k) {
        par[rows[0][k]] = n + 1 + k;
        par[rows[1][k]] = n + 1 + k;
    }
}
