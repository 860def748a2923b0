// Rate matrices of the named models. States are A, G, C, T (purines first); the exchange
// rates are kept in the usual order of the pairs, A-C A-G A-T C-G C-T G-T.
#include "engine/named_model.hpp"

#include <cmath>

#include "base/base_codes.hpp"
#include "base/fatal.hpp"
#include "base/state.hpp"
#include "engine/gamma_rates.hpp"
#include "engine/model.hpp"

namespace {

enum Pair { kAC, kAG, kAT, kCG, kCT, kGT };

// The pair of two states (A 0, G 1, C 2, T 3).
int pair_of(int i, int j) {
    static const int pairs[4][4] = {{-1, kAG, kAC, kAT},
                                    {kAG, -1, kCG, kGT},
                                    {kAC, kCG, -1, kCT},
                                    {kAT, kGT, kCT, -1}};
    return pairs[i][j];
}

bool is_transition(int i, int j) { return (i < 2) == (j < 2) && i != j; }

// The exchange rates of every pair from the model's own parameters.
void exchange_rates(ModelParams::Named& m) {
    for (double& e : m.exch) e = 1.0;
    switch (m.kind) {
        case ModelKind::kJC: break;
        case ModelKind::kK2P:
        case ModelKind::kHKY: m.exch[kAG] = m.exch[kCT] = m.xp[0]; break;
        case ModelKind::kF84:
            m.exch[kAG] = 1.0 + m.xp[0] / mp.pi_r;
            m.exch[kCT] = 1.0 + m.xp[0] / mp.pi_y;
            break;
        case ModelKind::kTN93:
            m.exch[kAG] = m.xp[0];
            m.exch[kCT] = m.xp[1];
            break;
        case ModelKind::kGTR:
            for (int k = 0; k < 5; ++k) m.exch[k] = m.xp[k];
            break;
    }
}

// Eigenvalues and eigenvectors of a symmetric 4x4 matrix by Jacobi rotations: A becomes
// diagonal, V collects the rotations (A = V diag V^T).
void jacobi_eigen(double A[4][4], double V[4][4]) {
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) V[i][j] = i == j ? 1.0 : 0.0;
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0.0;
        for (int p = 0; p < 4; ++p)
            for (int q = p + 1; q < 4; ++q) off += A[p][q] * A[p][q];
        if (off < 1e-36) break;
        for (int p = 0; p < 4; ++p)
            for (int q = p + 1; q < 4; ++q) {
                if (A[p][q] == 0.0) continue;
                const double theta = (A[q][q] - A[p][p]) / (2.0 * A[p][q]);
                const double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
                const double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
                for (int k = 0; k < 4; ++k) {
                    const double akp = A[k][p], akq = A[k][q];
                    A[k][p] = c * akp - s * akq;
                    A[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 4; ++k) {
                    const double apk = A[p][k], aqk = A[q][k];
                    A[p][k] = c * apk - s * aqk;
                    A[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 4; ++k) {
                    const double vkp = V[k][p], vkq = V[k][q];
                    V[k][p] = c * vkp - s * vkq;
                    V[k][q] = s * vkp + c * vkq;
                }
            }
    }
}

// The eigenvectors of the scaled rate matrix Q: with B = D^(1/2) Q D^(-1/2) symmetric
// (D = diag(pi)), P(t) = D^(-1/2) V e^(Lambda t) V^T D^(1/2).
void eigen_system(ModelParams::Named& m, double scale) {
    double B[4][4], V[4][4];
    for (int i = 0; i < 4; ++i) {
        double row = 0.0;
        for (int j = 0; j < 4; ++j) {
            if (i == j) continue;
            const double q = m.exch[pair_of(i, j)] * mp.pi[j] / scale;
            row += q;
            B[i][j] = m.exch[pair_of(i, j)] * std::sqrt(mp.pi[i] * mp.pi[j]) / scale;
        }
        B[i][i] = -row;
    }
    jacobi_eigen(B, V);
    for (int k = 0; k < 4; ++k) m.eval[k] = B[k][k];
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 4; ++k) {
            m.left[4 * i + k] = V[i][k] / std::sqrt(mp.pi[i]);
            m.right[4 * k + i] = V[i][k] * std::sqrt(mp.pi[i]);
        }
}

// The share of sites whose pattern allows one state at every sequence: the most the
// invariable proportion can be.
double constant_site_share() {
    double constant = 0.0, total = 0.0;
    for (int p = 0; p < alignment.npat; ++p) {
        int allowed = 15;
        for (int i = 0; i < settings.ntaxa; ++i) {
            const int* in = code_states(alignment.ppBase_unique[i][p]);
            allowed &= in[0] | in[1] << 1 | in[2] << 2 | in[3] << 3;
        }
        total += alignment.site_counter[p];
        if (allowed != 0) constant += alignment.site_counter[p];
    }
    return total > 0 ? constant / total : 0.0;
}

}  // namespace

void setup_named_model(const ModelSpec& chosen) {
    ModelParams::Named& m = mp.named;
    m = ModelParams::Named{};
    m.on = true;
    m.kind = chosen.kind;
    mp.model = 0;
    if (chosen.freqs == ModelSpec::Freqs::kEmpirical) {
        empirical_base_freqs();
    } else if (chosen.freqs == ModelSpec::Freqs::kFixed) {
        // Written A, C, G, T; held A, G, C, T.
        const double f[4] = {chosen.fixed_freqs[0], chosen.fixed_freqs[2], chosen.fixed_freqs[1],
                             chosen.fixed_freqs[3]};
        set_base_frequencies(f);
    } else {
        const double f[4] = {0.25, 0.25, 0.25, 0.25};
        set_base_frequencies(f);
    }
    derive_model_constants();
    const int count = exchange_parameter_count(chosen.kind);
    // Starting values: a transition/transversion rate ratio of 2, F84's K of 1, GTR's rates 1.
    for (int k = 0; k < 5; ++k) m.xp[k] = 1.0;
    if (chosen.kind == ModelKind::kK2P || chosen.kind == ModelKind::kHKY || chosen.kind == ModelKind::kTN93)
        m.xp[0] = m.xp[1] = 2.0;
    for (int k = 0; k < chosen.fixed_rates; ++k) m.xp[k] = chosen.rates[k];
    m.xp_fixed = chosen.fixed_rates == count;
    m.ncat = chosen.ncat;
    m.alpha = chosen.alpha_fixed ? chosen.alpha : 1.0;
    m.alpha_fixed = chosen.alpha_fixed;
    m.invariant = chosen.invariant;
    m.pinv_max = constant_site_share();
    m.pinv_fixed = chosen.pinv_fixed;
    if (chosen.invariant && chosen.pinv_fixed && chosen.pinv > m.pinv_max)
        fatal("Error in the model: +I{%g} asks for more invariable sites than the alignment has "
              "sites that could be invariable (a share of %g)\n", chosen.pinv, m.pinv_max);
    m.pinv = !chosen.invariant ? 0.0 : chosen.pinv_fixed ? chosen.pinv : 0.5 * m.pinv_max;
    // A branch length is in expected changes per site, so the rate scale is 1; clockml
    // estimates its own.
    mp.mu = 1.0;
    update_named_model();
}

void update_named_model() {
    ModelParams::Named& m = mp.named;
    exchange_rates(m);
    // One expected change per unit time: sum_i pi_i sum_j!=i exch_ij pi_j.
    double scale = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (i != j) scale += mp.pi[i] * m.exch[pair_of(i, j)] * mp.pi[j];
    m.closed_form = m.kind != ModelKind::kGTR;
    if (m.closed_form) {
        m.beta = 1.0 / scale;
        m.alpha_r = m.exch[kAG] / scale;
        m.alpha_y = m.exch[kCT] / scale;
    } else {
        eigen_system(m, scale);
    }
    if (m.ncat > 1)
        gamma_category_rates(m.alpha, m.ncat, m.cat_rate);
    else
        m.cat_rate[0] = 1.0;
    // Invariable sites take pinv of the sites at rate 0; the others keep the mean rate 1.
    for (int c = 0; c < m.ncat; ++c) m.cat_rate[c] /= 1.0 - m.pinv;
    m.cat_weight = (1.0 - m.pinv) / m.ncat;
    mp.ratio = named_ts_tv_ratio();
    // The clock proposal's slopes take the F84 form: K from the ratio, as a plain run has it.
    mp.kDenom = mp.piA * mp.piG / mp.pi_r + mp.piC * mp.piT / mp.pi_y;
    mp.K = (mp.ratio * mp.pi_r * mp.pi_y - mp.piA * mp.piG - mp.piC * mp.piT) / mp.kDenom;
    if (!(mp.K >= 0.0)) mp.K = 0.0;
    mp.Kprime = mp.K + 1.0;
}

void named_transition_matrix(double t, double* P) {
    const ModelParams::Named& m = mp.named;
    if (!m.closed_form) {
        double e[4];
        for (int k = 0; k < 4; ++k) e[k] = std::exp(m.eval[k] * t);
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) {
                double v = 0.0;
                for (int k = 0; k < 4; ++k) v += m.left[4 * i + k] * e[k] * m.right[4 * k + j];
                P[4 * i + j] = v > 0.0 ? v : 0.0;
            }
        return;
    }
    // TN93: e = e^(-beta t); within a class J (purines R or pyrimidines Y) also
    // f_J = e^(-(Pi_J alpha_J + (1 - Pi_J) beta) t).
    const double e = std::exp(-m.beta * t);
    const double fR = std::exp(-(mp.pi_r * m.alpha_r + mp.pi_y * m.beta) * t);
    const double fY = std::exp(-(mp.pi_y * m.alpha_y + mp.pi_r * m.beta) * t);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const double pj = mp.pi[j];
            const double group = j < 2 ? mp.pi_r : mp.pi_y;
            const double f = j < 2 ? fR : fY;
            double v;
            if ((i < 2) != (j < 2))
                v = pj * (1.0 - e);
            else if (i == j)
                v = pj + pj * (1.0 / group - 1.0) * e + ((group - pj) / group) * f;
            else
                v = pj + pj * (1.0 / group - 1.0) * e - (pj / group) * f;
            P[4 * i + j] = v;
        }
}

double named_ts_tv_ratio() {
    const ModelParams::Named& m = mp.named;
    double ts = 0.0, tv = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            if (i == j) continue;
            const double flow = mp.pi[i] * m.exch[pair_of(i, j)] * mp.pi[j];
            (is_transition(i, j) ? ts : tv) += flow;
        }
    return ts / tv;
}
