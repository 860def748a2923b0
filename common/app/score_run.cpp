// Scoring given trees: each tree of the file fitted on the folder's alignment from the same
// starting model values, then the RELL tests of the set.
#include "app/score_run.hpp"

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "app/fit_tree.hpp"
#include "app/memory_need.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "runs/score_trees.hpp"
#include "runs/tree_tests.hpp"

namespace {

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
    read_fit_inputs();
    prepare_fit(threads);
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
