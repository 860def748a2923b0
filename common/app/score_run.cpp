// Scoring given trees. The folder's infile, settings (and lin_info) are read as a run
// reads them; each tree gets the programs' starting values (freeml: parsimony lengths;
// clockml: its starting node times) and the programs' optimisation of one tree with the
// model's free parameters, repeated until a round gains less than 1e-6, so that its
// log-likelihood is that of the tree at its optimum, comparable with a search's best
// tree. Every tree starts from the same model values.
#include "app/score_run.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/app_seams.hpp"
#include "app/cli.hpp"
#include "app/memory_need.hpp"
#include "base/fatal.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "base/thread_pool.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/alignment.hpp"
#include "input/alignment_formats.hpp"
#include "input/infile_header.hpp"
#include "input/model_spec.hpp"
#include "input/settings.hpp"
#include "input/site_patterns.hpp"
#include "output/model_lines.hpp"
#include "output/newick.hpp"
#include "runs/score_trees.hpp"
#include "runs/tree_tests.hpp"
#include "search/search_seams.hpp"
#include "search/tree.hpp"

namespace {

constexpr int kMaxRounds = 200;
constexpr double kRoundGain = 1e-6;

struct ScoredTree {
    double lnL = 0;
    std::vector<double> pattern_lnl;  // one site of each pattern
    std::string newick;               // with the optimised lengths or times
    std::string parameters;           // the model's estimates for this tree
};

// The folder's alignment, settings and model, as a run reads them (without its reports).
void read_inputs() {
    std::string text, settings_text;
    if (!read_text_file("infile", text)) fatal("Error: cannot read infile in this folder\n");
    const bool own = starts_with_own_header(text) || !in_other_format(text);
    OtherAlignment other;
    size_t offset = 0;
    if (own) {
        offset = parse_infile_header(text);
    } else {
        read_other_format(text, other);
        set_dimensions(other);
    }
    if (!read_text_file("settings", settings_text)) fatal("Error: cannot read settings in this folder\n");
    parse_settings(settings_text);
    take_model_option(command_line.model);
    const int n = settings.ntaxa;
    reset_tree(n);
    reset_archive(n, 1);
    program_extra_inputs();
    if (own)
        parse_sequences(text, offset);
    else
        set_sequences(other);
    build_patterns();
    setup_model();
}

std::string memory_text(void (*write)(FILE*)) {
    char* buf = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buf, &size);
    if (f == nullptr) return std::string();
    write(f);
    fclose(f);
    std::string text(buf, size);
    free(buf);
    return text;
}

std::string model_name() {
    if (mp.named.on) return model_spec_name(settings.model_spec);
    static const char* const kNames[] = {"", "HKY", "F84", "JC", "K2P"};
    return settings.model >= 1 && settings.model <= 4 ? kNames[settings.model] : "?";
}

std::string parameters_text() {
    if (mp.named.on) return memory_text([](FILE* f) { write_named_parameters(f, "  "); });
    char line[160];
    snprintf(line, sizeof line, "  transition/transversion ratio %.6f, rate scale mu %.6f\n", mp.ratio, mp.mu);
    return line;
}

ScoredTree score_loaded_tree() {
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
        const bool done = !(next > lnL + kRoundGain);
        if (next > lnL) lnL = next;
        if (done) break;
    }
    ScoredTree s;
    s.lnL = full_pass_log_likelihood();
    // One site of each pattern: the terms with every weight 1.
    const std::vector<int> weights = alignment.site_counter;
    for (int p = 0; p < alignment.npat; ++p) alignment.site_counter[static_cast<size_t>(p)] = 1;
    (void)log_likelihood();
    s.pattern_lnl.assign(lik.site_terms.begin(), lik.site_terms.begin() + alignment.npat);
    alignment.site_counter = weights;
    copy_tree_current_to_best();
    s.newick = memory_text([](FILE* f) { write_newick_best(f); }) + ";";
    s.parameters = parameters_text();
    return s;
}

std::string table_text(const std::string& trees_path, const std::vector<TreeTestResult>& r,
                       const std::vector<ScoredTree>& scored, int replicates) {
    std::string out;
    char line[512];
    const size_t T = r.size();
    snprintf(line, sizeof line, "Scores of the %zu tree%s of %s under the %s model (%s)\n", T, T == 1 ? "" : "s",
             trees_path.c_str(), model_name().c_str(), program.name);
    out += line;
    out += program.unrooted_newick
               ? "Each tree's branch lengths and the model's free parameters were optimised for it.\n"
               : "Each tree's node times, rate scale and the model's free parameters were optimised for it.\n";
    int sites = 0;
    for (int w : alignment.site_counter) sites += w;
    if (T > 1) {
        snprintf(line, sizeof line,
                 "The tests resample the %d sites %d times (RELL; the stream of the settings seeds).\n",
                 sites, replicates);
        out += line;
    }
    out += "\n Tree           logL      deltaL   bp-RELL      p-KH      p-SH      p-AU\n";
    for (size_t t = 0; t < T; ++t) {
        if (T > 1)
            snprintf(line, sizeof line, "%5zu %14.4f %11.4f %9.4f %9.4f %9.4f %9.4f\n", t + 1, r[t].lnL,
                     r[t].delta, r[t].bp, r[t].p_kh, r[t].p_sh, r[t].p_au);
        else
            snprintf(line, sizeof line, "%5zu %14.4f %11.4f\n", t + 1, r[t].lnL, r[t].delta);
        out += line;
    }
    out += "\ndeltaL: the highest logL less this tree's. bp-RELL: the share of resamplings in which\n"
           "the tree has the highest logL. p-KH: one-sided Kishino-Hasegawa test against the best\n"
           "tree (the best tree against the second). p-SH: Shimodaira-Hasegawa test. p-AU:\n"
           "approximately unbiased test (multiscale resampling at 0.5 to 1.4 times the sites).\n"
           "A tree with a p-value below 0.05 is rejected by that test.\n\nThe model's estimates with each tree:\n";
    for (size_t t = 0; t < T; ++t) {
        snprintf(line, sizeof line, "Tree %zu:\n", t + 1);
        out += line + scored[t].parameters;
    }
    return out;
}

}  // namespace

int run_score(const std::string& trees_path, const std::string& trees_named, int replicates, int threads) {
    std::set_new_handler(allocation_failed);
    std::string trees_text;
    if (!read_text_file(trees_path, trees_text)) {
        fprintf(stderr, "%s: --score %s: cannot read it\n", program.name, trees_named.c_str());
        return 1;
    }
    const std::vector<GivenTree> given = split_trees(trees_text);
    if (given.empty()) {
        fprintf(stderr, "%s: --score %s: it holds no tree\n", program.name, trees_named.c_str());
        return 1;
    }
    read_inputs();
    start_threads(threads > 0 ? threads : std::clamp(alignment.npat / 500, 1, available_cores()));
    reset_likelihood_tables(tree.n, alignment.npat, mp.named.on ? mp.named.ncat : 1, !mp.named.on);
    const ModelParams start = mp;
    std::vector<ScoredTree> scored;
    TreeTestInput in;
    in.weights = alignment.site_counter;
    in.weights.resize(static_cast<size_t>(alignment.npat));
    for (size_t k = 0; k < given.size(); ++k) {
        std::string why;
        // Every tree starts from the same state: fresh tree arrays and the start's model.
        reset_tree(tree.n);
        if (!load_given_tree(given[k].text, why)) {
            fprintf(stderr, "%s: --score %s, line %d: tree %zu cannot be scored: %s\n", program.name,
                    trees_named.c_str(), given[k].line, k + 1, why.c_str());
            return 1;
        }
        mp = start;
        scored.push_back(score_loaded_tree());
        in.pattern_lnl.push_back(scored.back().pattern_lnl);
        printf("  tree %zu of %zu: logL %.4f\n", k + 1, given.size(), scored.back().lnL);
        fflush(stdout);
    }
    in.replicates = replicates;
    in.seed = ((static_cast<uint64_t>(static_cast<uint32_t>(settings.seed1)) << 32) |
               static_cast<uint32_t>(settings.seed2)) ^ 0x52454C4CULL;
    const std::vector<TreeTestResult> results = run_tree_tests(in);
    std::string trees;
    for (const ScoredTree& s : scored) trees += s.newick + "\n";
    const std::string table = table_text(trees_named, results, scored, replicates);
    if (!write_text_file("scored.tre", trees) || !write_text_file("score", table)) {
        fprintf(stderr, "%s: cannot write score and scored.tre in this folder\n", program.name);
        return 1;
    }
    printf("\n%s\nThe table is in score, the optimised trees in scored.tre\n", table.c_str());
    return 0;
}
