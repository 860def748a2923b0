// Given trees: a trees file split into its trees, and one tree made the current tree.
#include "runs/score_trees.hpp"

#include <cstdlib>


#include "base/program_info.hpp"
#include "base/state.hpp"
#include "runs/newick_read.hpp"

namespace {

// Leaf number (1..n) of a name: as the alignment spells it, or with '_' for a blank as
// Newick writers put it; 0 when there is none.
int leaf_of(const std::string& name) {
    for (int pass = 0; pass < 2; ++pass)
        for (int k = 0; k < settings.ntaxa; ++k) {
            std::string own = alignment.TaxonNames[static_cast<size_t>(k)];
            if (pass == 1)
                for (char& c : own)
                    if (c == ' ') c = '_';
            if (own == name) return k + 1;
        }
    return 0;
}

struct Numbering {
    const NewickTree& t;
    std::vector<int> leaf;  // of each Newick node
    int next = 0;
    bool with_lengths = false;
    // The length written above Newick node v becomes the value of its number m.
    void take_length(int v, int m) {
        if (!with_lengths) return;
        const std::string& length = t.nodes[static_cast<size_t>(v)].length;
        tree.cur.TimeVec[m] = length.empty() ? 0.0 : std::strtod(length.c_str(), nullptr);
    }
    void link(int m, int a, int b) {
        const int k = m - (tree.n + 1);
        tree.cur.ppTwoRow[0][k] = a;
        tree.cur.ppTwoRow[1][k] = b;
        tree.cur.parents[a] = m;
        tree.cur.parents[b] = m;
    }
    // Leaves keep their numbers; internal nodes below the root take n+2.. in post-order.
    int number(int v) {
        if (leaf[static_cast<size_t>(v)] != 0) {
            take_length(v, leaf[static_cast<size_t>(v)]);
            return leaf[static_cast<size_t>(v)];
        }
        const std::vector<int>& kids = t.nodes[static_cast<size_t>(v)].children;
        const int a = number(kids[0]);
        const int b = number(kids[1]);
        const int m = next++;
        link(m, a, b);
        take_length(v, m);
        return m;
    }
};

}  // namespace

std::vector<GivenTree> split_trees(const std::string& text) {
    std::vector<GivenTree> trees;
    GivenTree cur;
    int line = 1;
    bool quoted = false, comment = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') ++line;
        if (comment) {
            comment = c != ']';
            continue;
        }
        if (!quoted && c == '[') {
            comment = true;
            continue;
        }
        if (c == '\'') quoted = !quoted;
        if (cur.text.empty() && !quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) continue;
        if (cur.text.empty()) cur.line = line;
        cur.text += c;
        if (c == ';' && !quoted) {
            trees.push_back(cur);
            cur = GivenTree{};
        }
    }
    if (!cur.text.empty()) trees.push_back(cur);
    return trees;
}

bool load_given_tree(const std::string& text, std::string& why, bool with_lengths) {
    NewickTree t;
    if (!read_newick(text, t, why)) return false;
    const int n = tree.n;
    std::vector<int> leaf(t.nodes.size(), 0);
    std::vector<int> seen(static_cast<size_t>(n) + 1, 0);
    for (size_t v = 0; v < t.nodes.size(); ++v) {
        const NewickNode& node = t.nodes[v];
        if (!node.children.empty()) continue;
        leaf[v] = leaf_of(node.name);
        if (leaf[v] == 0) {
            why = "it names '" + node.name + "', which is not a sequence of the infile";
            return false;
        }
        seen[static_cast<size_t>(leaf[v])] = 1;
    }
    for (int k = 1; k <= n; ++k)
        if (!seen[static_cast<size_t>(k)]) {
            why = "it lacks the sequence '" + alignment.TaxonNames[static_cast<size_t>(k - 1)] + "'";
            return false;
        }
    NewickTree& nt = t;
    std::vector<int>& top = nt.nodes[0].children;
    if (top.size() == 3) {
        if (!program.unrooted_newick) {
            why = "it is unrooted (three subtrees at its top); clockml scores rooted trees";
            return false;
        }
        // The unrooted top becomes a root with one subtree on one side and the other two
        // joined on the other.
        NewickNode joined;
        joined.children = {top[1], top[2]};
        nt.nodes.push_back(joined);
        leaf.push_back(0);
        nt.nodes[0].children = {nt.nodes[0].children[0], static_cast<int>(nt.nodes.size()) - 1};
    }
    for (const NewickNode& node : nt.nodes)
        if (!node.children.empty() && node.children.size() != 2) {
            why = "it is not binary (a node has " + std::to_string(node.children.size()) + " children)";
            return false;
        }
    Numbering b{nt, leaf, n + 2, with_lengths};
    const int a = b.number(nt.nodes[0].children[0]);
    const int c = b.number(nt.nodes[0].children[1]);
    b.link(n + 1, a, c);
    tree.cur.parents[n + 1] = 0;
    if (with_lengths) tree.cur.TimeVec[n + 1] = 0.0;
    return true;
}
