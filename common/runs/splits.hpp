// The split arithmetic of the summaries: the best trees' splits, support values written onto
// a tree as internal labels, and the majority-rule consensus.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "runs/newick_read.hpp"

// A set of taxa as '0'/'1' over the names sorted by byte value.
using Split = std::string;

// The splits of the tree's internal branches, one per internal node but the root, as sets
// over `sorted_names` (which must hold the tree's leaf names). Unrooted trees (rooted =
// false) give each split the side without the first name, and leave out those of fewer than
// two taxa on either side; rooted trees keep their clades of 2 to n - 1 taxa. `of_node`
// receives each internal node's split ("" where it has none).
std::vector<Split> tree_splits(const NewickTree& t, const std::vector<std::string>& sorted_names,
                               bool rooted, std::vector<Split>* of_node = nullptr);

// The tree as Newick (with ';'), each internal node but the root labelled by `labels`
// (indexed by node, "" for none), lengths as read, names quoted for plain Newick or, with
// `nexus`, for a NEXUS trees block.
std::string write_newick_labelled(const NewickTree& t, const std::vector<std::string>& labels,
                                  bool nexus);

// The majority-rule consensus of trees over `sorted_names`: the splits (clades when
// `rooted`) held by more than half of `tree_count` trees, each labelled with the percentage
// of trees that hold it; `counts` has each split with the number of trees holding it.
std::string majority_consensus(const std::vector<std::pair<Split, int>>& counts, int tree_count,
                               const std::vector<std::string>& sorted_names, bool nexus);

// The percentage of `total` that `count` is, rounded to a whole number (halves up).
int whole_percent(int count, int total);
