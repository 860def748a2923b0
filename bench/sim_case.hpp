// Simulated cases for the benchmark and the libpll agreement test: a random clock tree
// and sequences evolved along it, with fixed seeds.
#pragma once

#include <cstdint>

// Fills settings, alignment (npat patterns of weight 1..3, each its own pattern), the model
// `model` (1 HKY, 2 F84, 3 JC, 4 K2P) and a random clock tree with its times in `tree`.
// A share `ambiguous` of the characters is replaced by a gap or an ambiguity code. Sizes
// the likelihood tables and fills the leaf rows.
// With `named` the model is that model string's instead (its frequencies, starting values and
// rate categories).
void make_sim_case(int n, int npat, int model, double ambiguous, uint32_t seed,
                   const char* named = nullptr);
