// Bracketing and Brent's method on one-dimensional functions with known minima.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "optimise.hpp"

namespace {

int last_node = 0;
int evaluations = 0;

// minimum 1 at x = 2
double parabola(int c, double x) {
    last_node = c;
    ++evaluations;
    return (x - 2) * (x - 2) + 1;
}
// minimum -1/e at x = 1; flat far out, so the bracket has to grow towards it
double skewed(int c, double x) {
    last_node = c;
    ++evaluations;
    return -x * std::exp(-x);
}

void expect_bracket(double ax, double bx, double cx, double fa, double fb, double fc,
                    NodeObjective f, double xstar) {
    EXPECT_LT(std::min(ax, cx), bx);
    EXPECT_LT(bx, std::max(ax, cx));
    EXPECT_LE(fb, fa);
    EXPECT_LE(fb, fc);
    EXPECT_EQ(fa, f(0, ax));
    EXPECT_EQ(fb, f(0, bx));
    EXPECT_EQ(fc, f(0, cx));
    EXPECT_LT(std::min(ax, cx), xstar);
    EXPECT_GT(std::max(ax, cx), xstar);
}

}  // namespace

TEST(OneDimensional, BracketThenBrentFindsKnownMinima) {
    struct Case {
        NodeObjective f;
        double ax, bx, xstar, fstar;
    };
    const Case cases[] = {
        {parabola, 0.0, 0.5, 2.0, 1.0},      // parabolic step beyond cx
        {parabola, 3.0, 4.0, 2.0, 1.0},      // uphill start: the two points swap
        {skewed, 6.0, 5.0, 1.0, -std::exp(-1.0)},  // long walk down a flat tail
        {skewed, 0.001, 0.5, 1.0, -std::exp(-1.0)},
    };
    for (const Case& k : cases) {
        double ax = k.ax, bx = k.bx, cx, fa, fb, fc;
        last_node = 0;
        bracket_minimum(7, ax, bx, cx, fa, fb, fc, k.f);
        EXPECT_EQ(last_node, 7);
        expect_bracket(ax, bx, cx, fa, fb, fc, k.f, k.xstar);

        double xmin = -1;
        evaluations = 0;
        const double fmin = brent(7, ax, bx, cx, k.f, kBrentTolerance, xmin);
        EXPECT_LT(evaluations, 40);
        EXPECT_NEAR(xmin, k.xstar, 0.01);
        EXPECT_NEAR(fmin, k.fstar, 1e-4);
        EXPECT_EQ(fmin, k.f(7, xmin));
        EXPECT_LE(fmin, fb);
    }
}

TEST(OneDimensional, BrentStaysInsideItsBracket) {
    // a bracket that holds only the left end of the parabola: the best point is its edge
    double xmin = 0;
    const double fmin = brent(1, 0.0, 0.9, 1.0, parabola, kBrentTolerance, xmin);
    EXPECT_LE(xmin, 1.0);
    EXPECT_GT(xmin, 0.99);
    EXPECT_EQ(fmin, parabola(1, xmin));
}
