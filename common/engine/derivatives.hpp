// Derivatives of the log-likelihood by mu and Kprime, carried up the tree with the partials,
// and their sums at the root.
#pragma once

#include "engine/likelihood_constants.hpp"

struct RootSums {
    double lnL = 0, S_mu = 0, S_K = 0, H_mumu = 0, H_KK = 0, H_muK = 0;
};

// One post-order pass over the current tree at the current parameters: recomputes pppLik
// and the derivative tables named in `which`, and returns the weighted root sums. A second
// derivative needs its first derivatives, so those tables are filled as well.
RootSums derivative_pass(int which);
