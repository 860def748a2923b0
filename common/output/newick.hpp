// Newick text of the best tree (with lengths) and of archived trees (topology only).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "base/state.hpp"

// The best tree (ppTwoRow_best, TimeVec_best) from the root, in the program's form.
void write_newick_best(FILE* f);
// The same with a label after each internal node that has one (labels[v], "" for none).
void write_newick_best_labelled(FILE* f, const std::vector<std::string>& labels);
// An archived tree from the root, in the program's form. With `nexus_names` the names are
// written as a NEXUS trees block needs them (nexus_name).
void write_newick_record(FILE* f, const TreeRecord* record, bool nexus_names = false);
// A taxon name as a NEXUS token: as it stands, or in single quotes (an inner quote doubled)
// when it holds a blank, a control character or NEXUS punctuation such as '-'.
std::string nexus_name(const std::string& name);
// A taxon name as plain Newick needs it: quoted with single quotes (inner ones doubled) when
// it holds a blank or Newick punctuation, otherwise as it is.
std::string newick_name(const std::string& name);

// Rooted form.
void write_newick_lengths(FILE* f, int v, int parent);
void write_newick_topology(FILE* f, const TreeRecord* record, int v, bool nexus_names = false);
// Unrooted form (three-way split at the top).
void write_newick_lengths_unrooted(FILE* f, int v, int parent, bool top);
void write_newick_topology_unrooted(FILE* f, const TreeRecord* record, int v, bool top,
                                    bool nexus_names = false);
// The best tree's topology, rooted, with the edges taken from `times` (edge = times[child] -
// times[parent]) and a label after each internal node (labels[v], "" for none).
void write_newick_best_with_times(FILE* f, const double* times, const std::vector<std::string>& labels);
