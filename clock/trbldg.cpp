// clockml's node values for an annealing step: a new time for the moved node X, drawn
// from a beta distribution on the interval between its parent and its earlier child and
// centred on a damped Newton step of the log-likelihood in X's time.
#include <cmath>
#include <cstdio>

#include "base/rng.hpp"
#include "base/state.hpp"
#include "clock.hpp"
#include "engine/likelihood.hpp"
#include "search/proposal.hpp"
#include "search/search_seams.hpp"

double node_time_target(double T0, double U, double tP, double delta) {
    // Two thirds of the Newton step, at most two thirds of the way to either end.
    if (delta < 0) {
        if (-delta >= U - T0) return T0 + (2.0 / 3.0) * (U - T0);
        return T0 - (2.0 / 3.0) * delta;
    }
    if (delta > 0) {
        if (delta >= T0 - tP) return T0 - (2.0 / 3.0) * (T0 - tP);
        return T0 - (2.0 / 3.0) * delta;
    }
    return T0;  // no step, also when the slopes gave no number
}

double draw_node_time(double tP, double U, double target) {
    // Beta distribution on (tP, U) with mean at the target and a variance that shrinks
    // as the search goes on.
    const double m = (target - tP) / (U - tP);
    const double nu = 1.0 / (std::sqrt(static_cast<double>(ann.anneal_iter)) / tree.n + 51.0);
    const double a = (m * m - m * m * m - m * nu) / nu;
    const double b = a * (1 - m) / m;
    // The shapes go to the generator in single precision; one that is not positive there
    // (or no number at all) leaves no beta distribution, and the middle is taken.
    const float fa = static_cast<float>(a), fb = static_cast<float>(b);
    if (!(fa > 0.0f) || !(fb > 0.0f)) return tP + (U - tP) / 2;
    const double x = GENBET(fa, fb);
    return tP + (U - tP) * x;
}

void propose_node_time(int X, int P, bool kept_children) {
    const int kX = X - (tree.n + 1);
    const int c0 = tree.temp.ppTwoRow[0][kX], c1 = tree.temp.ppTwoRow[1][kX];
    double U = tree.cur.TimeVec[c0] < tree.cur.TimeVec[c1] ? tree.cur.TimeVec[c0] : tree.cur.TimeVec[c1];
    double tP = tree.cur.TimeVec[P];
    // A calibrated node (which keeps its children) stays within its bounds.
    double lo = 0, hi = 0;
    if (kept_children && node_time_window(X, lo, hi)) {
        tP = tP > lo ? tP : lo;
        U = U < hi ? U : hi;
    }
    const double T0 = (U + tP) / 2;
    tree.temp.TimeVec[X] = T0;

    double S1 = 0.0, S2 = 0.0;
    node_time_slopes(X, c0, c1, T0, S1, S2);
    const double delta = S1 / S2;
    tree.temp.TimeVec[X] = draw_node_time(tP, U, node_time_target(T0, U, tP, delta));
}

void propose_node_values(int X, int P, int A, int B, int S, int /*side*/, int k) {
    propose_node_time(X, P, k == 1);
    // A node on its parent's time would make a branch of length zero: keep the tree as
    // it stands and let the step evaluate it unchanged.
    if (tree.temp.TimeVec[X] == tree.cur.TimeVec[P]) {
        printf("zero branch length encountered \n");
        restore_move(X, P, A, B, S);
    }
}
