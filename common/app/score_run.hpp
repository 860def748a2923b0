// --score FILE: the trees of FILE scored on this folder's alignment under its settings'
// model, each optimised; with two or more trees, the RELL tests of the set.
#pragma once

#include <string>

// Writes "score" (the table) and "scored.tre" (the optimised trees) here and the table on
// standard output; returns the exit status. `trees_named` is the file as the user named it.
int run_score(const std::string& trees_path, const std::string& trees_named, int replicates, int threads);
