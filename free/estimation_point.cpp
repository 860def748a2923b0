// freeml's re-estimation during a search and its quasi-Newton parameter vector (Kprime).
#include "engine/estimate.hpp"
#include "free.hpp"
#include "engine/likelihood.hpp"
#include "search/minimise.hpp"
#include "engine/model.hpp"
#include "base/program.hpp"

void reestimate_kprime() {
    if (!kprime_estimated()) return;
    if (estimate_kprime() == 1) {
        qn_estimate();
        // The minimiser moves Kprime alone; mu follows the ratio, as after a Newton step.
        mp.mu = mu_from_ratio();
    }
}

// Only Kprime is estimated, and only when the run estimates it.
void estimate_in_search() { reestimate_kprime(); }

void qn_load_params(double* p) { p[1] = mp.Kprime; }

void qn_store_params(const double* p) { mp.Kprime = p[1]; }

void qn_gradient(double* df) { df[1] = -derivative_pass(DERIV_K1).S_K; }

// The transition/transversion parameter K = Kprime - 1 must lie within [0, 150].
bool qn_result_acceptable() { return mp.K >= 0.0 && mp.K <= 150.0; }
