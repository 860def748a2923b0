// Substitution models JC, K2P, F84 and HKY: parameters, base frequencies, P(t).
#pragma once

#include "base/state.hpp"

// Fixes the model from settings.model (with the empirical base frequencies of HKY and F84);
// stops on a bad model code.
void setup_model();
// Fills the derived constants of mp from the base frequencies.
void derive_model_constants();
void empirical_base_freqs();
// The base frequencies A, G, C, T into mp, with the purine and pyrimidine sums.
void set_base_frequencies(const double* f);
// P[4*i + j]: probability of state j at the end of a branch of length t given state i.
void transition_matrix(double t, double* P);
int transition_ind(int i, int j);
int same_state(int i, int j);
double state_prob(int j);
double group_prob(int j);
void ratio_from_kprime();
double mu_from_ratio();
// Expected changes per site per unit of branch value (mu = 1 in the design's models is not one).
double substitutions_per_unit();

// Whether the run estimates the transition/transversion parameter: estimation is on and
// the model has one to estimate (JC has none; under HKY estimation is switched off).
bool kprime_estimated();
ModelEstimates current_estimates();
void restore_estimates(const ModelEstimates& e);
// Exponent factor A_j of state j: Kprime, or aR / aY under HKY.
double exponent_factor(int j);
