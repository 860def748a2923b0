#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "output/newick.hpp"
#include "support.hpp"

namespace {

// Best tree of n named taxa with the given child rows and node values.
void best_tree(std::vector<int> row0, std::vector<int> row1, std::vector<double> values) {
    const int n = static_cast<int>(row0.size()) + 1;
    reset_all_state();
    reset_tree(n);
    for (int i = 0; i < n; ++i) alignment.TaxonNames.push_back(std::string(1, 'A' + i));
    row0.resize(2 * n, 0);
    row1.resize(2 * n, 0);
    tree.best.ppTwoRow[0] = row0;
    tree.best.ppTwoRow[1] = row1;
    values.resize(2 * n + 1, 0.0);
    tree.best.TimeVec = values;
}

std::string rooted() { return capture([](FILE* f) { write_newick_lengths(f, tree.n + 1, tree.n + 1); }); }
std::string unrooted() {
    return capture([](FILE* f) { write_newick_lengths_unrooted(f, tree.n + 1, tree.n + 1, true); });
}

}  // namespace

TEST(Newick, ThreeTaxa) {
    // root 4 -> (5, A) and (A, 5); 5 -> (B, C). Clock times, then branch lengths.
    for (int leaf_row = 0; leaf_row < 2; ++leaf_row) {
        std::vector<int> r0 = {leaf_row == 0 ? 1 : 5, 2}, r1 = {leaf_row == 0 ? 5 : 1, 3};
        best_tree(r0, r1, {0, 1.0, 1.0, 1.0, 0.0, 0.25});
        EXPECT_EQ(rooted(), "(A:1.000000,(B:0.750000,C:0.750000):0.250000)");
        EXPECT_EQ(capture([](FILE* f) { write_newick_best(f); }), rooted());
        best_tree(r0, r1, {0, 0.1, 0.2, 0.3, 9.0, 0.4});
        // The edge joining the root's two children is 5 and A together: 0.4 + 0.1.
        EXPECT_EQ(unrooted(), "(B:0.200000,C:0.300000,A:0.500000)");
    }
}

TEST(Newick, FourAndFiveTaxaUnrooted) {
    // root 5 -> (6, 7); 6 -> (A, B); 7 -> (C, D): the second cherry starts the text.
    best_tree({6, 1, 3}, {7, 2, 4}, {0, 0.1, 0.2, 0.3, 0.4, 9.0, 0.5, 0.6});
    EXPECT_EQ(unrooted(), "(C:0.300000,D:0.400000,(A:0.100000,B:0.200000):1.100000)");
    // root 5 -> (6, D); 6 -> (7, A); 7 -> (B, C): leaf before internal in both forms.
    best_tree({6, 7, 2}, {4, 1, 3}, {0, 1.0, 1.0, 1.0, 1.0, 0.0, 0.25, 0.5});
    EXPECT_EQ(rooted(), "(D:1.000000,(A:0.750000,(B:0.500000,C:0.500000):0.250000):0.250000)");
    EXPECT_EQ(unrooted(), "(A:1.000000,(B:1.000000,C:1.000000):0.500000,D:1.250000)");
    // root 6 -> (7, 9); 7 -> (A, 8); 8 -> (B, C); 9 -> (D, E): first child not a cherry.
    best_tree({7, 1, 2, 4}, {9, 8, 3, 5}, {0, 0.1, 0.2, 0.3, 0.4, 0.5, 9.0, 0.7, 0.8, 0.9});
    EXPECT_EQ(unrooted(),
              "(A:0.100000,(B:0.200000,C:0.300000):0.800000,(D:0.400000,E:0.500000):1.600000)");
}

TEST(Newick, TopologyFromArchiveSlot) {
    best_tree({6, 7, 2}, {4, 1, 3}, {});
    reset_archive(4, 1);
    // row 0 in entries 0..3, row 1 in entries 4..7
    archive.pppTR[2] = {7, 1, 3, 0, 6, 2, 4, 0};  // 5 -> (7, 6); 6 -> (A, B); 7 -> (C, D)
    TreeRecord record;
    record.slot = 2;
    EXPECT_EQ(capture([&](FILE* f) { write_newick_topology(f, &record, 5); }), "((C,D),(A,B))");
    EXPECT_EQ(capture([&](FILE* f) { write_newick_record(f, &record); }), "((C,D),(A,B))");
    EXPECT_EQ(capture([&](FILE* f) { write_newick_topology_unrooted(f, &record, 5, true); }),
              "(A,B,(C,D))");
    archive.pppTR[2] = {6, 7, 2, 0, 4, 1, 3, 0};  // 5 -> (6, D); 6 -> (7, A); 7 -> (B, C)
    EXPECT_EQ(capture([&](FILE* f) { write_newick_topology(f, &record, 5); }), "(D,(A,(B,C)))");
    EXPECT_EQ(capture([&](FILE* f) { write_newick_topology_unrooted(f, &record, 5, true); }),
              "(A,(B,C),D)");
}

TEST(Newick, NexusNamesQuotedWhereNexusNeedsIt) {
    EXPECT_EQ(nexus_name("Human"), "Human");
    EXPECT_EQ(nexus_name("Homo_sapiens.1"), "Homo_sapiens.1");
    EXPECT_EQ(nexus_name("orang-utan"), "'orang-utan'");
    EXPECT_EQ(nexus_name("goat(cow)"), "'goat(cow)'");
    EXPECT_EQ(nexus_name("a,b;c:d"), "'a,b;c:d'");
    EXPECT_EQ(nexus_name("Nile's"), "'Nile''s'");
    // the trees block quotes, treefile's plain Newick does not
    best_tree({6, 7, 2}, {4, 1, 3}, {});
    alignment.TaxonNames[0] = "orang-utan";
    reset_archive(4, 1);
    archive.pppTR[0] = {6, 7, 2, 0, 4, 1, 3, 0};
    const TreeRecord rec{"k", 1, 1, -1.0, 2.0, 1, 0, nullptr, {}};
    const std::string nexus = capture([&](FILE* f) { write_newick_record(f, &rec, true); });
    const std::string plain = capture([&](FILE* f) { write_newick_record(f, &rec); });
    EXPECT_NE(nexus.find("'orang-utan'"), std::string::npos) << nexus;
    EXPECT_EQ(plain.find('\''), std::string::npos) << plain;
    EXPECT_NE(plain.find("orang-utan"), std::string::npos) << plain;
}
