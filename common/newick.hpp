// Newick text of the best tree (with lengths) and of archived trees (topology only).
#pragma once

#include <cstdio>

#include "state.hpp"

// The best tree (ppTwoRow_best, TimeVec_best) from the root, in the program's form.
void write_newick_best(FILE* f);
// An archived tree from the root, in the program's form.
void write_newick_record(FILE* f, const TreeRecord* record);

// Rooted form.
void write_newick_lengths(FILE* f, int v, int parent);
void write_newick_topology(FILE* f, const TreeRecord* record, int v);
// Unrooted form (three-way split at the top).
void write_newick_lengths_unrooted(FILE* f, int v, int parent, bool top);
void write_newick_topology_unrooted(FILE* f, const TreeRecord* record, int v, bool top);
