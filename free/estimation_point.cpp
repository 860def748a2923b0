// freeml's re-estimation during a search and its quasi-Newton parameter vector (Kprime).
#include <cmath>

#include "base/state.hpp"
#include "engine/derivatives.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "free.hpp"
#include "search/minimise.hpp"
#include "search/model_estimation.hpp"
#include "search/search_seams.hpp"

double reestimate_kprime(double lnL_entry) {
    if (mp.named.on) return estimate_named_model(lnL_entry, false);
    if (!kprime_estimated() || estimate_kprime(lnL_entry) == 0) return -HUGE_VAL;
    const double capped_lnL = qn_estimate();
    // The minimiser moves Kprime alone; mu follows the ratio, as after a Newton step.
    mp.mu = mu_from_ratio();
    return capped_lnL;
}

// Only Kprime is estimated, and only when the run estimates it.
double estimate_in_search(double lnL_entry) { return reestimate_kprime(lnL_entry); }

void qn_load_params(double* p) { p[1] = mp.Kprime; }

void qn_store_params(const double* p) { mp.Kprime = p[1]; }

void qn_gradient(double* df) { df[1] = -derivative_pass(DERIV_K1).S_K; }

// The transition/transversion parameter K = Kprime - 1 must lie within [0, 150].
bool qn_result_acceptable() { return mp.K >= 0.0 && mp.K <= 150.0; }
