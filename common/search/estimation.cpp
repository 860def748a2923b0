// Re-estimation of the model parameters on the current tree: the Newton-Raphson loop on the
// derivative pass's root sums, and the estimation point that keeps a result only when it
// does not lower the log-likelihood.
#include "search/estimation.hpp"

#include <cmath>

#include "base/state.hpp"
#include "engine/derivatives.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "search/search_seams.hpp"

namespace {

// Every Newton-Raphson estimation stops after this many iterations; a restart after an
// estimate out of range sets the step sizes to kNewtonRestartStep so that the loop goes on.
constexpr int kNewtonMaxIterations = 10;
constexpr double kNewtonRestartStep = 99.0;

bool mu_in_bounds(double mu, double mu0) {
    return std::isfinite(mu) && mu >= 0.0 && mu <= 10 * mu0;
}

bool kprime_in_bounds(double kprime, double kprime0) {
    return std::isfinite(kprime) && kprime >= 1.0 && kprime <= 100 * kprime0 && kprime <= 99.99;
}

}  // namespace

EstimationResult settle_estimation(double lnL_entry, Estimator estimate) {
    const ModelEstimates entry = current_estimates();
    EstimationResult r;
    r.capped_lnL = estimate(lnL_entry);
    r.lnL = full_pass_log_likelihood();
    // Not "lnL < lnL_entry": a likelihood that is not a number is undone too.
    if (!(r.lnL >= lnL_entry)) {
        restore_estimates(entry);
        r.lnL = full_pass_log_likelihood();
    }
    check_current_lnl(r.lnL, "estimation");
    return r;
}

EstimationResult estimation_point(double lnL_entry) { return settle_estimation(lnL_entry, estimate_in_search); }

int newton_estimate(const NewtonPlan& plan, double lnL_entry) {
    const bool moves_mu = (plan.which & DERIV_MU1) != 0;
    const bool moves_k = (plan.which & DERIV_K1) != 0;
    const double mu0 = mp.mu, kprime0 = mp.Kprime;
    double step_mu = moves_mu ? plan.first_step : 0.0;
    double step_k = moves_k ? plan.first_step : 0.0;
    double lnL_last = -HUGE_VAL;
    int count = 0;
    while ((step_mu > plan.min_step || step_k > plan.min_step) && count < kNewtonMaxIterations) {
        const RootSums s = derivative_pass(plan.which);
        const double mu_old = mp.mu, kprime_old = mp.Kprime;
        if (moves_mu && moves_k) {
            const double det = s.H_mumu * s.H_KK - s.H_muK * s.H_muK;
            mp.mu = mp.mu - (s.H_KK * s.S_mu - s.H_muK * s.S_K) / det;
            mp.Kprime = mp.Kprime - (s.H_mumu * s.S_K - s.H_muK * s.S_mu) / det;
        } else if (moves_mu) {
            mp.mu = mp.mu - s.S_mu / s.H_mumu;
        } else {
            mp.Kprime = mp.Kprime - s.S_K / s.H_KK;
        }
        if (moves_mu) step_mu = fabs(mu_old - mp.mu);
        if (moves_k) step_k = fabs(kprime_old - mp.Kprime);
        lnL_last = s.lnL;
        ++count;
        // An estimate out of range restarts from a value tied to the entry value, so
        // repeated failures cannot drift; the large step sizes keep the loop going. (The
        // next derivative pass recomputes every partial for the restarted values.)
        if (moves_mu && !mu_in_bounds(mp.mu, mu0)) {
            mp.mu = mu0 / 2;
            step_mu = kNewtonRestartStep;
            if (moves_k) step_k = kNewtonRestartStep;
        }
        if (moves_k && !kprime_in_bounds(mp.Kprime, kprime0)) {
            mp.Kprime = 1.05 * kprime0;
            step_k = kNewtonRestartStep;
            if (moves_mu) step_mu = kNewtonRestartStep;
        }
    }
    const bool in_range = (!moves_mu || mu_in_bounds(mp.mu, mu0)) &&
                          (!moves_k || kprime_in_bounds(mp.Kprime, kprime0));
    if (in_range && lnL_last >= lnL_entry) return 0;
    mp.mu = mu0;
    mp.Kprime = kprime0;
    return 1;
}
