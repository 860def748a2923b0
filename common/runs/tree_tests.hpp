// Tests of several trees of one alignment from their site log-likelihoods, by resampling
// the sites' log-likelihoods (RELL) instead of re-fitting every tree to every replicate:
// the bootstrap proportion, the Kishino-Hasegawa and Shimodaira-Hasegawa tests and the
// approximately unbiased test from a multiscale bootstrap.
#pragma once

#include <cstdint>
#include <vector>

struct TreeTestInput {
    // pattern_lnl[t][p]: the log-likelihood of one site of pattern p under tree t
    std::vector<std::vector<double>> pattern_lnl;
    std::vector<int> weights;  // sites of each pattern
    int replicates = 10000;
    uint64_t seed = 0;
};

struct TreeTestResult {
    double lnL = 0;      // the tree's log-likelihood (weighted sum in pattern order)
    double delta = 0;    // best lnL less this one
    double bp = 0;       // share of replicates in which the tree has the highest lnL
    double p_kh = 0;     // one-sided KH test against the best tree (the best: the second)
    double p_sh = 0;     // SH test against every tree of the set
    double p_au = 0;     // AU test
};

// The tests of every tree; with one tree only lnL is set (and the p-values are 1).
std::vector<TreeTestResult> run_tree_tests(const TreeTestInput& in);

// Support of one branch from the site log-likelihoods of the tree (l[0]) and of its two
// nearest-neighbour alternatives (l[1], l[2]), their log-likelihoods L[0..2]:
// SH-aLRT (Guindon et al. 2010): with delta = L0 - max(L1, L2), the share of `replicates`
// RELL resamplings (drawn from `stream`) in which delta exceeds by more than 0.05 the
// difference between the largest and the second largest of the centred values
// L_i^b - L_i; 0 when an alternative is better. aBayes (Anisimova et al. 2011):
// e^L0 / (e^L0 + e^L1 + e^L2).
double sh_alrt_support(const std::vector<double>* const l[3], const double L[3], const std::vector<int>& weights,
                       int replicates, uint64_t& stream);
double abayes_support(const double L[3]);

// The standard normal distribution function and its inverse (for 0 < p < 1).
double normal_cdf(double x);
double normal_quantile(double p);
