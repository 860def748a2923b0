// Fitting one tree without a search. Each tree gets the programs' starting values
// (freeml: parsimony lengths; clockml: its starting node times) and the programs'
// optimisation of one tree with the model's free parameters, repeated until a round gains
// less than 1e-6, so that its log-likelihood is that of the tree at its optimum,
// comparable with a search's best tree.
#include "app/fit_tree.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/app_seams.hpp"
#include "app/cli.hpp"
#include "base/fatal.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "base/thread_pool.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/alignment_formats.hpp"
#include "input/model_spec.hpp"
#include "input/settings.hpp"
#include "input/site_patterns.hpp"
#include "output/model_lines.hpp"
#include "output/newick.hpp"
#include "search/search_seams.hpp"
#include "search/tree.hpp"

namespace {

constexpr int kMaxRounds = 200;

}  // namespace

// The folder's alignment, settings and model, as a run reads them (without its reports).
void read_fit_inputs() {
    std::string text, settings_text;
    if (!read_text_file("infile", text)) fatal("Error: cannot read infile in this folder\n");
    InfileText infile = read_infile_dimensions(text);
    if (!read_text_file("settings", settings_text)) fatal("Error: cannot read settings in this folder\n");
    parse_settings(settings_text);
    take_model_option(command_line.model);
    const int n = settings.ntaxa;
    reset_tree(n);
    reset_archive(n, 1);
    program_extra_inputs();
    read_infile_sequences(text, infile);
    build_patterns();
    setup_model();
}

std::string model_name() {
    if (mp.named.on) return model_spec_name(settings.model_spec);
    static const char* const kNames[] = {"", "HKY", "F84", "JC", "K2P"};
    return settings.model >= 1 && settings.model <= 4 ? kNames[settings.model] : "?";
}

std::string parameters_text() {
    if (mp.named.on) return text_written_by([](FILE* f) { write_named_parameters(f, "  "); });
    char line[160];
    snprintf(line, sizeof line, "  transition/transversion ratio %.6f, rate scale mu %.6f\n", mp.ratio, mp.mu);
    return line;
}

ScoredTree score_loaded_tree(double round_gain) {
    const int n = tree.n;
    assign_start_values();
    if (!program.unrooted_newick)
        for (int leaf = 1; leaf <= n; ++leaf) tree.cur.TimeVec[leaf] = 1.0;
    for (int i = 1; i <= 2 * n - 1; ++i) tree.temp.parents[i] = tree.cur.parents[i];
    copy_tree_current_to_temp();
    program_leaf_setup();
    init_leaf_partials();
    prepare_loaded_tree();
    double lnL = full_pass_log_likelihood();
    for (int round = 0; round < kMaxRounds; ++round) {
        optimise_tree_values(lnL);
        const double next = full_pass_log_likelihood();
        const bool done = !(next > lnL + round_gain);
        if (next > lnL) lnL = next;
        if (done) break;
    }
    ScoredTree s;
    s.lnL = full_pass_log_likelihood();
    s.pattern_lnl = pattern_log_likelihoods();
    copy_tree_current_to_best();
    s.newick = text_written_by([](FILE* f) { write_newick_best(f); }) + ";";
    s.parameters = parameters_text();
    return s;
}


void prepare_fit(int threads) {
    start_threads(threads > 0 ? threads : std::clamp(alignment.npat / 500, 1, available_cores()));
    reset_likelihood_tables(tree.n, alignment.npat, mp.named.on ? mp.named.ncat : 1, !mp.named.on);
}
