// freeml's re-estimation of Kprime; mu follows from the transition/transversion ratio.
#include "engine/model.hpp"
#include "free.hpp"
#include "search/estimation.hpp"

// Returns 1 when the estimate was rejected and the entry Kprime restored (the caller may
// then try the quasi-Newton fallback). Either way mu is brought in line with the ratio.
int estimate_kprime(double lnL_entry) {
    const NewtonPlan plan = {DERIV_K1 | DERIV_K2, 1.0, 0.02};
    const int rejected = newton_estimate(plan, lnL_entry);
    ratio_from_kprime();
    mp.mu = mu_from_ratio();
    return rejected;
}
