// clockml's node values for an annealing step: a new time for the moved node X, drawn
// from a beta distribution on the interval between its parent and its earlier child and
// centred on a damped Newton step of the log-likelihood in X's time.
#include <cmath>
#include <cstdio>

#include "clock.hpp"
#include "likelihood.hpp"
#include "program.hpp"
#include "proposal.hpp"
#include "rng.hpp"

void node_time_slopes(int X, int c0, int c1, double T0, double& S1, double& S2) {
    // The likelihood of the two-child subtree at X, with X's state drawn from the base
    // frequencies, is W0*W1 + alpha e^(g1 T) + beta e^(g2 T) + gamma e^(g3 T) per pattern
    // under the F84 form. The children's partials may carry a power-of-two scale; it
    // multiplies every term of a pattern alike and so cancels in the ratios used here.
    const bool rates = settings.use_lin_info != 0;
    const double r0 = rates ? tree.RateVec[c0] : 1.0;
    const double r1 = rates ? tree.RateVec[c1] : 1.0;
    const double rX = rates ? tree.RateVec[X] : 1.0;
    const double t0 = tree.TimeVec[c0], t1 = tree.TimeVec[c1];
    const double mu = mp.mu, K = mp.K;

    const double E0 = std::exp((-mu) * r0 * t0), E1 = std::exp((-mu) * r1 * t1);
    const double F0 = std::exp((-mu) * (K + 1) * r0 * t0);
    const double F1 = std::exp((-mu) * (K + 1) * r1 * t1);
    const double g1 = 2 * mu * rX, g2 = (K + 2) * mu * rX, g3 = 2 * (K + 1) * mu * rX;
    const double x1 = std::exp(g1 * T0), x2 = std::exp(g2 * T0), x3 = std::exp(g3 * T0);
    const double h1 = g1 * g1, h2 = g2 * g2, h3 = g3 * g3;

    const double pi[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
    // share of each state within its class (purines A, G; pyrimidines C, T)
    const double share[4] = {mp.piA / mp.pi_r, mp.piG / mp.pi_r, mp.piC / mp.pi_y,
                             mp.piT / mp.pi_y};

    S1 = 0.0;
    S2 = 0.0;
    const int* weight = alignment.site_counter.data();
    for (int p = 0; p < alignment.npat; ++p) {
        const double* L0 = lik_row(c0) + 4 * p;
        const double* L1 = lik_row(c1) + 4 * p;
        double C0[4], C1[4];
        double purine0 = 0.0, pyrimidine0 = 0.0, purine1 = 0.0, pyrimidine1 = 0.0;
        purine0 += share[0] * L0[0];
        purine0 += share[1] * L0[1];
        pyrimidine0 += share[2] * L0[2];
        pyrimidine0 += share[3] * L0[3];
        purine1 += share[0] * L1[0];
        purine1 += share[1] * L1[1];
        pyrimidine1 += share[2] * L1[2];
        pyrimidine1 += share[3] * L1[3];
        C0[0] = C0[1] = purine0;
        C0[2] = C0[3] = pyrimidine0;
        C1[0] = C1[1] = purine1;
        C1[2] = C1[3] = pyrimidine1;

        double W0 = 0.0, W1 = 0.0, D = 0.0, D01 = 0.0, D10 = 0.0, Dll = 0.0;
        for (int i = 0; i < 4; ++i) {
            W0 += pi[i] * L0[i];
            W1 += pi[i] * L1[i];
            D += pi[i] * C0[i] * C1[i];
            D01 += pi[i] * L0[i] * C1[i];
            D10 += pi[i] * L1[i] * C0[i];
            Dll += pi[i] * L0[i] * L1[i];
        }
        const double alpha = (D - W0 * W1) * E0 * E1;
        const double beta = E1 * F0 * D01 + E0 * F1 * D10 - (E0 * F1 + E1 * F0) * D;
        const double gamma = (Dll - D10 - D01 + D) * F0 * F1;

        const double Ls = W0 * W1 + alpha * x1 + beta * x2 + gamma * x3;
        const double Ls1 = g1 * alpha * x1 + g2 * beta * x2 + g3 * gamma * x3;
        const double Ls2 = h1 * alpha * x1 + h2 * beta * x2 + h3 * gamma * x3;
        const double slope = Ls1 / Ls;
        S1 += weight[p] * Ls1 / Ls;
        S2 += weight[p] * (Ls2 / Ls - slope * slope);
    }
}

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

void propose_node_time(int X, int P) {
    const int kX = X - (tree.n + 1);
    const int c0 = tree.ppTwoRow_temp[0][kX], c1 = tree.ppTwoRow_temp[1][kX];
    const double U = tree.TimeVec[c0] < tree.TimeVec[c1] ? tree.TimeVec[c0] : tree.TimeVec[c1];
    const double tP = tree.TimeVec[P];
    const double T0 = (U + tP) / 2;
    tree.TimeVec_temp[X] = T0;

    double S1 = 0.0, S2 = 0.0;
    node_time_slopes(X, c0, c1, T0, S1, S2);
    const double delta = S1 / S2;
    tree.TimeVec_temp[X] = draw_node_time(tP, U, node_time_target(T0, U, tP, delta));
}

void propose_node_values(int X, int P, int A, int B, int S, int /*side*/, int /*k*/) {
    propose_node_time(X, P);
    // A node on its parent's time would make a branch of length zero: keep the tree as
    // it stands and let the step evaluate it unchanged.
    if (tree.TimeVec_temp[X] == tree.TimeVec[P]) {
        printf("zero branch length encountered \n");
        restore_move(X, P, A, B, S);
    }
}
