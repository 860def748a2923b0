// The split arithmetic of the summaries: the splits (or clades) of a tree over sorted names,
// support labels written onto a tree, and the majority-rule consensus.
#include "runs/splits.hpp"

#include <algorithm>
#include <cstdio>

#include "output/newick.hpp"

namespace {

// The leaves below node v, as ranks in the sorted names.
void leaves_below(const NewickTree& t, int v, const std::vector<int>& rank, std::string& bits) {
    const NewickNode& node = t.nodes[static_cast<size_t>(v)];
    if (node.children.empty()) {
        bits[static_cast<size_t>(rank[static_cast<size_t>(v)])] = '1';
        return;
    }
    for (int c : node.children) leaves_below(t, c, rank, bits);
}

void write_node(const NewickTree& t, int v, const std::vector<std::string>& labels, bool nexus,
                std::string& out) {
    const NewickNode& node = t.nodes[static_cast<size_t>(v)];
    if (node.children.empty()) {
        out += nexus ? nexus_name(node.name) : newick_name(node.name);
    } else {
        out += '(';
        for (size_t k = 0; k < node.children.size(); ++k) {
            if (k > 0) out += ',';
            write_node(t, node.children[k], labels, nexus, out);
        }
        out += ')';
        if (v != 0 && static_cast<size_t>(v) < labels.size()) out += labels[static_cast<size_t>(v)];
    }
    if (v != 0 && !node.length.empty()) out += ":" + node.length;
}

}  // namespace

std::vector<Split> tree_splits(const NewickTree& t, const std::vector<std::string>& sorted_names,
                               bool rooted, std::vector<Split>* of_node) {
    const size_t n = sorted_names.size();
    std::vector<int> rank(t.nodes.size(), -1);
    for (size_t v = 0; v < t.nodes.size(); ++v)
        if (t.nodes[v].children.empty())
            rank[v] = static_cast<int>(std::lower_bound(sorted_names.begin(), sorted_names.end(),
                                                        t.nodes[v].name) - sorted_names.begin());
    std::vector<Split> splits;
    if (of_node != nullptr) of_node->assign(t.nodes.size(), Split());
    for (size_t v = 1; v < t.nodes.size(); ++v) {
        if (t.nodes[v].children.empty()) continue;
        Split bits(n, '0');
        leaves_below(t, static_cast<int>(v), rank, bits);
        if (!rooted && bits[0] == '1')
            for (char& b : bits) b = b == '1' ? '0' : '1';
        const size_t size = static_cast<size_t>(std::count(bits.begin(), bits.end(), '1'));
        const size_t largest = rooted ? n - 1 : n - 2;
        if (size < 2 || size > largest) continue;
        splits.push_back(bits);
        if (of_node != nullptr) (*of_node)[v] = bits;
    }
    std::sort(splits.begin(), splits.end());
    splits.erase(std::unique(splits.begin(), splits.end()), splits.end());
    return splits;
}

std::string write_newick_labelled(const NewickTree& t, const std::vector<std::string>& labels,
                                  bool nexus) {
    std::string out;
    write_node(t, 0, labels, nexus, out);
    return out + ";";
}

int whole_percent(int count, int total) {
    if (total <= 0) return 0;
    return static_cast<int>((200LL * count + total) / (2LL * total));
}

std::string majority_consensus(const std::vector<std::pair<Split, int>>& counts, int tree_count,
                               const std::vector<std::string>& sorted_names, bool nexus) {
    const size_t n = sorted_names.size();
    // The majority splits, largest first (ties by their bits, so the text is always the
    // same); more than half of the trees hold each, so any two are nested or disjoint.
    std::vector<std::pair<Split, int>> kept;
    for (const auto& c : counts)
        if (2LL * c.second > tree_count) kept.push_back(c);
    const auto size = [](const Split& s) { return std::count(s.begin(), s.end(), '1'); };
    std::sort(kept.begin(), kept.end(), [&](const auto& a, const auto& b) {
        const auto sa = size(a.first), sb = size(b.first);
        return sa != sb ? sa > sb : a.first < b.first;
    });
    // Groups: the whole set, then each kept split under the smallest group holding it.
    NewickTree t;
    std::vector<Split> group;
    std::vector<int> percent;
    t.nodes.emplace_back();
    group.push_back(Split(n, '1'));
    percent.push_back(0);
    const auto inside = [](const Split& small, const Split& big) {
        for (size_t k = 0; k < small.size(); ++k)
            if (small[k] == '1' && big[k] != '1') return false;
        return true;
    };
    std::vector<int> parent_of_group{-1};
    for (const auto& [split, count] : kept) {
        int parent = 0;
        for (size_t g = group.size(); g-- > 1;)
            if (inside(split, group[g])) {
                parent = static_cast<int>(g);
                break;
            }
        group.push_back(split);
        percent.push_back(whole_percent(count, tree_count));
        parent_of_group.push_back(parent);
        t.nodes.emplace_back();
    }
    // Groups were added largest first, so the innermost holder of a split is the last one
    // found above; children follow in the order of the sorted names of their first taxon.
    std::vector<int> leaf_group(n, 0);
    for (size_t g = 1; g < group.size(); ++g)
        for (size_t k = 0; k < n; ++k)
            if (group[g][k] == '1') leaf_group[k] = static_cast<int>(g);
    std::vector<std::vector<std::pair<size_t, int>>> members(group.size());
    for (size_t g = 1; g < group.size(); ++g) {
        const size_t first = group[g].find('1');
        members[static_cast<size_t>(parent_of_group[g])].push_back({first, static_cast<int>(g)});
    }
    for (size_t k = 0; k < n; ++k) {
        const int v = static_cast<int>(t.nodes.size());
        t.nodes.emplace_back();
        t.nodes.back().name = sorted_names[k];
        members[static_cast<size_t>(leaf_group[k])].push_back({k, v});
    }
    for (size_t g = 0; g < group.size(); ++g) {
        std::sort(members[g].begin(), members[g].end());
        for (const auto& m : members[g]) t.nodes[g].children.push_back(m.second);
    }
    std::vector<std::string> labels(t.nodes.size());
    for (size_t g = 1; g < group.size(); ++g) labels[g] = std::to_string(percent[g]);
    return write_newick_labelled(t, labels, nexus);
}
