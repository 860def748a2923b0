// The annealing driver: burn-in, first search, optimisation and second search.
#pragma once

#include "search/proposal.hpp"

// What the annealing reports in results: the log-likelihood after the burn-in, the
// iterations of the two searches and the processor time of the two phases.
struct AnnealSummary {
    double lnL_after_burnin = 0;
    int first_iterations = 0;
    bool second_ran = false;
    int second_iterations = 0;     // counted from 1, as the second search starts there
    double anneal_seconds = 0;     // from the start of the run to the end of the searches
    double optimisation_seconds = 0;  // from then to the end of the final optimisation
};

AnnealSummary anneal();
// One annealing iteration at the current temperature, applied to the search state: the
// current and best log-likelihoods (with the best tree and its parameters), the acceptance
// counters and the stop count.
ProposalResult take_step();
