// The weighted first and second slopes of the log-likelihood in the moved node's time, in a
// plain form and an AVX2 form picked when the program runs. The AVX2 form takes four
// patterns at a time through the same operations in the same order (contraction is off)
// and adds their terms to the two sums one pattern after another, as the plain form does,
// so both give the same bits.
#include <cmath>

#include "clock.hpp"
#include "engine/likelihood.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define NODE_TIME_SLOPES_AVX2 1
#include <immintrin.h>
#endif

namespace {

// What every pattern of one proposal shares.
struct SlopeConstants {
    double E0, E1, F0, F1, E1F0, E0F1, E0F1_E1F0;
    double g1, g2, g3, x1, x2, x3, h1, h2, h3;
    double pi[4], share[4];
};

SlopeConstants slope_constants(int X, int c0, int c1, double T0, double rate) {
    // The likelihood of the two-child subtree at X, with X's state drawn from the base
    // frequencies, is W0*W1 + alpha e^(g1 T) + beta e^(g2 T) + gamma e^(g3 T) per pattern
    // under the F84 form. The children's partials may carry a power-of-two scale; it
    // multiplies every term of a pattern alike and so cancels in the ratios used here.
    const bool rates = settings.use_lin_info != 0;
    const double r0 = rates ? tree.cur.RateVec[c0] : 1.0;
    const double r1 = rates ? tree.cur.RateVec[c1] : 1.0;
    const double rX = rates ? tree.cur.RateVec[X] : 1.0;
    const double t0 = tree.cur.TimeVec[c0], t1 = tree.cur.TimeVec[c1];
    const double mu = mp.named.on ? mp.mu * rate : mp.mu, K = mp.K;
    SlopeConstants c;
    c.E0 = std::exp((-mu) * r0 * t0);
    c.E1 = std::exp((-mu) * r1 * t1);
    c.F0 = std::exp((-mu) * (K + 1) * r0 * t0);
    c.F1 = std::exp((-mu) * (K + 1) * r1 * t1);
    c.E1F0 = c.E1 * c.F0;
    c.E0F1 = c.E0 * c.F1;
    c.E0F1_E1F0 = c.E0F1 + c.E1F0;
    c.g1 = 2 * mu * rX;
    c.g2 = (K + 2) * mu * rX;
    c.g3 = 2 * (K + 1) * mu * rX;
    c.x1 = std::exp(c.g1 * T0);
    c.x2 = std::exp(c.g2 * T0);
    c.x3 = std::exp(c.g3 * T0);
    c.h1 = c.g1 * c.g1;
    c.h2 = c.g2 * c.g2;
    c.h3 = c.g3 * c.g3;
    const double pi[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
    // share of each state within its class (purines A, G; pyrimidines C, T)
    const double share[4] = {mp.piA / mp.pi_r, mp.piG / mp.pi_r, mp.piC / mp.pi_y,
                             mp.piT / mp.pi_y};
    for (int i = 0; i < 4; ++i) {
        c.pi[i] = pi[i];
        c.share[i] = share[i];
    }
    return c;
}

// Pattern p's two terms: weight * Ls1 / Ls and weight * (Ls2 / Ls - slope^2).
inline void pattern_terms(const SlopeConstants& c, const double* L0, const double* L1, int weight,
                          double& term1, double& term2) {
    double C0[4], C1[4];
    double purine0 = 0.0, pyrimidine0 = 0.0, purine1 = 0.0, pyrimidine1 = 0.0;
    purine0 += c.share[0] * L0[0];
    purine0 += c.share[1] * L0[1];
    pyrimidine0 += c.share[2] * L0[2];
    pyrimidine0 += c.share[3] * L0[3];
    purine1 += c.share[0] * L1[0];
    purine1 += c.share[1] * L1[1];
    pyrimidine1 += c.share[2] * L1[2];
    pyrimidine1 += c.share[3] * L1[3];
    C0[0] = C0[1] = purine0;
    C0[2] = C0[3] = pyrimidine0;
    C1[0] = C1[1] = purine1;
    C1[2] = C1[3] = pyrimidine1;

    double W0 = 0.0, W1 = 0.0, D = 0.0, D01 = 0.0, D10 = 0.0, Dll = 0.0;
    for (int i = 0; i < 4; ++i) {
        W0 += c.pi[i] * L0[i];
        W1 += c.pi[i] * L1[i];
        D += c.pi[i] * C0[i] * C1[i];
        D01 += c.pi[i] * L0[i] * C1[i];
        D10 += c.pi[i] * L1[i] * C0[i];
        Dll += c.pi[i] * L0[i] * L1[i];
    }
    const double alpha = (D - W0 * W1) * c.E0 * c.E1;
    const double beta = c.E1F0 * D01 + c.E0F1 * D10 - c.E0F1_E1F0 * D;
    const double gamma = (Dll - D10 - D01 + D) * c.F0 * c.F1;

    const double Ls = W0 * W1 + alpha * c.x1 + beta * c.x2 + gamma * c.x3;
    const double Ls1 = c.g1 * alpha * c.x1 + c.g2 * beta * c.x2 + c.g3 * gamma * c.x3;
    const double Ls2 = c.h1 * alpha * c.x1 + c.h2 * beta * c.x2 + c.h3 * gamma * c.x3;
    const double slope = Ls1 / Ls;
    term1 = weight * Ls1 / Ls;
    term2 = weight * (Ls2 / Ls - slope * slope);
}

// `stride` doubles from one pattern to the next (4 x the rate categories).
void slopes_from(const SlopeConstants& c, const double* R0, const double* R1, int first, int npat,
                 double& S1, double& S2, int stride = 4) {
    const int* weight = alignment.site_counter.data();
    for (int p = first; p < npat; ++p) {
        double t1, t2;
        pattern_terms(c, R0 + stride * p, R1 + stride * p, weight[p], t1, t2);
        S1 += t1;
        S2 += t2;
    }
}

#ifdef NODE_TIME_SLOPES_AVX2

#define AVX2_FN __attribute__((target("avx2"))) inline

// v[i] = state i of patterns p .. p + 3.
AVX2_FN void load_states(const double* rows, __m256d* v) {
    const __m256d r0 = _mm256_loadu_pd(rows), r1 = _mm256_loadu_pd(rows + 4),
                  r2 = _mm256_loadu_pd(rows + 8), r3 = _mm256_loadu_pd(rows + 12);
    const __m256d t0 = _mm256_unpacklo_pd(r0, r1), t1 = _mm256_unpackhi_pd(r0, r1);
    const __m256d t2 = _mm256_unpacklo_pd(r2, r3), t3 = _mm256_unpackhi_pd(r2, r3);
    v[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    v[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    v[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    v[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

AVX2_FN __m256d mul(__m256d a, __m256d b) { return _mm256_mul_pd(a, b); }
AVX2_FN __m256d add(__m256d a, __m256d b) { return _mm256_add_pd(a, b); }
AVX2_FN __m256d sub(__m256d a, __m256d b) { return _mm256_sub_pd(a, b); }
AVX2_FN __m256d all(double x) { return _mm256_set1_pd(x); }

__attribute__((target("avx2"))) void slopes_avx2(const SlopeConstants& c, const double* R0,
                                                 const double* R1, int npat, double& S1,
                                                 double& S2) {
    const int* weight = alignment.site_counter.data();
    const __m256d zero = _mm256_setzero_pd();
    __m256d pi[4], share[4];
    for (int i = 0; i < 4; ++i) {
        pi[i] = all(c.pi[i]);
        share[i] = all(c.share[i]);
    }
    const __m256d E0 = all(c.E0), E1 = all(c.E1), F0 = all(c.F0), F1 = all(c.F1);
    const __m256d E1F0 = all(c.E1F0), E0F1 = all(c.E0F1), E0F1_E1F0 = all(c.E0F1_E1F0);
    const __m256d x1 = all(c.x1), x2 = all(c.x2), x3 = all(c.x3);
    const __m256d g1 = all(c.g1), g2 = all(c.g2), g3 = all(c.g3);
    const __m256d h1 = all(c.h1), h2 = all(c.h2), h3 = all(c.h3);
    const int blocks = npat / 4 * 4;
    for (int p = 0; p < blocks; p += 4) {
        __m256d L0[4], L1[4];
        load_states(R0 + 4 * p, L0);
        load_states(R1 + 4 * p, L1);
        const __m256d purine0 = add(add(zero, mul(share[0], L0[0])), mul(share[1], L0[1]));
        const __m256d pyrimidine0 = add(add(zero, mul(share[2], L0[2])), mul(share[3], L0[3]));
        const __m256d purine1 = add(add(zero, mul(share[0], L1[0])), mul(share[1], L1[1]));
        const __m256d pyrimidine1 = add(add(zero, mul(share[2], L1[2])), mul(share[3], L1[3]));
        const __m256d C0[4] = {purine0, purine0, pyrimidine0, pyrimidine0};
        const __m256d C1[4] = {purine1, purine1, pyrimidine1, pyrimidine1};
        __m256d W0 = zero, W1 = zero, D = zero, D01 = zero, D10 = zero, Dll = zero;
        for (int i = 0; i < 4; ++i) {
            W0 = add(W0, mul(pi[i], L0[i]));
            W1 = add(W1, mul(pi[i], L1[i]));
            D = add(D, mul(mul(pi[i], C0[i]), C1[i]));
            D01 = add(D01, mul(mul(pi[i], L0[i]), C1[i]));
            D10 = add(D10, mul(mul(pi[i], L1[i]), C0[i]));
            Dll = add(Dll, mul(mul(pi[i], L0[i]), L1[i]));
        }
        const __m256d alpha = mul(mul(sub(D, mul(W0, W1)), E0), E1);
        const __m256d beta = sub(add(mul(E1F0, D01), mul(E0F1, D10)), mul(E0F1_E1F0, D));
        const __m256d gamma = mul(mul(add(sub(sub(Dll, D10), D01), D), F0), F1);
        const __m256d Ls =
            add(add(add(mul(W0, W1), mul(alpha, x1)), mul(beta, x2)), mul(gamma, x3));
        const __m256d Ls1 = add(add(mul(mul(g1, alpha), x1), mul(mul(g2, beta), x2)),
                                mul(mul(g3, gamma), x3));
        const __m256d Ls2 = add(add(mul(mul(h1, alpha), x1), mul(mul(h2, beta), x2)),
                                mul(mul(h3, gamma), x3));
        const __m256d slope = _mm256_div_pd(Ls1, Ls);
        const __m256d w = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(weight + p)));
        alignas(32) double t1[4], t2[4];
        _mm256_store_pd(t1, _mm256_div_pd(mul(w, Ls1), Ls));
        _mm256_store_pd(t2, mul(w, sub(_mm256_div_pd(Ls2, Ls), mul(slope, slope))));
        for (int k = 0; k < 4; ++k) {
            S1 += t1[k];
            S2 += t2[k];
        }
    }
    slopes_from(c, R0, R1, blocks, npat, S1, S2);
}

#undef AVX2_FN

bool have_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

#else

bool have_avx2() { return false; }
void slopes_avx2(const SlopeConstants&, const double*, const double*, int, double&, double&) {}

#endif

}  // namespace

// With rate categories the slopes are those of the category whose rate is nearest 1: they
// only centre the proposal's draw.
int slope_category() {
    int best = 0;
    for (int c = 1; c < lik.ncat; ++c)
        if (std::fabs(std::log(mp.named.cat_rate[c])) < std::fabs(std::log(mp.named.cat_rate[best]))) best = c;
    return best;
}

void node_time_slopes_plain(int X, int c0, int c1, double T0, double& S1, double& S2) {
    const int cat = slope_category();
    const SlopeConstants c = slope_constants(X, c0, c1, T0, mp.named.cat_rate[cat]);
    S1 = 0.0;
    S2 = 0.0;
    slopes_from(c, lik_row(c0) + 4 * cat, lik_row(c1) + 4 * cat, 0, alignment.npat, S1, S2, 4 * lik.ncat);
}

bool node_time_slopes_avx2(int X, int c0, int c1, double T0, double& S1, double& S2) {
    if (!have_avx2() || lik.ncat > 1) return false;
    const SlopeConstants c = slope_constants(X, c0, c1, T0, mp.named.cat_rate[0]);
    S1 = 0.0;
    S2 = 0.0;
    slopes_avx2(c, lik_row(c0), lik_row(c1), alignment.npat, S1, S2);
    return true;
}

void node_time_slopes(int X, int c0, int c1, double T0, double& S1, double& S2) {
    if (!node_time_slopes_avx2(X, c0, c1, T0, S1, S2)) node_time_slopes_plain(X, c0, c1, T0, S1, S2);
}
