// The discrete Gamma model of rate variation across sites (Yang 1994): k categories of equal
// probability, each taking the mean rate of its slice of a Gamma distribution of mean 1.
#pragma once

// The regularised lower incomplete gamma function P(a, x), a > 0, x >= 0.
double incomplete_gamma(double a, double x);
// Q(a, x) = 1 - P(a, x), computed directly where it is small (the tail of a chi-square).
double upper_incomplete_gamma(double a, double x);
// The k category rates of shape alpha (each the mean of its slice), scaled so that their
// mean is exactly 1.
void gamma_category_rates(double alpha, int k, double* rates);
