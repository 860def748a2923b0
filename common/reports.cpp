// The run report at the end of results, the best-tree listing (besttree and treefile)
// and the trees and PAUP blocks of paupfile.nex.
#include "reports.hpp"

#include <cstdio>

#include "likelihood.hpp"
#include "model.hpp"
#include "newick.hpp"
#include "program.hpp"

namespace {

// Transition/transversion ratio that goes with a value of Kprime.
double ratio_of_kprime(double kprime) {
    const double AG = mp.piA * mp.piG;
    const double CT = mp.piC * mp.piT;
    return ((kprime - 1) * mp.kDenom + AG + CT) / (mp.pi_r * mp.pi_y);
}

}  // namespace

void write_run_report() {
    FILE* f = run_files.results;
    fprintf(f, " The number of iterations during the burnin period is %d\n\n", settings.burnin_len);
    fprintf(f, " The number of iterations after last unique tree proposed is at least %d\n\n",
            settings.stop_count);
    fprintf(f, " The number of trials within each tree must be at least %d\n\n",
            settings.min_trials);
    fprintf(f, " The value of beta is %f\n\n", ann.beta);
    fprintf(f, " The estimated value of co is %f\n\n", ann.co);
    fprintf(f, " The number of iterations was %d\n\n", ann.anneal_iter);
    fprintf(f, " The final value of ci was %f\n\n", ann.ci);
    fprintf(f, " The overall number of topology changes was %d\n\n", ann.n_changes);
    fprintf(f, " The total number of trees accepted was %d\n\n", ann.n_accepted);
    fprintf(f, " The final estimate of mu is %f\n\n", mp.mu);
    fprintf(f, " The estimate of mu associated with the best tree is %f\n\n", ann.best_mu);
    if (settings.estimate == 1) {
        const double Kb = ann.best_Kprime;
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
    fprintf(bt, "The %d trees with the best likelihoods were:\n\n\n", archive.n_keep);
    int i = 1;
    for (const TreeRecord* r = archive.head; r != nullptr; r = r->next, ++i) {
        fprintf(bt, "Tree Number %d\n\n", i);
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

// The lset line that matches the model of the run; HKY (and an `estimate` other than
// 0 or 1 under F84 and K2P) has none.
void write_lset_line(FILE* f) {
    const int est = settings.estimate;
    const char* c = program.lset_clock;
    switch (settings.model) {
        case 2:
            if (est == 1)
                fprintf(f, "lset nst=2 basefreq=empirical tratio=estimate variant=F84 clock=%s;\n", c);
            else if (est == 0)
                fprintf(f, "lset nst=2 basefreq=empirical tratio=2.0 variant=F84 clock=%s;\n", c);
            break;
        case 3:
            fprintf(f, "lset nst=1 basefreq=equal clock=%s;\n", c);
            break;
        case 4:
            if (est == 1)
                fprintf(f, "lset nst=2 basefreq=equal tratio=estimate clock=%s;\n", c);
            else if (est == 0)
                fprintf(f, "lset nst=2 basefreq=equal clock=%s;\n", c);
            break;
        default:
            break;
    }
}

}  // namespace

void write_nexus_trees_and_paup() {
    FILE* f = run_files.paupfile;
    fputs("Begin trees;\n\n", f);
    for (const TreeRecord* r = archive.head; r != nullptr; r = r->next) {
        fputs(program.nexus_tree_prefix, f);
        write_newick_record(f, r);
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
