// clockml's re-estimation of the rate scale mu, alone or jointly with Kprime.
#include "clock.hpp"
#include "engine/model.hpp"
#include "search/estimation.hpp"

// mu alone, Kprime fixed (parameter estimation switched off, or HKY). A rejected estimate
// leaves mu at its entry value.
void estimate_mu(double lnL_entry) {
    const NewtonPlan plan = {DERIV_MU1 | DERIV_MU2, 99.9, 0.0001};
    newton_estimate(plan, lnL_entry);
}

// mu and Kprime by two-dimensional Newton steps. Returns 1 when the estimate was rejected
// and the entry values restored (the caller may then try the quasi-Newton fallback).
int estimate_mu_kprime(double lnL_entry) {
    const NewtonPlan plan = {DERIV_MU1 | DERIV_MU2 | DERIV_K1 | DERIV_K2 | DERIV_MUK, 1.0, 0.02};
    const int rejected = newton_estimate(plan, lnL_entry);
    ratio_from_kprime();
    return rejected;
}
