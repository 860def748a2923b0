// The run report at the end of results, the best-tree listing (besttree and treefile)
// and the trees and PAUP blocks of paupfile.nex.
#include "output/reports.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "search/archive.hpp"

#include "base/program_info.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/model_spec.hpp"
#include "output/model_lines.hpp"
#include "output/newick.hpp"

namespace {

// Transition/transversion ratio that goes with a value of Kprime.
double ratio_of_kprime(double kprime) {
    const double AG = mp.piA * mp.piG;
    const double CT = mp.piC * mp.piT;
    return ((kprime - 1) * mp.kDenom + AG + CT) / (mp.pi_r * mp.pi_y);
}

// A named model's estimates that go with the best tree (those of the search's best, or of
// the archived tree made best by the optimisation) and its log-likelihood. They are put in
// force only to derive what they give, then the final values come back.
void write_named_estimates(FILE* f) {
    const ModelEstimates final_values = current_estimates();
    restore_estimates(ann.best);
    fprintf(f, " The model is %s; its estimates with the best tree, whose log-likelihood is %f:\n\n",
            model_spec_name(settings.model_spec).c_str(), ann.lnL_best);
    write_named_parameters(f, " The final estimate of ");
    fprintf(f, " The final estimate of the transition/transversion ratio is %f\n\n", mp.ratio);
    fprintf(f, " The base frequencies are A %f, C %f, G %f, T %f\n\n", mp.piA, mp.piC, mp.piG,
            mp.piT);
    restore_estimates(final_values);
}

}  // namespace

void write_anneal_lines(const AnnealSummary& s) {
    FILE* out = run_files.results;
    fprintf(out, " The likelihood at end of burnin is %f\n\n", s.lnL_after_burnin);
    if (!s.second_ran)
        fprintf(out, " The total number of iterations is %d\n\n", s.first_iterations);
    else
        fprintf(out,
                " Total iterations in first anneal is %d, total iterations in second anneal is "
                "%d\n\n",
                s.first_iterations, s.second_iterations);
    if (!program.timing_lines) return;
    fprintf(out, " Time to perform annealing is %f\n\n", s.anneal_seconds);
    fprintf(out, " Time to perform tree optimization is %f\n\n", s.optimisation_seconds);
}

void write_run_report() {
    FILE* f = run_files.results;
    fprintf(f, " The number of iterations during the burnin period is %d\n\n", settings.burnin_len);
    fprintf(f, " The number of iterations after last unique tree proposed is at least %d\n\n",
            settings.stop_count);
    if (settings.flat_moves > 0) {
        static const char* const kEnded[] = {"neither search ended so", "the first search ended so",
                                             "the second search ended so", "both searches ended so"};
        fprintf(f, " A search also ends when its best log-likelihood has not risen by more than %g "
                   "in %d iterations: %s\n\n",
                settings.flat_lnl, settings.flat_moves, kEnded[ann.flat_ended & 3]);
    }
    fprintf(f, " The number of trials within each tree must be at least %d\n\n",
            settings.min_trials);
    fprintf(f, " The value of beta is %f\n\n", ann.beta);
    fprintf(f, " The estimated value of co is %f\n\n", ann.co);
    fprintf(f, " The number of iterations was %d\n\n", ann.anneal_iter);
    fprintf(f, " The final value of ci was %f\n\n", ann.ci);
    fprintf(f, " The overall number of topology changes was %d\n\n", ann.n_changes);
    fprintf(f, " The total number of trees accepted was %d\n\n", ann.n_accepted);
    fprintf(f, " The final estimate of mu is %f\n\n", mp.mu);
    fprintf(f, " The estimate of mu associated with the best tree is %f\n\n", ann.best.mu);
    if (mp.named.on) {
        write_named_estimates(f);
    } else if (estimation_on()) {
        const double Kb = ann.best.Kprime;
        fprintf(f,
                " The estimate of the transition/transversion parameter associated with the "
                "best tree is %f\n\n",
                Kb - 1);
        fprintf(f,
                " The estimate of the transition/transversion ratio associated with the best "
                "trees is %f\n\n",
                ratio_of_kprime(Kb));
        fprintf(f, " The final estimate of the transition/transversion parameter is %f\n\n",
                mp.Kprime - 1);
        fprintf(f, " The corresponding estimate of the transition/transversion ratio is %f\n\n",
                ratio_of_kprime(mp.Kprime));
        fprintf(f,
                " The scaled estimate of mu depending on the transition/transversion ratio is "
                "%f\n\n",
                mu_from_ratio());
    }
    fprintf(f, " The maximum unconstrained likelihood is %f\n\n", max_unconstrained_lnl());
    fputs("================================================================\n\n", f);
    if (program.report_trailing_blank) fputs("\n\n", f);
}

void write_best_tree_listing() {
    FILE* bt = run_files.besttree;
    FILE* tf = run_files.treefile;
    const std::vector<const TreeRecord*> records = records_best_first();
    fprintf(bt, "The %d trees with the best likelihoods were:\n\n\n",
            static_cast<int>(records.size()));
    int i = 1;
    for (const TreeRecord* r : records) {
        fprintf(bt, "Tree Number %d\n\n", i++);
        fprintf(bt, "First hit:  %d\n", r->first_hit);
        fprintf(bt, program.listing_lnl_label, r->lnL);
        fprintf(bt, "Transition/transversion ratio:  %f\n", r->ratio);
        fprintf(bt, "Number of times hit:  %d\n", r->hits);
        fprintf(bt, "Hit in first annealing pass:  %d\n", r->first_pass);
        fprintf(tf, "[%f] ", r->ratio);
        write_newick_record(tf, r);
        fputs(";\n\n", tf);
        fputs("\n\n", bt);
    }
}

namespace {

// A ratio as PAUP reads it back: the shortest text that gives the same double, with a
// decimal point so that 2 reads as 2.0.
std::string ratio_text(double ratio) {
    char buf[40];
    for (int digits = 6; digits <= 17; ++digits) {
        snprintf(buf, sizeof buf, "%.*g", digits, ratio);
        if (strtod(buf, nullptr) == ratio) break;
    }
    std::string t = buf;
    if (t.find_first_of(".eEn") == std::string::npos) t += ".0";
    return t;
}

}  // namespace

// The lset line that makes PAUP re-score the trees under the model of the run: the
// ratio it estimated, or the one it held fixed.
// A named model in PAUP's words, with the values that go with the best tree: nst=1 (JC),
// nst=2 with its transition/transversion ratio (K2P, HKY, F84) or nst=6 with the exchange
// rates relative to G-T (TN93, GTR), the frequencies, Gamma rates and invariable sites.
static void write_named_lset(FILE* f) {
    const ModelEstimates final_values = current_estimates();
    restore_estimates(ann.best);
    const ModelParams::Named& m = mp.named;
    std::string line = "lset";
    switch (m.kind) {
        case ModelKind::kJC: line += " nst=1"; break;
        case ModelKind::kK2P: line += " nst=2 tratio=" + ratio_text(mp.ratio); break;
        case ModelKind::kHKY: line += " nst=2 tratio=" + ratio_text(mp.ratio) + " variant=hky"; break;
        case ModelKind::kF84: line += " nst=2 tratio=" + ratio_text(mp.ratio) + " variant=F84"; break;
        case ModelKind::kTN93:
        case ModelKind::kGTR:
            line += " nst=6 rmatrix=(";
            for (int k = 0; k < 5; ++k) {
                if (k > 0) line += ' ';
                line += ratio_text(m.exch[k] / m.exch[5]);
            }
            line += ")";
            break;
    }
    const ModelSpec::Freqs freqs = settings.model_spec.freqs;
    if (freqs == ModelSpec::Freqs::kEqual)
        line += " basefreq=equal";
    else if (freqs == ModelSpec::Freqs::kEmpirical)
        line += " basefreq=empirical";
    else
        line += " basefreq=(" + ratio_text(mp.piA) + " " + ratio_text(mp.piC) + " " + ratio_text(mp.piG) + ")";
    if (m.ncat > 1)
        line += " rates=gamma shape=" + ratio_text(m.alpha) + " ncat=" + std::to_string(m.ncat) + " reprate=mean";
    else
        line += " rates=equal";
    line += " pinvar=" + ratio_text(m.invariant ? m.pinv : 0.0);
    fprintf(f, "%s clock=%s;\n", line.c_str(), program.lset_clock);
    restore_estimates(final_values);
}

void write_lset_line(FILE* f) {
    if (mp.named.on) return write_named_lset(f);
    const char* c = program.lset_clock;
    const std::string tratio = kprime_estimated() ? "estimate" : ratio_text(mp.ratio);
    switch (settings.model) {
        case 1:
            fprintf(f, "lset nst=2 basefreq=empirical tratio=%s variant=hky clock=%s;\n",
                    tratio.c_str(), c);
            break;
        case 2:
            fprintf(f, "lset nst=2 basefreq=empirical tratio=%s variant=F84 clock=%s;\n",
                    tratio.c_str(), c);
            break;
        case 3:
            fprintf(f, "lset nst=1 basefreq=equal clock=%s;\n", c);
            break;
        case 4:
            fprintf(f, "lset nst=2 basefreq=equal tratio=%s clock=%s;\n", tratio.c_str(), c);
            break;
        default:
            break;
    }
}

void write_nexus_trees_and_paup() {
    FILE* f = run_files.paupfile;
    fputs("Begin trees;\n\n", f);
    for (const TreeRecord* r : records_best_first()) {
        fputs(program.nexus_tree_prefix, f);
        write_newick_record(f, r, true);
        fputs(";\n\n", f);
    }
    fputs("End;\n\n", f);

    fputs("Begin paup;\n", f);
    fputs("set criterion=likelihood;\n", f);
    write_lset_line(f);
    fputs("lscores;\n", f);
    if (settings.nreps > 0) {
        fprintf(f, "bootstrap nreps=%d search=heuristic treefile=temp grpfreq=no brlens=yes;\n",
                settings.nreps);
        fputs("gettrees file=temp;\n", f);
        fputs("lscores scorefile=lscores.boot;\n", f);
    }
    fputs("End;\n", f);
}
