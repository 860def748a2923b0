// The model test. Every candidate (JC, K2P, F84, HKY, TN93 and GTR, each alone, +I, +G4 and
// +I+G4; base frequencies empirical where the model has them) is fitted on the same tree:
// neighbour joining (freeml) or UPGMA (clockml) on Jukes-Cantor distances, its branch
// lengths or node times optimised for each candidate with the model's free parameters.
// k counts those values: 2n - 3 branch lengths (freeml) or n - 2 node times and the rate
// scale (clockml), the exchange parameters, three free base frequencies, the proportion of
// invariable sites and the Gamma shape. With N sites: AIC = 2k - 2 lnL,
// AICc = AIC + 2k(k + 1) / (N - k - 1), BIC = k ln N - 2 lnL; the table is sorted by the
// chosen criterion (ties in candidate order).
#include "app/model_test.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "app/cli.hpp"
#include "app/fit_tree.hpp"
#include "app/memory_need.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "engine/model.hpp"
#include "input/model_spec.hpp"
#include "runs/score_trees.hpp"
#include "runs/start_tree.hpp"

namespace {

constexpr const char* kKinds[] = {"JC", "K2P", "F84", "HKY", "TN93", "GTR"};
constexpr const char* kRates[] = {"", "+I", "+G4", "+I+G4"};
// A candidate's fit ends when a round gains less than this: the criteria differ by whole
// units between candidates, and the last rounds of a tight fit only polish the third decimal.
constexpr double kModelTestRoundGain = 0.01;

struct Candidate {
    std::string name;
    double lnL = 0;
    int k = 0;
    double aic = 0, aicc = 0, bic = 0;
    int order = 0;
};

double criterion_of(const Candidate& c, const std::string& criterion) {
    return criterion == "AIC" ? c.aic : criterion == "AICc" ? c.aicc : c.bic;
}

int model_parameters(const ModelSpec& m) {
    int k = exchange_parameter_count(m.kind);
    if (m.freqs == ModelSpec::Freqs::kEmpirical) k += 3;
    if (m.invariant) k += 1;
    if (m.ncat > 1) k += 1;
    return k;
}

}  // namespace

int run_model_test(const std::string& criterion, int threads, std::string& winner) {
    std::set_new_handler(allocation_failed);
    // The candidates replace whatever model the settings or --model name.
    const std::string asked = command_line.model;
    command_line.model.clear();
    read_fit_inputs();
    command_line.model = asked;
    settings.model_spec = ModelSpec{};
    const int n = tree.n;
    long sites = 0;
    for (int p = 0; p < alignment.npat; ++p) sites += alignment.site_counter[static_cast<size_t>(p)];
    const std::string start = distance_tree_newick(!program.unrooted_newick);
    const int tree_values = program.unrooted_newick ? 2 * n - 3 : n - 1;
    printf("Model test: %zu candidates fitted on the %s tree of Jukes-Cantor distances\n",
           std::size(kKinds) * std::size(kRates), program.unrooted_newick ? "neighbour-joining" : "UPGMA");
    std::vector<Candidate> all;
    for (const char* kind : kKinds)
        for (const char* rates : kRates) {
            Candidate c;
            c.name = std::string(kind) + rates;
            c.order = static_cast<int>(all.size());
            std::string why;
            settings.model_spec = ModelSpec{};
            if (!parse_model_spec(c.name, settings.model_spec, why)) {
                fprintf(stderr, "%s: model test: %s: %s\n", program.name, c.name.c_str(), why.c_str());
                return 1;
            }
            setup_model();
            prepare_fit(threads);
            reset_tree(n);
            if (!load_given_tree(start, why)) {
                fprintf(stderr, "%s: model test: the distance tree cannot be used: %s\n", program.name, why.c_str());
                return 1;
            }
            c.lnL = score_loaded_tree(kModelTestRoundGain).lnL;
            c.k = tree_values + model_parameters(settings.model_spec);
            c.aic = 2.0 * c.k - 2 * c.lnL;
            c.aicc = sites - c.k - 1 > 0 ? c.aic + 2.0 * c.k * (c.k + 1) / static_cast<double>(sites - c.k - 1) : HUGE_VAL;
            c.bic = c.k * std::log(static_cast<double>(sites)) - 2 * c.lnL;
            printf("  %-10s logL %.4f\n", model_name().c_str(), c.lnL);
            fflush(stdout);
            c.name = model_name();
            all.push_back(c);
        }
    std::stable_sort(all.begin(), all.end(), [&](const Candidate& a, const Candidate& b) {
        return criterion_of(a, criterion) < criterion_of(b, criterion);
    });
    std::string out;
    char line[512];
    snprintf(line, sizeof line,
             "Model test of %s on the %d sequences and %ld sites of infile, every candidate fitted on\n"
             "the %s tree of Jukes-Cantor distances (its %s optimised for each)\n"
             "k: the free values, %d %s and the model's parameters; sorted by %s\n\n",
             program.name, n, sites, program.unrooted_newick ? "neighbour-joining" : "UPGMA",
             program.unrooted_newick ? "branch lengths" : "node times and rate scale", tree_values,
             program.unrooted_newick ? "branch lengths" : "node times and the rate scale", criterion.c_str());
    out += line;
    out += " Model                  logL     k            AIC           AICc            BIC\n";
    for (const Candidate& c : all) {
        snprintf(line, sizeof line, " %-14s %14.4f %5d %14.4f %14.4f %14.4f\n", c.name.c_str(), c.lnL, c.k, c.aic,
                 c.aicc, c.bic);
        out += line;
    }
    // The winner as --model takes it: the candidate's own name.
    winner = std::string(kKinds[all.front().order / 4]) + kRates[all.front().order % 4];
    snprintf(line, sizeof line, "\nBest model by %s: %s\n", criterion.c_str(), winner.c_str());
    out += line;
    out += "\nThe tree (topology only):\n" + start + "\n";
    if (!write_text_file("modeltest", out)) {
        fprintf(stderr, "%s: cannot write modeltest in this folder\n", program.name);
        return 1;
    }
    printf("\n%s", out.c_str());
    return 0;
}
