// Newick trees read back from the reports, for the summaries of replicate and bootstrap
// searches.
#pragma once

#include <string>
#include <vector>

// One node of a tree read from Newick text: leaves have a name, internal nodes children
// (and their label, such as a support value, as their name; "" when none).
// The branch length above a node is kept as it was written ("" when there is none).
struct NewickNode {
    std::string name;
    std::string length;
    std::vector<int> children;
    std::string comment;  // a comment in square brackets after it ("&age=3.2"), "" when none
};

struct NewickTree {
    std::vector<NewickNode> nodes;  // nodes[0] is the root
    std::vector<std::string> leaves;  // the leaf names in the order of the text
};

// Reads one tree (up to its ';' or the end of `text`): names bare or in single quotes
// (a doubled quote inside stands for one), lengths after ':', internal labels kept as names,
// comments in square brackets skipped (the last one after a node kept with it).
// Returns false, with the reason in `why`, when the text is not such a tree.
bool read_newick(const std::string& text, NewickTree& out, std::string& why);
