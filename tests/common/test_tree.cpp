#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

#include "base/state.hpp"
#include "engine/tree_ops.hpp"
#include "search/search_seams.hpp"
#include "search/tree.hpp"
#include "support.hpp"

namespace {

void start_tree(int n, int seed1, int seed2) {
    reset_all_state();
    reset_tree(n);
    settings.seed1 = seed1;
    settings.seed2 = seed2;
    make_start_tree();
}

// The three invariants of a valid clock tree, on the current arrays.
void expect_valid_clock_tree(int n) {
    const int root = n + 1;
    std::vector<int> seen(2 * n + 1, 0);
    for (int k = 0; k <= n - 2; ++k)
        for (int r = 0; r < 2; ++r) {
            const int c = tree.cur.ppTwoRow[r][k];
            ASSERT_TRUE(c >= 1 && c <= 2 * n - 1 && c != root) << c;
            ++seen[c];
            EXPECT_EQ(tree.cur.parents[c], n + 1 + k);
            if (c > n) EXPECT_GT(tree.cur.TimeVec[c], tree.cur.TimeVec[n + 1 + k]);
            else EXPECT_EQ(tree.cur.TimeVec[c], 1.0);
            EXPECT_LT(tree.cur.TimeVec[n + 1 + k], tree.cur.TimeVec[c]);
        }
    for (int c = 1; c <= 2 * n - 1; ++c) EXPECT_EQ(seen[c], c == root ? 0 : 1) << c;
    EXPECT_EQ(tree.cur.TimeVec[root], 0.0);
}

}  // namespace

TEST(StartTree, ThreeTaxaCherryAtHalf) {
    start_tree(3, 7, 11);
    const int c0 = tree.cur.ppTwoRow[0][0], c1 = tree.cur.ppTwoRow[1][0];
    EXPECT_TRUE((c0 == 5) != (c1 == 5));
    EXPECT_LE(c0 == 5 ? c1 : c0, 3);
    EXPECT_LE(tree.cur.ppTwoRow[0][1], 3);
    EXPECT_LE(tree.cur.ppTwoRow[1][1], 3);
    EXPECT_EQ(tree.cur.TimeVec[5], 0.5);
    expect_valid_clock_tree(3);
}

TEST(StartTree, ValidForManySeedsAndSizes) {
    for (int n = 3; n <= 60; n += 3)
        for (int seed = 1; seed <= 40; seed += 13) {
            start_tree(n, seed, 1000 + seed * n);
            SCOPED_TRACE(testing::Message() << "n=" << n << " seed=" << seed);
            expect_valid_clock_tree(n);
        }
}

// Child tables worked out independently from the generator's definition.
TEST(StartTree, KnownTopologiesAndRepeatability) {
    start_tree(4, 1, 1);
    EXPECT_EQ(tree.cur.ppTwoRow[0], std::vector<int>({7, 1, 6, 0, 0, 0, 0, 0}));
    EXPECT_EQ(tree.cur.ppTwoRow[1], std::vector<int>({4, 3, 2, 0, 0, 0, 0, 0}));
    start_tree(7, -5, 99999);
    const std::vector<int> row0 = tree.cur.ppTwoRow[0], row1 = tree.cur.ppTwoRow[1];
    const std::vector<double> times = tree.cur.TimeVec;
    EXPECT_EQ(std::vector<int>(row0.begin(), row0.begin() + 6),
              std::vector<int>({13, 3, 4, 10, 5, 6}));
    EXPECT_EQ(std::vector<int>(row1.begin(), row1.begin() + 6),
              std::vector<int>({9, 2, 7, 1, 11, 12}));
    start_tree(7, -5, 99999);
    EXPECT_EQ(tree.cur.ppTwoRow[0], row0);
    EXPECT_EQ(tree.cur.ppTwoRow[1], row1);
    EXPECT_EQ(tree.cur.TimeVec, times);
    start_tree(7, -5, 3);  // the second seed word is overwritten before any draw reads it
    EXPECT_EQ(tree.cur.ppTwoRow[0], row0);
    start_tree(7, -4, 99999);
    EXPECT_TRUE(tree.cur.ppTwoRow[0] != row0 || tree.cur.ppTwoRow[1] != row1);
}

// The deepest path is spread evenly from the root; a shorter one that meets it at node 8
// (time 0.25) spreads its own node between 0.25 and the leaf.
TEST(StartTree, ShorterPathMeetsTimedNode) {
    reset_all_state();
    reset_tree(6);
    // root 7 -> (8, 6); 8 -> (9, 10); 9 -> (11, 1); 10 -> (4, 5); 11 -> (2, 3)
    tree.cur.ppTwoRow[0] = {8, 9, 11, 4, 2, 0, 0, 0, 0, 0, 0, 0};
    tree.cur.ppTwoRow[1] = {6, 10, 1, 5, 3, 0, 0, 0, 0, 0, 0, 0};
    assign_start_values();
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[8], 0.25);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[9], 0.5);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[11], 0.75);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[10], 0.625);
    EXPECT_EQ(tree.cur.TimeVec[7], 0.0);
}

TEST(TreeArrays, LookupsAndCopies) {
    start_tree(6, 12345, 678);
    const int root = 7;
    EXPECT_EQ(lookup_parent(root), 0);
    EXPECT_EXIT(
        {
            fflush(stdout);
            dup2(2, 1);
            find_parent(root);
        },
        testing::ExitedWithCode(1), "^Could not find parent in find_parent for target = 7\n$");
    copy_tree_current_to_temp();
    for (int leaf = 1; leaf <= 6; ++leaf) {
        EXPECT_EQ(find_parent(leaf), tree.cur.parents[leaf]);
        EXPECT_EQ(steps_to_root(leaf), steps_to_root_temp(leaf));
        int steps = 0;
        for (int v = leaf; v != root; v = tree.cur.parents[v]) ++steps;
        EXPECT_EQ(steps_to_root(leaf), steps);
    }
    std::vector<int> par(13, -1);
    parents_from_rows(tree.cur.ppTwoRow, par);
    for (int i = 1; i <= 11; ++i) EXPECT_EQ(par[i], i == root ? 0 : tree.cur.parents[i]);
    copy_tree_current_to_best();
    EXPECT_EQ(tree.best.ppTwoRow[1], tree.cur.ppTwoRow[1]);
    EXPECT_EQ(tree.best.parents, tree.cur.parents);
    EXPECT_EQ(tree.best.TimeVec, tree.cur.TimeVec);
}

// The order every pass takes: all n-1 internal nodes, each after both of its children; a
// path lists its internal nodes as given; a table that is not a tree stops the run.
TEST(TreeOps, PostOrderPathAndBrokenTables) {
    reset_all_state();
    for (const int n : {2, 3, 9, 40}) {
        reset_tree(n);
        settings.seed1 = 7 + n;
        settings.seed2 = 11;
        make_start_tree();
        const int count = post_order_ops(tree.cur.ppTwoRow);
        ASSERT_EQ(count, n - 1);
        std::vector<int> done(2 * n + 1, 0);
        for (int v = 1; v <= n; ++v) done[v] = 1;
        for (int i = 0; i < count; ++i) {
            const NodeOp& op = tree.ops[i];
            EXPECT_EQ(op.child[0], tree.cur.ppTwoRow[0][op.parent - (n + 1)]);
            EXPECT_TRUE(done[op.child[0]] && done[op.child[1]] && !done[op.parent]) << n << " " << i;
            done[op.parent] = 1;
        }
        EXPECT_EQ(tree.ops[count - 1].parent, n + 1);
    }
    reset_tree(5);
    set_children(5, {{6, 7, 8}, {7, 1, 2}, {8, 3, 9}, {9, 4, 5}});
    const int path[] = {4, 9, 8, 6};  // a leaf, then internal nodes up to the root
    EXPECT_EQ(path_ops(path, 4, tree.cur.ppTwoRow), 3);
    EXPECT_EQ(tree.ops[0].parent, 9);
    EXPECT_EQ(tree.ops[0].child[1], 5);
    EXPECT_EQ(tree.ops[2].parent, 6);

    const auto broken = [](int k, int row, int value) {
        reset_tree(5);
        set_children(5, {{6, 7, 8}, {7, 1, 2}, {8, 3, 9}, {9, 4, 5}});
        tree.cur.ppTwoRow[row][k] = value;
        fflush(stdout);
        dup2(2, 1);
        post_order_ops(tree.cur.ppTwoRow);
    };
    const char* message = "^Error in the tree passes: the child table is not a tree";
    EXPECT_EXIT(broken(3, 1, 3), testing::ExitedWithCode(1), message);   // leaf 3 held twice
    EXPECT_EXIT(broken(2, 1, 8), testing::ExitedWithCode(1), message);   // a cycle 8 -> 8
    EXPECT_EXIT(broken(1, 0, 0), testing::ExitedWithCode(1), message);   // slot 0 as a child
    EXPECT_EXIT(broken(0, 1, 6), testing::ExitedWithCode(1), message);   // the root as a child
}
