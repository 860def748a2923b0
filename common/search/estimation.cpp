// Re-estimation of the model parameters on the current tree: the Newton-Raphson loop on the
// derivative pass's root sums, and the estimation point that keeps a result only when it
// does not lower the log-likelihood.
#include "search/estimation.hpp"

#include <algorithm>
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

namespace {

// The guarded iterations stop after this many derivative passes at most.
constexpr int kGuardedMaxPasses = 20;
constexpr double kLeastCurvature = 1e-200;

// Scales the step (d_mu, d_k) from (mu, kprime) so that neither value more than halves or
// doubles (Kprime - 1 for the ratio, so that it stays at 1 or more) or leaves the range of
// the entry values (mu0, kprime0); the direction is kept.
void limit_step(double mu, double kprime, double mu0, double kprime0, double& d_mu, double& d_k) {
    double t = 1.0;
    const auto fit = [&t](double d, double lo_room, double hi_room) {
        lo_room = std::max(lo_room, 0.0);
        hi_room = std::max(hi_room, 0.0);
        if (d > hi_room) t = std::min(t, hi_room / d);
        if (d < -lo_room) t = std::min(t, lo_room / -d);
    };
    if (d_mu != 0.0) fit(d_mu, mu / 2, std::min(2 * mu, 10 * mu0) - mu);
    if (d_k != 0.0) {
        const double k = kprime - 1.0;
        fit(d_k, k / 2, std::min({kprime + std::max(k, 0.5), 100 * kprime0, 99.99}) - kprime);
    }
    d_mu *= t;
    d_k *= t;
}

// A step towards higher likelihood from the root sums: Newton's where the log-likelihood
// is concave there; elsewhere (where Newton's step would go downhill) each value moves along
// its own first derivative by the first derivative over the size of its second.
void uphill_step(const RootSums& s, bool moves_mu, bool moves_k, double& d_mu, double& d_k) {
    // A second derivative of 0 gives a step as long as the limits allow (a finite one, so
    // that scaling it down to them gives a number).
    const auto along = [](double S, double H) {
        if (H < 0.0) return -S / H;
        return S / std::max(std::fabs(H), kLeastCurvature);
    };
    d_mu = d_k = 0.0;
    if (moves_mu && moves_k) {
        const double det = s.H_mumu * s.H_KK - s.H_muK * s.H_muK;
        if (s.H_mumu < 0.0 && det > 0.0) {
            d_mu = -(s.H_KK * s.S_mu - s.H_muK * s.S_K) / det;
            d_k = -(s.H_mumu * s.S_K - s.H_muK * s.S_mu) / det;
            return;
        }
    }
    if (moves_mu) d_mu = along(s.S_mu, s.H_mumu);
    if (moves_k) d_k = along(s.S_K, s.H_KK);
}

// Newton-Raphson steps that keep the best point seen: where the log-likelihood is not
// concave a value moves uphill along its first derivative instead of Newton's way, each step
// at most halves or doubles a value (Kprime - 1 for the ratio) within the plain loop's
// range, and a step after which the likelihood is lower is halved from the best point until
// it is no larger than min_step. Ends at a step no larger than min_step (taken), or after 20
// derivative passes at the best point. Never rejects (returns 0): the estimation point still
// undoes a result below its entry likelihood, and no quasi-Newton fallback is needed.
int guarded_newton_estimate(const NewtonPlan& plan) {
    const bool moves_mu = (plan.which & DERIV_MU1) != 0;
    const bool moves_k = (plan.which & DERIV_K1) != 0;
    const double mu0 = mp.mu, kprime0 = mp.Kprime;
    double best_mu = mu0, best_k = kprime0, best_lnL = -HUGE_VAL;
    double d_mu = 0.0, d_k = 0.0;  // the step last taken from the best point
    for (int pass = 0; pass < kGuardedMaxPasses; ++pass) {
        const RootSums s = derivative_pass(plan.which);
        if (!(s.lnL > best_lnL)) {
            // The step overshot the maximum (or left the likelihood not a number): half of it.
            d_mu /= 2;
            d_k /= 2;
            if (std::fabs(d_mu) <= plan.min_step && std::fabs(d_k) <= plan.min_step) break;
            mp.mu = best_mu + d_mu;
            mp.Kprime = best_k + d_k;
            continue;
        }
        best_mu = mp.mu;
        best_k = mp.Kprime;
        best_lnL = s.lnL;
        uphill_step(s, moves_mu, moves_k, d_mu, d_k);
        limit_step(best_mu, best_k, mu0, kprime0, d_mu, d_k);
        if (!std::isfinite(d_mu) || !std::isfinite(d_k)) break;
        mp.mu = best_mu + d_mu;
        mp.Kprime = best_k + d_k;
        // A step this small is taken without a pass of its own, as the plain loop's last one.
        if (std::fabs(d_mu) <= plan.min_step && std::fabs(d_k) <= plan.min_step) return 0;
    }
    mp.mu = best_mu;
    mp.Kprime = best_k;
    return 0;
}

}  // namespace

int newton_estimate(const NewtonPlan& plan, double lnL_entry) {
    if (settings.newton_guard == 1) return guarded_newton_estimate(plan);
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
