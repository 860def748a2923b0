#include <gtest/gtest.h>

#include <string>

#include "output/newick.hpp"
#include "search/tree.hpp"
#include "support.hpp"

// freeml starts from the same random topology as clockml, with every branch at 1.0, and
// writes its trees unrooted.
TEST(FreeStartTree, UnitBranchesAndUnrootedText) {
    reset_all_state();
    reset_tree(4);
    settings.seed1 = 1;
    settings.seed2 = 1;
    make_start_tree();
    EXPECT_EQ(tree.cur.ppTwoRow[0], std::vector<int>({7, 1, 6, 0, 0, 0, 0, 0}));
    EXPECT_EQ(tree.cur.ppTwoRow[1], std::vector<int>({4, 3, 2, 0, 0, 0, 0, 0}));
    EXPECT_EQ(tree.cur.TimeVec, std::vector<double>({0, 1, 1, 1, 1, 0, 1, 1, 0}));
    for (int v : {1, 2, 3, 4, 6, 7}) EXPECT_EQ(tree.cur.parents[v], lookup_parent(v));

    for (const char* name : {"A", "B", "C", "D"}) alignment.TaxonNames.push_back(name);
    copy_tree_current_to_best();
    const std::string text = capture([](FILE* f) { write_newick_best(f); });
    // root 5 -> (7, D); 7 -> (6, B); 6 -> (A, C); the edge 7-D carries both root branches
    EXPECT_EQ(text, "(B:1.000000,(A:1.000000,C:1.000000):1.000000,D:2.000000)");
}
