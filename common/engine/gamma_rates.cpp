// Discrete Gamma rates: the slice boundaries are the quantiles of Gamma(alpha, alpha) at
// 1/k, 2/k, ...; the mean rate of slice i is k [P(alpha + 1, alpha b_i) - P(alpha + 1,
// alpha b_(i-1))]. The quantiles are found by bisection on P, which needs only the
// incomplete gamma function and gives the same numbers on every machine.
#include "engine/gamma_rates.hpp"

#include <cmath>

namespace {

// P(a, x) by its series, for x < a + 1.
double lower_series(double a, double x) {
    double term = 1.0 / a, sum = term;
    for (int n = 1; n < 10000; ++n) {
        term *= x / (a + n);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * 1e-17) break;
    }
    return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Q(a, x) = 1 - P(a, x) by its continued fraction (modified Lentz), for x >= a + 1.
double upper_fraction(double a, double x) {
    const double tiny = 1e-300;
    double b = x + 1.0 - a, c = 1.0 / tiny, d = 1.0 / b, h = d;
    for (int i = 1; i < 10000; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < tiny) d = tiny;
        c = b + an / c;
        if (std::fabs(c) < tiny) c = tiny;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < 1e-17) break;
    }
    return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

// The quantile q of Gamma(alpha, rate alpha): the x with P(alpha, alpha x) = q.
double gamma_quantile(double alpha, double q) {
    double lo = 0.0, hi = 1.0;
    while (incomplete_gamma(alpha, alpha * hi) < q && hi < 1e300) hi *= 2.0;
    for (int i = 0; i < 2000; ++i) {
        const double mid = 0.5 * (lo + hi);
        if (!(mid > lo && mid < hi)) break;  // the interval cannot shrink further
        if (incomplete_gamma(alpha, alpha * mid) < q)
            lo = mid;
        else
            hi = mid;
    }
    return 0.5 * (lo + hi);
}

}  // namespace

double incomplete_gamma(double a, double x) {
    if (!(x > 0.0)) return 0.0;
    if (x < a + 1.0) return lower_series(a, x);
    return 1.0 - upper_fraction(a, x);
}

double upper_incomplete_gamma(double a, double x) {
    if (!(x > 0.0)) return 1.0;
    if (x < a + 1.0) return 1.0 - lower_series(a, x);
    return upper_fraction(a, x);
}

void gamma_category_rates(double alpha, int k, double* rates) {
    double below = 0.0;  // P(alpha + 1, alpha b) at the slice's lower bound
    double sum = 0.0;
    for (int i = 0; i < k; ++i) {
        const double upper = i + 1 < k
                                 ? incomplete_gamma(alpha + 1.0, alpha * gamma_quantile(alpha, (i + 1.0) / k))
                                 : 1.0;
        rates[i] = k * (upper - below);
        sum += rates[i];
        below = upper;
    }
    for (int i = 0; i < k; ++i) rates[i] *= k / sum;
}
