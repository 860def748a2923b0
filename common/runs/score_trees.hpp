// Given trees for scoring on the run folder's alignment: a trees file split into its trees,
// and one tree made the current tree.
#pragma once

#include <string>
#include <vector>

// One tree of a trees file: its Newick text (comments in brackets left out) and the line
// where it starts.
struct GivenTree {
    std::string text;
    int line = 0;
};
// The trees of a file, each ending with ';' (a last one may lack it).
std::vector<GivenTree> split_trees(const std::string& text);

// Makes the tree `text` the current tree (leaves by name, the programs' node numbering);
// false with the reason when it is not a binary tree of exactly the alignment's taxa
// (freeml takes an unrooted tree, whose three-way top is resolved; clockml a rooted one).
// With `with_lengths` each node's value is the length written above it (0 where none).
bool load_given_tree(const std::string& text, std::string& why, bool with_lengths = false);
