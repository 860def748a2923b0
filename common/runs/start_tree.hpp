// A tree from the alignment alone, for fitting models before any search: neighbour joining
// (unrooted) or UPGMA (rooted, for a clock) on Jukes-Cantor distances.
#pragma once

#include <string>

// The Newick text of the distance tree of the current alignment (topology only).
std::string distance_tree_newick(bool rooted);
