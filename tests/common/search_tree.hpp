// A five-taxon search set-up shared by the proposal and annealing tests: eight site
// patterns, the model of setup_model, a tree with its partials, copies and archive record.
#pragma once

#include <cstdio>
#include <string>

#include "base/rng.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "search/archive.hpp"
#include "search/tree.hpp"
#include "support.hpp"

// Children of the internal nodes 6..9 (row 0, row 1) and the node values 0..10.
struct SearchTreeShape {
    int rows[2][4];
    double values[11];
};

// root 6 = (7, 8), 7 = (1, 9), 8 = (4, 5), 9 = (2, 3): clock times, or branch lengths.
inline SearchTreeShape clock_shape() {
    return {{{7, 1, 4, 2}, {8, 9, 5, 3}}, {0, 1, 1, 1, 1, 1, 0.0, 0.3, 0.5, 0.6, 0}};
}
inline SearchTreeShape free_shape() {
    return {{{7, 1, 4, 2}, {8, 9, 5, 3}}, {0, 0.4, 0.1, 0.15, 0.2, 0.25, 0, 0.05, 0.3, 0.12, 0}};
}

// Resets everything and builds the set-up; returns the tree's log-likelihood.
inline double setup_search_tree(const SearchTreeShape& shape, int model, FILE* results) {
    reset_all_state();
    alignment.ppBase_unique = {{0, 1, 2, 3, 0, 0, 1, 2}, {0, 1, 2, 2, 1, 0, 3, 4},
                               {0, 1, 3, 2, 1, 0, 3, 2}, {1, 1, 2, 3, 0, 2, 0, 3},
                               {1, 0, 2, 3, 6, 2, 0, 3}};
    alignment.site_counter = {5, 3, 4, 2, 1, 6, 2, 3};
    alignment.npat = 8;
    settings.ntaxa = 5;
    settings.nsites = 26;
    settings.model = model;
    settings.min_trials = 4;
    run_files.results = results;
    setup_model();
    reset_tree(5);
    reset_likelihood_tables(5, alignment.npat);
    reset_archive(5, 3);
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k < 4; ++k) tree.cur.ppTwoRow[r][k] = shape.rows[r][k];
    for (int i = 0; i <= 10; ++i) tree.cur.TimeVec[i] = shape.values[i];
    parents_from_rows(tree.cur.ppTwoRow, tree.cur.parents);
    copy_tree_current_to_temp();
    copy_tree_current_to_best();
    init_leaf_partials();
    full_pass();
    ann.lnL_cur = ann.lnL_best = log_likelihood();
    archive.cur_record = archive_current_tree(ann.lnL_cur).record;
    seed_all(12345, 67890);
    return ann.lnL_cur;
}

inline bool temp_equals_current() {
    return tree.temp.ppTwoRow[0] == tree.cur.ppTwoRow[0] && tree.temp.ppTwoRow[1] == tree.cur.ppTwoRow[1] &&
           tree.temp.TimeVec == tree.cur.TimeVec && tree.temp.parents == tree.cur.parents;
}

// The live partials and scaling counts of every node, as bytes.
inline std::string likelihood_snapshot() {
    std::string s;
    for (int v = 0; v < lik.nodes; ++v) {
        s.append(reinterpret_cast<const char*>(lik_row(v)), 4 * sizeof(double) * lik.npat);
        s.append(reinterpret_cast<const char*>(scale_row(v)), sizeof(int) * lik.npat);
    }
    return s;
}

// pppLik belongs to the current tree when a full pass leaves every byte as it is.
inline bool partials_match_full_pass() {
    const std::string before = likelihood_snapshot();
    full_pass();
    return likelihood_snapshot() == before;
}

// Generator 1's current seeds, which every uniform draw advances.
inline std::pair<int32_t, int32_t> generator_position() { return {rng.cg1[1], rng.cg2[1]}; }
