// clockml's re-estimation during a search and its quasi-Newton parameter vector (mu, Kprime).
#include <cmath>

#include "base/state.hpp"
#include "clock.hpp"
#include "engine/derivatives.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "search/minimise.hpp"
#include "search/model_estimation.hpp"
#include "search/search_seams.hpp"

// mu is re-estimated at every estimation point; Kprime with it only when the run estimates
// it (estimation on, and a model with a transition/transversion parameter).
static double estimate_model(double lnL_entry) {
    if (mp.named.on) return estimate_named_model(lnL_entry, true);
    if (!kprime_estimated()) {
        estimate_mu(lnL_entry);
        return -HUGE_VAL;
    }
    return estimate_mu_kprime(lnL_entry) == 1 ? qn_estimate() : -HUGE_VAL;
}

// With dated tips the root's age follows the model's parameters; it moves only from a model
// that did not lower the log-likelihood (one that did is undone by the caller).
void estimate_tip_scale_after(double lnL_entry) {
    if (!dated_run()) return;
    const double lnL = full_pass_log_likelihood();
    if (lnL >= lnL_entry) estimate_tip_scale(lnL);
}

double estimate_in_search(double lnL_entry) {
    const double capped = estimate_model(lnL_entry);
    estimate_tip_scale_after(lnL_entry);
    return capped;
}

void qn_load_params(double* p) {
    p[1] = mp.mu;
    p[2] = mp.Kprime;
}

void qn_store_params(const double* p) {
    mp.mu = p[1];
    mp.Kprime = p[2];
}

void qn_gradient(double* df) {
    const RootSums s = derivative_pass(DERIV_MU1 | DERIV_K1);
    df[1] = -s.S_mu;
    df[2] = -s.S_K;
}

// The minimiser knows no bounds: a rate scale that is not positive, or a Kprime below 1
// (a negative transition/transversion parameter), would stop the search from making sense.
bool qn_result_acceptable() {
    return std::isfinite(mp.mu) && std::isfinite(mp.Kprime) && mp.mu > 0.0 && mp.Kprime >= 1.0;
}
