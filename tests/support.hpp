// Helpers shared by the unit tests.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// Resets every process-wide record.
void reset_all_state();
// Reads a whole file into a string ("" when it cannot be opened).
std::string slurp(const std::string& path);
// Everything written to `f` so far (flushes and rewinds it).
std::string file_text(FILE* f);
// What `write` puts into a fresh temporary file.
std::string capture(const std::function<void(FILE*)>& write);

// Site patterns from one row of letters (A G C T - M R W S Y K B D H V N) per taxon, one
// column per pattern, with the patterns' weights; ntaxa and nsites follow.
void set_patterns(const std::vector<std::string>& rows, const std::vector<int>& weights);
// One pattern per column of `seqs`, weighted 1, 2, 3, 1, 2, 3, ..., then use_model(model)
// with `estimate` set.
void set_columns(const std::vector<std::string>& seqs, int model, int estimate);
// setup_model for `model`, its report lines going to /dev/null (left as results).
void use_model(int model);

// Fresh likelihood tables, the program's leaf set-up, leaf partials and a full pass over
// the current tree; returns its log-likelihood.
double start_likelihood();

// Child rows of the current and proposed trees from (node, first child, second child)
// triples, with the parents of both.
struct Children {
    int node, c0, c1;
};
void set_children(int n, const std::vector<Children>& joins);
