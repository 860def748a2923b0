// A tree from the alignment alone, for fitting models before any search: neighbour joining
// (unrooted) or UPGMA (rooted, for a clock) on Jukes-Cantor distances.
#pragma once

#include <string>

// The Newick text of the distance tree of the current alignment (topology only).
std::string distance_tree_newick(bool rooted);

#include <vector>

// An edge of an unrooted tree with lengths: leaves are 0..n-1 in sequence order, the inner
// nodes n and up.
struct DistanceEdge {
    int a, b;
    double length;
};
// The neighbour-joining tree of the same distances with its branch lengths (negative ones
// set to zero).
std::vector<DistanceEdge> neighbour_joining_edges();
