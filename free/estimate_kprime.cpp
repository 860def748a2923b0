// freeml's re-estimation of Kprime; mu follows from the transition/transversion ratio.
#include "engine/estimate.hpp"
#include "free.hpp"
#include "engine/model.hpp"

// Returns 1 when the estimate was rejected and the entry Kprime restored (the caller may
// then try the quasi-Newton fallback). Either way mu is brought in line with the ratio.
int estimate_kprime() {
    const NewtonPlan plan = {DERIV_K1 | DERIV_K2, 1.0, 0.02};
    const int rejected = newton_estimate(plan);
    ratio_from_kprime();
    mp.mu = mu_from_ratio();
    return rejected;
}
