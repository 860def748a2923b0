// The numerical routines of the quasi-Newton fallback on functions with known minima.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "search/minimise.hpp"
#include "support.hpp"

namespace {

std::vector<std::vector<double>> evaluated;  // every point an objective was asked for

void remember(const double* p, int n) { evaluated.emplace_back(p + 1, p + 1 + n); }

double quadratic(const double* p) {
    return (p[1] - 3) * (p[1] - 3) + 10 * (p[2] + 1) * (p[2] + 1);
}
void quadratic_grad(const double* p, double* df) {
    df[1] = 2 * (p[1] - 3);
    df[2] = 20 * (p[2] + 1);
}

double rosenbrock(const double* p) {
    const double a = 1 - p[1], b = p[2] - p[1] * p[1];
    return a * a + 100 * b * b;
}
void rosenbrock_grad(const double* p, double* df) {
    df[1] = -2 * (1 - p[1]) - 400 * p[1] * (p[2] - p[1] * p[1]);
    df[2] = 200 * (p[2] - p[1] * p[1]);
}

double square(const double* p) {
    remember(p, 1);
    return p[1] * p[1];
}

// Unbounded below, in the first coordinate: every line search takes its full step.
double slope(const double* p) {
    remember(p, 1);
    return -1000 * p[1];
}
void slope_grad(const double*, double* df) {
    df[1] = -1000;
    df[2] = 0;
}
void slope_grad1(const double*, double* df) { df[1] = -1000; }

// Falls for ever, with a gradient that stops being a number past -1, as the derivatives of
// the log-likelihood do for a rate scale that turns negative.
double cliff(const double* p) {
    remember(p, 1);
    return p[1] * p[1] * p[1];
}
void cliff_grad(const double* p, double* df) { df[1] = p[1] < -1 ? NAN : 3 * p[1] * p[1]; }

}  // namespace

TEST(Minimiser, LineSearch) {
    // f = x^2 from 1 along -4: the full step lands on 9, the quadratic backtrack on 0.
    const double x0[2] = {0, 1.0}, g[2] = {0, 2.0};
    double d[2] = {0, -4.0}, x[2], f;
    evaluated.clear();
    line_search(1, x0, 1.0, g, d, x, &f, 100.0, square);
    EXPECT_EQ(x[1], 0.0);
    EXPECT_EQ(f, 0.0);
    EXPECT_EQ(evaluated.size(), 2u);

    // Uphill: every trial fails; the fractions shrink to at most a half and at least a
    // tenth of the one before, and the search gives the start point back.
    d[1] = 2.0;
    evaluated.clear();
    line_search(1, x0, 1.0, g, d, x, &f, 100.0, square);
    EXPECT_EQ(x[1], 1.0);
    EXPECT_GT(f, 1.0);
    ASSERT_GT(evaluated.size(), 3u);
    for (size_t k = 2; k < evaluated.size(); ++k) {
        const double now = evaluated[k][0] - 1, before = evaluated[k - 1][0] - 1;
        EXPECT_LE(now, 0.5 * before * (1 + 1e-6));
        EXPECT_GE(now, 0.1 * before * (1 - 1e-6));
    }
}

TEST(Minimiser, BfgsConvergesOnKnownFunctions) {
    reset_all_state();
    double p[3] = {0, 0.0, 0.0};
    int count = 0;
    double value = 1, capped = 0;
    dfpmin_temp(p, 2, 1e-8, &count, &value, quadratic, quadratic_grad, &capped);
    EXPECT_NEAR(p[1], 3.0, 1e-6);
    EXPECT_NEAR(p[2], -1.0, 1e-6);

    double r[3] = {0, -1.2, 1.0};
    dfpmin_temp(r, 2, 1e-6, &count, &value, rosenbrock, rosenbrock_grad, &capped);
    EXPECT_NEAR(r[1], 1.0, 1e-3);
    EXPECT_NEAR(r[2], 1.0, 2e-3);
    EXPECT_LT(value, 1e-6);
    EXPECT_LT(count, 50);
    EXPECT_EQ(capped, -HUGE_VAL);  // converged within the cap
}

TEST(Minimiser, StepLimitAndIterationCap) {
    // p = (0.5, 2.0): |p| = 2.06, so the first step is cut to 100 |p| = 206.2.
    reset_all_state();
    double p[3] = {0, 0.5, 2.0};
    int count = 0;
    double value = 0, capped = 0;
    evaluated.clear();
    dfpmin_temp(p, 2, 0.005, &count, &value, slope, slope_grad, &capped);
    EXPECT_NEAR(evaluated[1][0] - 0.5, 206.155, 1e-3);
    // The slope never flattens: all 50 iterations run, and the last point's log-likelihood
    // is returned for the caller's best value.
    EXPECT_EQ(count, 50);
    EXPECT_EQ(value, -1000 * p[1]);
    EXPECT_EQ(capped, 1000 * p[1]);

    // p = (1.5): |p| is below the floor 2, so the limit is 200.
    double q[2] = {0, 1.5};
    evaluated.clear();
    dfpmin_temp(q, 1, 0.005, &count, &value, slope, slope_grad1, &capped);
    EXPECT_EQ(evaluated[1][0], 201.5);
    EXPECT_EQ(count, 50);
    EXPECT_EQ(capped, 1000 * q[1]);
}

TEST(Minimiser, EndsOnValuesThatAreNotNumbers) {
    // A direction that is not a number is not searched along: the point and value stay.
    const double x0[2] = {0, 1.0}, g[2] = {0, 2.0};
    double d[2] = {0, -INFINITY}, x[2], f;
    evaluated.clear();
    EXPECT_FALSE(line_search(1, x0, 1.0, g, d, x, &f, 100.0, square));
    EXPECT_EQ(x[1], 1.0);
    EXPECT_EQ(f, 1.0);
    EXPECT_TRUE(evaluated.empty());

    // A step too small to move the point ends the search at once.
    const double big[2] = {0, 1e300}, flat[2] = {0, 0.0};
    double tiny[2] = {0, 1e-300};
    evaluated.clear();
    EXPECT_TRUE(line_search(1, big, 5.0, flat, tiny, x, &f, 100.0, square));
    EXPECT_EQ(x[1], 1e300);
    EXPECT_EQ(f, 5.0);
    EXPECT_TRUE(evaluated.empty());

    // Downhill past the cliff: the minimisation ends there, and says that its point is of
    // no use.
    reset_all_state();
    double p[2] = {0, 0.5};
    int count = 0;
    double value = 0, capped = 0;
    evaluated.clear();
    EXPECT_FALSE(dfpmin_temp(p, 1, 0.005, &count, &value, cliff, cliff_grad, &capped));
    EXPECT_LT(evaluated.size(), 2000u);
}
