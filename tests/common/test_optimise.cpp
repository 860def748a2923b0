// Bracketing and Brent's method on one-dimensional functions with known minima.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "search/optimise.hpp"

namespace {

int last_node = 0;
// minimum 1 at x = 2
double parabola(int c, double x) { return last_node = c, (x - 2) * (x - 2) + 1; }
// minimum -1/e at x = 1, flat far out: the bracket has to walk a long way towards it
double skewed(int c, double x) { return last_node = c, -x * std::exp(-x); }

}  // namespace

TEST(OneDimensional, BracketThenBrentFindsKnownMinima) {
    struct Case {
        NodeObjective f;
        double ax, bx, xstar;
    };
    const Case cases[] = {{parabola, 0.0, 0.5, 2.0},  // parabolic step beyond cx
                          {parabola, 3.0, 4.0, 2.0},  // uphill start: the two points swap
                          {skewed, 6.0, 5.0, 1.0},
                          {skewed, 0.001, 0.5, 1.0}};
    for (const Case& k : cases) {
        double ax = k.ax, bx = k.bx, cx, fa, fb, fc;
        bracket_minimum(7, ax, bx, cx, fa, fb, fc, k.f);
        EXPECT_EQ(last_node, 7);
        const double lo = std::min(ax, cx), hi = std::max(ax, cx);
        EXPECT_TRUE(lo < bx && bx < hi && lo < k.xstar && k.xstar < hi) << ax << " " << cx;
        EXPECT_TRUE(fb <= fa && fb <= fc);
        EXPECT_TRUE(fa == k.f(0, ax) && fb == k.f(0, bx) && fc == k.f(0, cx));

        double xmin = -1;
        const double fmin = brent(7, ax, bx, cx, k.f, kBrentTolerance, xmin);
        EXPECT_NEAR(xmin, k.xstar, 0.01);
        EXPECT_EQ(fmin, k.f(7, xmin));
        EXPECT_LT(fmin, k.f(7, k.xstar) + 1e-4);
    }
}
