// Scores a fixed topology on an alignment, so that trees from any program can be compared
// on one scale: F84 with a transition/transversion ratio of 2.0 and empirical base
// frequencies, sites with gaps kept as missing data, and the branch lengths (score_tree_free)
// or the node times and rate scale (score_tree_clock) optimised by the programs' own final
// optimisation, repeated until it gains less than 1e-6, in both of its forms (passes to the
// root in node order, and the walk of local_opt) and, for a clock tree whose lengths make
// valid node times, from those times as well as from the topology alone: the highest
// optimum is the score (coordinate steps on node times can stall far below it).
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

// Node times of a clock tree from its branch lengths (each node's length above it): depth
// from the root over the mean depth of the leaves, leaves at 1; empty when a node would not
// lie before both its children.
std::vector<double> clock_times_from_lengths(const std::vector<double>& lengths) {
    const int n = tree.n;
    std::vector<double> depth(lengths.size(), -1.0);
    depth[static_cast<size_t>(n + 1)] = 0.0;
    const auto depth_of = [&](int v, auto&& self) -> double {
        if (depth[static_cast<size_t>(v)] >= 0) return depth[static_cast<size_t>(v)];
        const double d = self(tree.cur.parents[v], self) + lengths[static_cast<size_t>(v)];
        depth[static_cast<size_t>(v)] = d;
        return d;
    };
    double leaves = 0;
    for (int v = 1; v <= 2 * n - 1; ++v) depth_of(v, depth_of);
    for (int v = 1; v <= n; ++v) leaves += depth[static_cast<size_t>(v)];
    leaves /= n;
    std::vector<double> times(lengths.size(), 0.0);
    for (int v = n + 2; v <= 2 * n - 1; ++v) times[static_cast<size_t>(v)] = depth[static_cast<size_t>(v)] / leaves;
    for (int v = 1; v <= n; ++v) times[static_cast<size_t>(v)] = 1.0;
    for (int v = 1; v <= 2 * n - 1; ++v)
        if (v != n + 1 && !(times[static_cast<size_t>(v)] > times[static_cast<size_t>(tree.cur.parents[v])]))
            return {};
    return times;
}

// The programs' own optimisation from the current values (walk: that of local_opt), repeated
// until it gains less than 1e-6.
double optimised_lnl(bool walk) {
    copy_tree_current_to_temp();
    program_leaf_setup();
    init_leaf_partials();
    prepare_loaded_tree();
    full_pass();
    double lnL = log_likelihood();
    settings.local_opt = walk ? 1 : 0;
    for (int round = 0; round < 200; ++round) {
        optimise_tree_values(lnL);
        full_pass();
        const double next = log_likelihood();
        const bool done = !(next > lnL + 1e-6);
        lnL = next > lnL ? next : lnL;
        if (done) break;
    }
    return lnL;
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
    // The tree's own lengths are not starting values for clockml's times in general (lengths
    // of another program's tree need not make a clock tree), so the times start from the
    // topology alone; a clock tree whose lengths do give valid times (depths from the root
    // over the mean depth of the leaves) is also optimised from those: from the topology
    // alone the node times can stall far below the optimum.
    std::vector<double> own_times;
    if (!program.unrooted_newick) {
        std::string ignored;
        if (load_given_tree(read_text(argv[2]), ignored, true)) own_times = clock_times_from_lengths(tree.cur.TimeVec);
    }
    const ModelEstimates entry = current_estimates();
    for (int i = 0; i <= 2 * n - 1; ++i) tree.cur.TimeVec[i] = 0.0;
    assign_start_values();
    for (int leaf = 1; leaf <= n; ++leaf)
        if (!program.unrooted_newick) tree.cur.TimeVec[leaf] = 1.0;
    for (int i = 1; i <= 2 * n - 1; ++i) tree.temp.parents[i] = tree.cur.parents[i];
    std::vector<std::vector<double>> starts = {tree.cur.TimeVec};
    if (!own_times.empty()) starts.push_back(own_times);
    // Each start optimised by both of the programs' optimisations (node by node in node order
    // with passes to the root, and the walk of local_opt): coordinate steps can stall, and
    // where each stalls differs; the highest optimum is the tree's score.
    double lnL = -HUGE_VAL;
    ModelEstimates best = entry;
    for (const std::vector<double>& start : starts)
        for (const bool walk : {false, true}) {
            restore_estimates(entry);
            tree.cur.TimeVec = start;
            const double found = optimised_lnl(walk);
            if (found > lnL || std::isnan(lnL)) {
                lnL = found;
                best = current_estimates();
            }
        }
    restore_estimates(best);
    printf("%.6f\n", lnL);
    if (mp.named.on) {
        const ModelParams::Named& m = mp.named;
        printf("estimates:");
        for (int k = 0; k < exchange_parameter_count(m.kind); ++k) printf(" %.6f", m.xp[k]);
        printf(" alpha %.6f pinv %.6f mu %.6f\n", m.alpha, m.pinv, mp.mu);
    }
    return std::isfinite(lnL) ? 0 : 1;
}
