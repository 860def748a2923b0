// The models chosen by name (a model string): the TN93 family (JC, K2P, F84, HKY, TN93) in
// closed form and GTR through the eigenvectors of its rate matrix, with Gamma rate
// categories and invariable sites. Rates are scaled so that a branch length is the expected
// number of changes per site, averaged over all sites.
#pragma once

#include "base/model_spec.hpp"

// Fixes the model of `chosen`: frequencies (equal, empirical from the patterns, or given),
// the starting or fixed values of its parameters, and everything derived from them.
void setup_named_model(const ModelSpec& chosen);
// Derives the rate matrix (its TN93 rates or its eigenvectors), the category rates and
// weights, and the transition/transversion ratio from mp.named's parameters; called after
// any of them changes.
void update_named_model();
// P[4 * i + j]: probability of state j after a branch of t expected changes (already
// multiplied by the rate scale mu and the category's rate), states A, G, C, T.
void named_transition_matrix(double t, double* P);
// The expected ratio of transitions to transversions of the model, from its rates and
// frequencies.
double named_ts_tv_ratio();
