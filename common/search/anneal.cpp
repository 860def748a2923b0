// The annealing driver: a burn-in that measures how far single proposals move the
// log-likelihood, a first search cooling from that scale, then (when the program asks
// for it) the optimisation of the archived trees and a second search.
#include "search/anneal.hpp"

#include <cmath>
#include <cstdio>

#include "engine/estimate.hpp"
#include "base/interrupt.hpp"
#include "engine/likelihood.hpp"
#include "search/optimise.hpp"
#include "base/program.hpp"
#include "search/progress.hpp"
#include "search/proposal.hpp"
#include "input/settings.hpp"

namespace {

// Temperature after anneal_iter proposals of the current phase.
void cool() { ann.ci = ann.co / (ann.anneal_iter * ann.beta + 1); }

// One search: proposals until no new tree has turned up for stop_count steps or the
// iteration cap is reached, re-estimating the parameters whenever the log-likelihood
// has risen by the fraction improve_tol of its magnitude at the last estimation. An
// interrupt ends it after the proposal in hand.
void search() {
    while (ann.since_unique < settings.stop_count && ann.anneal_iter < settings.max_iter &&
           !search_interrupted()) {
        propose_tree();
        ann.anneal_iter += 1;
        cool();
        progress_tick();
        if (ann.lnL_cur - ann.lnL_ref > -ann.lnL_ref * settings.improve_tol) {
            estimation_point();
            ann.lnL_ref = ann.lnL_cur;
        }
    }
}

}  // namespace

void anneal() {
    ann.co = -0.25 * ann.lnL_cur;
    ann.anneal_iter = 0;
    ann.beta = 0.001f;
    cool();
    progress_start();

    if (settings.estimate == 1 && settings.model == 1) {
        printf("Cannot estimate parameters in HKY model\n\n");
        printf("Program will proceed with no parameter estimation\n\n");
        ann.estimation_dropped = true;
    }

    // Burn-in: the largest single change of the log-likelihood sets the temperature scale.
    while (ann.anneal_iter < settings.burnin_iter && !search_interrupted()) {
        propose_tree();
        ann.anneal_iter += 1;
        cool();
        progress_tick();
        if (ann.dlnL_abs > ann.dlnL_max) ann.dlnL_max = ann.dlnL_abs;
    }
    fprintf(run_files.results, " The likelihood at end of burnin is %f\n\n", ann.lnL_cur);
    ann.co = ann.dlnL_max;

    estimation_point();
    ann.lnL_ref = ann.lnL_cur;

    ann.beta = cooling_constant();
    ann.search_on = 1;
    ann.since_unique = 0;
    progress_phase(kPhaseFirstSearch);
    printf("  Beginning tree search ....\n");
    search();
    const int first = ann.anneal_iter;
    fflush(nullptr);

    // An interrupted search skips the phases still to come.
    bool second =
        (estimation_on() || program.second_anneal_always) && !search_interrupted();
    if (second) {
        progress_phase(kPhaseOptimisation);
        printf("  Beginning tree optimization .... \n");
        progress_show();
        optimise_archived_trees();
        // Interrupted in the optimisation: the reports come from what is optimised so far.
        second = !search_interrupted();
    }
    if (second) {
        // The temperature at which a fall of delta_lnl2 is accepted with probability
        // accept_prob2 at the first iteration of the second search.
        ann.co = second_search_temperature(ann.beta);
        ann.anneal_iter = 1;
        if (estimation_on()) archive.n_keep = 2 * archive.n_keep;
        archive.archive_full = 0;
        ann.since_unique = 0;
        ann.first_pass = 0;
        progress_phase(kPhaseSecondSearch);
        printf("  Beginning second tree search .... \n");
        search();
    }

    if (!second) {
        ann.anneal_iter = first;
        fprintf(run_files.results, " The total number of iterations is %d\n\n", ann.anneal_iter);
    } else {
        fprintf(run_files.results,
                " Total iterations in first anneal is %d, total iterations in second anneal is "
                "%d\n\n",
                first, ann.anneal_iter);
        ann.anneal_iter = ann.anneal_iter + first;
    }

    if (program.timing_lines) {
        fprintf(run_files.results, " Time to perform annealing is %f\n\n", elapsed_seconds());
        start_timer();
    }

    if ((estimation_on() && archive.second_pass_count > 0) || !estimation_on()) {
        if (settings.final_opt == 1 && !search_interrupted()) {
            progress_phase(kPhaseOptimisation);
            printf("  Beginning tree optimization .... \n");
            progress_show();
            optimise_archived_trees();
        }
        ann.lnL_cur = log_likelihood();
    }
    progress_finish();

    if (program.timing_lines)
        fprintf(run_files.results, " Time to perform tree optimization is %f\n\n",
                elapsed_seconds());
}
