// Scores a fixed topology on an alignment, so that trees from any program can be compared
// on one scale: F84 with a transition/transversion ratio of 2.0 and empirical base
// frequencies, sites with gaps kept as missing data, and the branch lengths (score_tree_free)
// or the node times and rate scale (score_tree_clock) optimised by the programs' own final
// optimisation, repeated until it gains less than 1e-6.
//
//   score_tree_free ALIGNMENT TREE      (unrooted Newick; a rooted one is unrooted)
//   score_tree_clock ALIGNMENT TREE     (rooted Newick)
//
// ALIGNMENT is in the programs' infile format; TREE holds one Newick tree whose names are
// those of the alignment (branch lengths and support values are ignored). Prints the lnL.
// A third argument names another model (GTR+F+G4, HKY{4}+G4{0.5}, ...): its free parameters
// are estimated with the lengths or times, and a second line gives their estimates. With a
// fourth argument --fixed (score_tree_free), the tree's own branch lengths and the model's
// values are taken as they are: the lnL of exactly that tree, model and values.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_seams.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/alignment.hpp"
#include "input/infile_header.hpp"
#include "input/model_spec.hpp"
#include "input/settings.hpp"
#include "input/site_patterns.hpp"
#include "output/runlog.hpp"
#include "runs/score_trees.hpp"
#include "search/search_seams.hpp"
#include "search/tree.hpp"

namespace {

[[noreturn]] void die(const char* what, const std::string& detail) {
    fprintf(stderr, "score_tree: %s%s\n", what, detail.c_str());
    exit(1);
}

std::string read_text(const char* path) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) die("cannot open ", path);
    std::string text;
    if (!read_whole_file(f, text)) die("cannot read ", path);
    fclose(f);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5 || (argc == 5 && std::strcmp(argv[4], "--fixed") != 0)) {
        fprintf(stderr, "usage: %s ALIGNMENT TREE [MODEL [--fixed]]\n", argv[0]);
        return 1;
    }
    const bool fixed = argc == 5;
    reset_all_records();
    reset_runlog();
    run_files.results = fopen("/dev/null", "w");
    run_files.paupfile = fopen("/dev/null", "w");
    const std::string data = read_text(argv[1]);
    const size_t offset = parse_infile_header(data);
    Settings& s = settings;
    s.model = 2;
    s.keep_gaps = 1;
    s.estimate = 0;  // the ratio stays at 2.0; clockml's optimisation still fits its rate scale
    s.use_lin_info = 0;
    s.n_keep = 1;
    const int n = s.ntaxa;
    reset_tree(n);
    reset_archive(n, 1);
    parse_sequences(data, offset);
    build_patterns();
    std::string why;
    if (argc >= 4 && !parse_model_spec(argv[3], s.model_spec, why)) {
        fprintf(stderr, "%s: %s\n", argv[3], why.c_str());
        return 1;
    }
    setup_model();
    reset_likelihood_tables(n, alignment.npat, mp.named.on ? mp.named.ncat : 1, !mp.named.on);

    for (int i = 0; i <= 2 * n - 1; ++i) tree.cur.TimeVec[i] = 0.0;
    if (!load_given_tree(read_text(argv[2]), why, fixed)) die("the tree cannot be used: ", why);
    if (fixed) {
        if (!program.unrooted_newick) die("--fixed takes the branch lengths of an unrooted tree", "");
        tree.cur.TimeVec[tree.n + 1] = 0.0;
        copy_tree_current_to_temp();
        program_leaf_setup();
        init_leaf_partials();
        full_pass();
        printf("%.6f\n", log_likelihood());
        return 0;
    }
    // The tree's own lengths are not starting values: clock start times must come from
    // the topology alone (lengths read into the times leave a tree that is not a clock tree).
    for (int i = 0; i <= 2 * n - 1; ++i) tree.cur.TimeVec[i] = 0.0;
    assign_start_values();
    for (int leaf = 1; leaf <= n; ++leaf)
        if (!program.unrooted_newick) tree.cur.TimeVec[leaf] = 1.0;
    for (int i = 1; i <= 2 * n - 1; ++i) tree.temp.parents[i] = tree.cur.parents[i];
    copy_tree_current_to_temp();
    program_leaf_setup();
    init_leaf_partials();
    prepare_loaded_tree();
    full_pass();
    double lnL = log_likelihood();
    for (int round = 0; round < 200; ++round) {
        optimise_tree_values(lnL);
        full_pass();
        const double next = log_likelihood();
        const bool done = !(next > lnL + 1e-6);
        lnL = next > lnL ? next : lnL;
        if (done) break;
    }
    printf("%.6f\n", lnL);
    if (mp.named.on) {
        const ModelParams::Named& m = mp.named;
        printf("estimates:");
        for (int k = 0; k < exchange_parameter_count(m.kind); ++k) printf(" %.6f", m.xp[k]);
        printf(" alpha %.6f pinv %.6f mu %.6f\n", m.alpha, m.pinv, mp.mu);
    }
    return std::isfinite(lnL) ? 0 : 1;
}
