#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "free.hpp"
#include "search/tree.hpp"
#include "support.hpp"

namespace {

const char* kLetters = "AGCT-MRWSYKBDHVN";

// Tree of n leaves from its child rows; one pattern per string (a letter per leaf).
void setup(std::vector<int> row0, std::vector<int> row1, std::vector<std::string> patterns,
           std::vector<int> weights) {
    const int n = static_cast<int>(row0.size()) + 1;
    reset_all_state();
    reset_tree(n);
    row0.resize(2 * n, 0);
    row1.resize(2 * n, 0);
    tree.cur.ppTwoRow[0] = row0;
    tree.cur.ppTwoRow[1] = row1;
    parents_from_rows(tree.cur.ppTwoRow, tree.cur.parents);
    alignment.npat = static_cast<int>(patterns.size());
    alignment.ppBase_unique.assign(n, std::vector<int>(patterns.size()));
    for (size_t p = 0; p < patterns.size(); ++p)
        for (int m = 0; m < n; ++m)
            alignment.ppBase_unique[m][p] = static_cast<int>(strchr(kLetters, patterns[p][m]) - kLetters);
    alignment.site_counter = weights;
    settings.nsites = 10;
    settings.model = 3;
    fill_leaf_parsimony_sets();
}

int* set_of(int node, int p) { return &tree.pppLen[((node * alignment.npat) + p) * 5]; }

// The state letters held by a set, gap as '-'.
std::string states(int node, int p) {
    std::string s;
    for (int x = 0; x < 5; ++x)
        if (set_of(node, p)[x]) s += "AGCT-"[x];
    return s;
}

void set_states(int node, int p, const std::string& s) {
    for (int x = 0; x < 5; ++x) set_of(node, p)[x] = s.find("AGCT-"[x]) != std::string::npos;
}

// root 6 -> (8, 9); 8 -> (1, 7); 7 -> (2, 3); 9 -> (4, 5): node 7 lies below node 8
void five_taxa(int keep_gaps) {
    setup({8, 2, 1, 4}, {9, 3, 7, 5}, {"AAAAA", "TGCCC", "AGGCT", "-GGAA"}, {3, 2, 1, 1});
    settings.keep_gaps = keep_gaps;
}

}  // namespace

TEST(Fitch, CountsAndReconstruction) {
    five_taxa(1);
    EXPECT_EQ(states(1, 3), "-");
    EXPECT_EQ(states(2, 0), "A");
    fitch_up();
    EXPECT_EQ(tree.LenVec, std::vector<int>({0, 0, 0, 0, 0, 0, 2, 2, 4, 1, 0}));
    EXPECT_EQ(states(8, 1), "GCT");
    EXPECT_EQ(states(6, 2), "AGCT");
    EXPECT_EQ(states(6, 3), "AG-");
    fitch_down();
    // pattern 0 shared by all leaves; 1 needs the parent resolved first (8 before 7);
    // 2 takes the first shared base, else the node's own first; 3 keeps its gap flags.
    const char* expect[4][4] = {
        {"A", "C", "A", "A-"}, {"A", "C", "G", "G"}, {"A", "C", "A", "G-"}, {"A", "C", "C", "A"}};
    for (int v = 6; v <= 9; ++v)
        for (int p = 0; p < 4; ++p) EXPECT_EQ(states(v, p), expect[v - 6][p]) << v << " " << p;
    EXPECT_EQ(states(1, 3), "G-");  // the gap leaf took its parent's set
    EXPECT_EQ(states(2, 3), "G");

    five_taxa(0);
    fitch_up();
    fitch_down();
    EXPECT_EQ(states(1, 3), "-");
}

TEST(Fitch, SharedPatternCostsNothing) {
    setup({7, 1, 2, 4}, {9, 8, 3, 5}, {"GGGGG"}, {7});
    fitch_up();
    fitch_down();
    for (int v = 1; v <= 9; ++v) EXPECT_EQ(tree.LenVec[v], 0);
    for (int v = 6; v <= 9; ++v) EXPECT_EQ(states(v, 0), "G");
    fitch_lengths();
    for (int v = 1; v <= 9; ++v)
        if (v != 6) {
            EXPECT_EQ(tree.cur.TimeVec[v], 0.0001) << v;
        }
}

// root 4 -> (5, 3); 5 -> (1, 2). Counts per branch (transitions, transversions):
// leaf 1 (2, 1) with an ambiguous set, node 5 (1, 0), leaf 2 (0, 0), leaf 3 (2, 4).
TEST(Fitch, Distances) {
    auto load = [](int model, int nsites) {
        setup({5, 1}, {3, 2}, {"AAA", "AAA"}, {5, 5});
        settings.model = model;
        settings.nsites = nsites;
        mp.piA = 0.1, mp.piG = 0.2, mp.piC = 0.3, mp.piT = 0.4;
        mp.pi_r = mp.piA + mp.piG, mp.pi_y = mp.piC + mp.piT;
        const char* sets[6][2] = {{"A", "AC"}, {"G", "T"}, {"AGCT", "AGCT"},
                                  {"A", "T"},  {"G", "T"}, {"", ""}};
        for (int v = 1; v <= 5; ++v)
            for (int p = 0; p < 2; ++p) set_states(v, p, sets[v - 1][p]);
        tree.cur.TimeVec = {0, 0.37, -0.2, 0.0, 5.0, 1.5, 0, 0};
        fitch_lengths();
    };
    load(3, 10);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[1], 0.38311921782449304);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[5], 0.10732563273050497);
    EXPECT_EQ(tree.cur.TimeVec[2], 0.0001);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[3], 1.2070784343255754);
    EXPECT_EQ(tree.cur.TimeVec[4], 5.0);  // the root has no branch
    load(4, 10);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[1], 0.40235947810852507);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[5], 0.11157177565710488);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[3], 1.2070784343255754);
    load(2, 10);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[1], 0.4084845810197215);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[5], 0.11224873024812848);
    EXPECT_DOUBLE_EQ(tree.cur.TimeVec[3], 1.4782225048302804);
    // leaf 3 at 6 of 8 sites: a logarithm of exactly zero; at 6 of 7: saturated
    for (int model : {3, 4}) {
        load(model, 8);
        EXPECT_EQ(tree.cur.TimeVec[3], 0.0001) << model;
        load(model, 7);
        EXPECT_EQ(tree.cur.TimeVec[3], 0.0001) << model;
    }
    load(1, 10);  // HKY keeps the lengths, only non-positive ones are replaced
    EXPECT_EQ(tree.cur.TimeVec[1], 0.37);
    EXPECT_EQ(tree.cur.TimeVec[2], 0.0001);
    EXPECT_EQ(tree.cur.TimeVec[3], 0.0001);
    EXPECT_EQ(tree.cur.TimeVec[5], 1.5);
}
