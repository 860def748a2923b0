// The descriptions of the settings lines and the recommended values, and the tables made
// from them.
#include "input/settings_doc.hpp"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "base/program_info.hpp"
#include "input/settings.hpp"

namespace {

// Lines 16 to 18 and `estimate` differ between the programs: an entry whose `clock_only`
// or `free_only` is set belongs to that program alone.
struct Entry {
    SettingDoc doc;
    bool clock_only, free_only;
};

constexpr Entry kEntries[] = {
    {{"model", "1 HKY, 2 F84, 3 JC, 4 K2P", "1 to 4",
      "the substitution model; HKY cannot be combined with estimate 1 (estimation is then "
      "switched off)"}, false, false},
    {{"keep_gaps", "1 keeps sites with gaps (as missing data), 0 drops them", "0 or 1",
      "how many sites are used: 0 leaves out every site with a gap in any sequence"}, false, false},
    {{"burnin_iter", "burn-in moves, which set the starting temperature", "0 or more",
      "the largest change of the log-likelihood in one burn-in move sets the starting "
      "temperature, so a long burn-in starts the search too hot"}, false, false},
    {{"burnin_prob", "probability behind the reported burn-in length, in (0, 1]",
      "above 0, at most 1", "only the reported \"iterations during the burnin period\""}, false, false},
    {{"trial_prob", "probability behind the minimum trials per tree, in (0, 1]",
      "above 0, at most 1",
      "smaller values visit a tree more often before it stops counting as new"}, false, false},
    {{"stop_mult", "a search stops after stop_mult x n moves without a new tree",
      "0 or more (0: a search stops at once)",
      "larger values give longer, more thorough searches (n is the number of sequences)"}, false, false},
    {{"print_patterns", "1 lists the site patterns in results", "0 or 1",
      "the size of results"}, false, false},
    {{"print_alignment", "1 prints the pattern-ordered alignment", "0 or 1",
      "standard output"}, false, false},
    {{"beta_num", "numerator of the cooling constant (0: constant temperature)",
      "0 or more (0: constant temperature)",
      "smaller values cool more slowly; the temperature at iteration k is co / (1 + beta k) "
      "with beta = beta_num / ((1 - beta_frac) n - beta_frac beta_len / nsites)"}, false, false},
    {{"beta_frac", "fraction in the cooling constant's denominator, in [0, 1)",
      "0 or more, below 1", "the cooling speed, as beta_num does"}, false, false},
    {{"improve_tol", "relative rise of lnL that triggers a re-estimation", "0 or more",
      "smaller values re-estimate the model parameters more often (slower)"}, false, false},
    {{"n_keep", "best trees kept and reported", "0 or more (0: no trees kept)",
      "the number of trees in besttree, treefile and paupfile.nex"}, false, false},
    {{"max_iter", "move cap of each search", "0 or more",
      "a hard limit on the moves of each search, the burn-in included"}, false, false},
    {{"beta_len", "length term in the cooling constant's denominator", "0 or more",
      "the cooling speed, as beta_num does"}, false, false},
    {{"estimate", "1 re-estimates the transition/transversion parameter", "0 or 1",
      "1 also runs the optimisation of the best trees and a second search; 0 re-estimates "
      "the rate scale only. Under JC, which has no such parameter, only the rate scale is "
      "re-estimated"}, true, false},
    {{"estimate", "1 re-estimates the transition/transversion parameter", "0 or 1",
      "0 keeps the parameter at its starting value; JC has no such parameter"}, false, true},
    {{"use_lin_info", "1 reads per-lineage rates from lin_info", "0 or 1",
      "0 gives every lineage the rate 1"}, true, false},
    {{"accept_prob2", "probability of accepting a fall of delta_lnl2 at the second start",
      "above 0, below 1",
      "with delta_lnl2 it sets the second search's starting temperature, "
      "(1 + beta) delta_lnl2 / -ln(accept_prob2)"}, false, false},
    {{"delta_lnl2", "the lnL fall of accept_prob2", "above 0",
      "the second search's starting temperature, with accept_prob2"}, false, false},
    {{"gamma_shape", "shape of the branch-length multipliers of a move", "above 0",
      "larger values give smaller branch-length steps"}, false, true},
    {{"final_opt", "1 optimises the best trees again at the end", "0 or 1",
      "the accuracy of the reported branch lengths or node times"}, false, false},
    {{"nreps", "bootstrap replicates in the PAUP block (0: none)", "any (0 or less: none)",
      "only the PAUP block of paupfile.nex; the program itself does not run them"}, false, false},
    {{"seed1", "first seed, 1 to 2147483562", "1 to 2147483562",
      "the whole run: the starting tree and every draw of the search"}, false, false},
    {{"seed2", "second seed, 1 to 2147483398", "1 to 2147483398",
      "the whole run, with seed1"}, false, false},
};

constexpr SettingDoc kUnknown = {"", "", "", ""};

// A description as the start of a sentence.
std::string capitalised(const char* text) {
    std::string s = text;
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

}  // namespace

const SettingDoc& setting_doc(const char* name) {
    for (const Entry& e : kEntries) {
        if (std::strcmp(e.doc.name, name) != 0) continue;
        if ((e.clock_only && !program.has_lin_info) || (e.free_only && program.has_lin_info)) continue;
        return e.doc;
    }
    return kUnknown;
}

namespace {

// The lines that grow with the alignment (see recommended_settings_for_size): the move cap
// of each search, and the stopping rule on a flat best log-likelihood.
constexpr int kMovesCapPerTaxon = 4000;
constexpr double kFlatRise = 0.01;
// The flat window: 50 n moves, at least 2000 (at 16 sequences 800 moves ended a search half
// a unit below the peers' tree; 100 n cost a quarter more time at 256 sequences for the same
// tree).
constexpr int kFlatMovesPerTaxon = 50;
constexpr int kFlatMovesLeast = 2000;
// The best trees kept: every kept tree is optimised after each search, which at a few
// hundred sequences is a fifth of the run, while the best of them comes out the same; so 20
// up to 128 sequences, then 2560 / n of them, at least 5.
constexpr int kKeptTreesMost = 20;
constexpr int kKeptTreesTimesTaxa = 2560;
constexpr int kKeptTreesLeast = 5;
// freeml re-estimates its model less often, improve_tol = min(0.01, 0.5 / n): most of its
// time went to estimation points whose parameters barely moved (the benchmark sets keep
// their trees), but from a few hundred sequences on a search must not run long under the
// starting parameters (at 256 sequences 0.01 ended 4300 units lower, 0.002 as before).
// clockml's estimation is cheap beside its optimisation of node times; it keeps the fixed
// value.
constexpr double kFreeImproveTolMost = 0.01;
constexpr double kFreeImproveTolPerTaxon = 0.5;

}  // namespace

Settings recommended_settings() {
    Settings s;
    s.model = 2;
    s.keep_gaps = 1;
    s.burnin_iter = 200;
    s.burnin_prob = 0.9f;
    s.trial_prob = 0.05f;
    s.stop_mult = 100;
    s.print_patterns = 0;
    s.print_alignment = 0;
    s.beta_num = 0.5f;
    s.beta_frac = 0.5f;
    s.improve_tol = 0.0005f;
    s.n_keep = 20;
    s.max_iter = 200000;
    s.beta_len = 10.0f;
    s.estimate = 1;
    s.use_lin_info = 0;
    s.accept_prob2 = 0.5f;
    s.delta_lnl2 = 1.0f;
    s.gamma_shape = 20.0f;
    s.final_opt = 1;
    s.nreps = 0;
    s.seed1 = 12345;
    s.seed2 = 67890;
    return s;
}

// The move counts grow with n alone: on the benchmark sets the moves a search needs follow
// the number of sequences, while more patterns make each move dearer but not more needed.
Settings recommended_settings_for_size(int ntaxa, int /*npat*/) {
    Settings s = recommended_settings();
    const auto moves = [](long long count) { return static_cast<int>(std::min<long long>(count, INT_MAX)); };
    s.max_iter = std::max(s.max_iter, moves(static_cast<long long>(kMovesCapPerTaxon) * ntaxa));
    s.flat_lnl = kFlatRise;
    s.flat_moves = std::max(kFlatMovesLeast, moves(static_cast<long long>(kFlatMovesPerTaxon) * ntaxa));
    s.n_keep = std::clamp(kKeptTreesTimesTaxa / std::max(ntaxa, 1), kKeptTreesLeast, kKeptTreesMost);
    if (!program.has_lin_info)
        s.improve_tol = static_cast<float>(std::min(kFreeImproveTolMost, kFreeImproveTolPerTaxon / std::max(ntaxa, 1)));
    // The optimisation from both sides of each node: on the benchmark sets the same trees in
    // 0.25 to 0.55 of the time (it reaches the same or higher optima by another route, so the
    // last digits differ from a run without it).
    s.local_opt = 1;
    // Newton steps that keep the best point seen in the re-estimation: early in a search the
    // plain steps often run downhill for all their iterations and a quasi-Newton fallback
    // redoes the work (a fifth of the estimation points at 256 sequences).
    s.newton_guard = 1;
    return s;
}

void describe_settings(FILE* out, bool man) {
    SettingLine lines[kSettingsLines];
    const int count = settings_lines(lines);
    const Settings rec = recommended_settings();
    if (!man)
        fputs("| line | setting | recommended | allowed | meaning | what it changes |\n"
              "|---|---|---|---|---|---|\n",
              out);
    for (int k = 0; k < count; ++k) {
        const SettingDoc& d = setting_doc(lines[k].name);
        const std::string value = setting_value_text(rec, lines[k]);
        if (man)
            fprintf(out, ".TP\n.B %d %s\n%s. Allowed: %s; recommended: %s.\n%s.\n", k + 1, d.name,
                    capitalised(d.meaning).c_str(), d.allowed, value.c_str(),
                    capitalised(d.effect).c_str());
        else
            fprintf(out, "| %d | `%s` | %s | %s | %s | %s |\n", k + 1, d.name, value.c_str(), d.allowed,
                    d.meaning, d.effect);
    }
}
