#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "runs/splits.hpp"

namespace {

std::vector<std::string> sorted_leaves(const NewickTree& t) {
    std::vector<std::string> names = t.leaves;
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// Quoted names with blanks and doubled quotes, labels and lengths read back; the tree
// written again keeps names and lengths, labels where it is told.
TEST(NewickRead, QuotedNamesLengthsAndLabels) {
    NewickTree t;
    std::string why;
    ASSERT_TRUE(read_newick("('a b':0.1,(c:1e-3,'d''e':0.2)90:0.3,f:0.4);", t, why)) << why;
    EXPECT_EQ(t.leaves, (std::vector<std::string>{"a b", "c", "d'e", "f"}));
    std::vector<Split> of_node;
    const std::vector<Split> splits = tree_splits(t, sorted_leaves(t), false, &of_node);
    ASSERT_EQ(splits.size(), 1u);
    EXPECT_EQ(splits[0], "0110");  // {c, d'e}: the side without 'a b'
    std::vector<std::string> labels(t.nodes.size());
    for (size_t v = 0; v < of_node.size(); ++v)
        if (!of_node[v].empty()) labels[v] = "75";
    EXPECT_EQ(write_newick_labelled(t, labels, false), "('a b':0.1,(c:1e-3,'d''e':0.2)75:0.3,f:0.4);");
    EXPECT_EQ(write_newick_labelled(t, {}, true), "('a b':0.1,(c:1e-3,'d''e':0.2):0.3,f:0.4);");
    for (const char* bad : {"(a,b,c", "(a,,c);", "(a,b);", "(a,b,a);", "('a,b,c);", "x;"})
        EXPECT_FALSE(read_newick(bad, t, why)) << bad;
}

// Rooted trees keep their clades; the consensus keeps the splits of more than half of the
// trees, nested as they are, labelled with whole percentages.
TEST(NewickRead, CladesAndMajorityConsensus) {
    NewickTree t;
    std::string why;
    ASSERT_TRUE(read_newick("((A,B),(C,(D,E)));", t, why));
    EXPECT_EQ(tree_splits(t, sorted_leaves(t), true),
              (std::vector<Split>{"00011", "00111", "11000"}));

    const std::vector<std::string> trees = {"((A,B),C,(D,E));", "((B,A),C,(E,D));", "((A,C),B,(D,E));"};
    std::map<Split, int> held;
    std::vector<std::string> names;
    for (const std::string& text : trees) {
        ASSERT_TRUE(read_newick(text, t, why));
        names = sorted_leaves(t);
        for (const Split& s : tree_splits(t, names, false)) ++held[s];
    }
    const std::vector<std::pair<Split, int>> counts(held.begin(), held.end());
    EXPECT_EQ(majority_consensus(counts, 3, names, false), "(A,B,(C,(D,E)100)67);");
    EXPECT_EQ(whole_percent(1, 8), 13);  // 12.5 rounds up
    EXPECT_EQ(whole_percent(0, 0), 0);
}
