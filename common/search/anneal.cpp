// The annealing driver: a burn-in that measures how far single proposals move the
// log-likelihood, a first search cooling from that scale, then (when the program asks
// for it) the optimisation of the archived trees and a second search. It alone moves the
// search's current and best log-likelihoods and its stop count; the steps it calls return
// what they found.
#include "search/anneal.hpp"

#include <cmath>
#include <cstdio>

#include "base/interrupt.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "base/timer.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/settings.hpp"
#include "search/archive.hpp"
#include "search/checkpoint.hpp"
#include "search/estimation.hpp"
#include "search/model_estimation.hpp"
#include "search/search_seams.hpp"
#include "search/optimise.hpp"
#include "search/progress.hpp"
#include "search/tree.hpp"

namespace {

// Temperature after anneal_iter proposals of the current phase.
void cool() { ann.ci = ann.co / (ann.anneal_iter * ann.beta + 1); }

// An estimation point: the parameters move on the current tree, which keeps the
// log-likelihood they give, and a quasi-Newton fallback that ran out of iterations may
// raise the best value seen.
void estimate_here() {
    const EstimationResult r = estimation_point(ann.lnL_cur);
    ann.lnL_cur = r.lnL;
    if (r.capped_lnL > ann.lnL_best) ann.lnL_best = r.capped_lnL;
}

// The optimisation of the archived trees, and what it leaves current and best. A model by
// name keeps the parameters of the search meanwhile (they are shared by all the trees, and
// the best tree is finished with its own at the end), so the sweeps move node values only.
void optimise_archive() {
    if (mp.named.on) set_estimation_rounds(0);
    const ArchiveOptimisation r = optimise_archived_trees(ann.lnL_cur);
    set_estimation_rounds(1);
    ann.lnL_cur = r.lnL;
    if (!r.best_made_current) return;
    ann.lnL_best = r.lnL_best;
    ann.best = current_estimates();
}

// stop_flat: a rise of the best log-likelihood by more than flat_lnl starts the count of
// moves again; a search with the line ends when the count reaches flat_moves.
void start_flat_count() {
    ann.flat_ref = ann.lnL_best;
    ann.flat_since = 0;
}

void count_flat_move() {
    if (settings.flat_moves <= 0) return;
    if (ann.lnL_best > ann.flat_ref + settings.flat_lnl)
        start_flat_count();
    else
        ann.flat_since += 1;
}

bool flat_for_long() { return settings.flat_moves > 0 && ann.flat_since >= settings.flat_moves; }

// One search: proposals until no new tree has turned up for stop_count steps or the
// iteration cap is reached (or, with stop_flat, the best log-likelihood has stayed flat),
// re-estimating the parameters whenever the log-likelihood has risen by the fraction
// improve_tol of its magnitude at the last estimation. An interrupt ends it after the
// proposal in hand.
void search() {
    while (ann.since_unique < settings.stop_count && ann.anneal_iter < settings.max_iter &&
           !flat_for_long() && !search_interrupted()) {
        take_step();
        ann.anneal_iter += 1;
        cool();
        progress_tick();
        if (ann.lnL_cur - ann.lnL_ref > -ann.lnL_ref * settings.improve_tol) {
            estimate_here();
            ann.lnL_ref = ann.lnL_cur;
        }
        count_flat_move();
        checkpoint_if_due();
    }
    if (flat_for_long()) {
        ann.flat_ended |= ann.phase == kAnnealFirstSearch ? 1 : 2;
        printf("  The best log-likelihood has not risen by more than %g in %d moves: the search "
               "has converged\n", settings.flat_lnl, settings.flat_moves);
    }
}

// A named model's parameters move with the branch lengths or node times along ridges that
// one step per sweep climbs slowly: the best tree is optimised once more with estimations
// that go on until they gain little, and what it gains becomes the best.
constexpr int kFinishingRounds = 6;

void finish_best_tree() {
    copy_tree_best_to_current();
    restore_estimates(ann.best);
    full_pass();
    set_estimation_rounds(kFinishingRounds);
    const double lnL = optimise_tree_values(log_likelihood());
    set_estimation_rounds(1);
    ann.lnL_cur = lnL;
    if (lnL > ann.lnL_best) {
        ann.lnL_best = lnL;
        ann.best = current_estimates();
        copy_tree_current_to_best();
        // The archive lists the best tree with what it holds now.
        refresh_record_of_current_tree(lnL);
    }
}

}  // namespace

ProposalResult take_step() {
    const ProposalResult r = propose_tree(ann.lnL_cur, ann.ci);
    if (r.accepted) {
        // A proposal that rose above the best log-likelihood becomes the best tree, with the
        // parameters in force.
        if (r.uphill && r.lnL > ann.lnL_best) {
            ann.lnL_best = r.lnL;
            ann.best = current_estimates();
            copy_tree_temp_to_best();
        }
        ann.lnL_cur = r.lnL;
        ann.n_accepted += 1;
        if (r.topology_changed) ann.n_changes += 1;
    }
    if (r.stop == StopCount::kStep) ann.since_unique += 1;
    if (r.stop == StopCount::kReset) ann.since_unique = 1;
    return r;
}

AnnealSummary anneal() {
    AnnealSummary summary;
    // A run resumed from a checkpoint takes the annealing up in the phase it was in.
    progress_start();
    if (ann.phase == kAnnealStart) {
        ann.co = -0.25 * ann.lnL_cur;
        ann.anneal_iter = 0;
        ann.beta = 0.001f;
        cool();
        if (settings.estimate == 1 && settings.model == 1 && !settings.model_spec.given) {
            printf("Cannot estimate parameters in HKY model\n\n");
            printf("Program will proceed with no parameter estimation\n\n");
            ann.estimation_dropped = true;
        }
        ann.phase = kAnnealBurnIn;
    }

    if (ann.phase == kAnnealBurnIn) {
        // Burn-in: the largest single change of the log-likelihood sets the temperature scale.
        while (ann.anneal_iter < settings.burnin_iter && !search_interrupted()) {
            const ProposalResult r = take_step();
            ann.anneal_iter += 1;
            cool();
            progress_tick();
            if (r.change > ann.dlnL_max) ann.dlnL_max = r.change;
            checkpoint_if_due();
        }
        ann.lnL_after_burnin = ann.lnL_cur;
        ann.co = ann.dlnL_max;

        estimate_here();
        ann.lnL_ref = ann.lnL_cur;

        ann.beta = cooling_constant();
        ann.search_on = 1;
        ann.since_unique = 0;
        start_flat_count();
        ann.phase = kAnnealFirstSearch;
        printf("  Beginning tree search ....\n");
    }
    summary.lnL_after_burnin = ann.lnL_after_burnin;

    if (ann.phase == kAnnealFirstSearch) {
        progress_phase(kPhaseFirstSearch);
        search();
        ann.first_iterations = ann.anneal_iter;
        fflush(nullptr);
        // An interrupted search skips the phases still to come.
        const bool second = (estimation_on() || program.second_anneal_always) && !search_interrupted();
        ann.phase = second ? kAnnealFirstOptimisation : kAnnealSearchesOver;
        if (second) printf("  Beginning tree optimization .... \n");
    }
    summary.first_iterations = ann.first_iterations;
    if (ann.phase == kAnnealFirstOptimisation) {
        progress_phase(kPhaseOptimisation);
        progress_show();
        optimise_archive();
        // Interrupted in the optimisation: the reports come from what is optimised so far.
        if (search_interrupted()) {
            ann.phase = kAnnealSearchesOver;
        } else {
            // The temperature at which a fall of delta_lnl2 is accepted with probability
            // accept_prob2 at the first iteration of the second search.
            ann.co = second_search_temperature(ann.beta);
            ann.anneal_iter = 1;
            if (estimation_on()) archive.n_keep = 2 * archive.n_keep;
            archive.archive_full = 0;
            ann.since_unique = 0;
            start_flat_count();
            ann.first_pass = 0;
            ann.second_ran = true;
            ann.phase = kAnnealSecondSearch;
            printf("  Beginning second tree search .... \n");
        }
    }
    if (ann.phase == kAnnealSecondSearch) {
        progress_phase(kPhaseSecondSearch);
        search();
        ann.phase = kAnnealSearchesOver;
    }
    summary.second_ran = ann.second_ran;

    if (ann.phase == kAnnealSearchesOver) {
        if (!ann.second_ran) {
            ann.anneal_iter = ann.first_iterations;
        } else {
            ann.second_iterations = ann.anneal_iter;
            ann.anneal_iter = ann.anneal_iter + ann.first_iterations;
        }
        ann.anneal_seconds = elapsed_seconds();
        if (program.timing_lines) start_timer();
        ann.phase = kAnnealFinalOptimisation;
    }
    summary.second_iterations = ann.second_iterations;
    summary.anneal_seconds = ann.anneal_seconds;

    if ((estimation_on() && archive.second_pass_count > 0) || !estimation_on()) {
        if (settings.final_opt == 1 && !search_interrupted()) {
            progress_phase(kPhaseOptimisation);
            if (!ann.opt.on) printf("  Beginning tree optimization .... \n");
            progress_show();
            optimise_archive();
        }
        ann.lnL_cur = log_likelihood();
    }
    if (mp.named.on && !search_interrupted()) finish_best_tree();
    progress_finish();
    summary.optimisation_seconds = elapsed_seconds();
    return summary;
}
