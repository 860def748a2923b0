// The weighted first and second slopes of the log-likelihood in the moved node's time, in a
// plain form and an AVX2 form picked when the program runs. The AVX2 form takes four
// patterns at a time through the same operations in the same order (contraction is off)
// and adds their terms to the two sums one pattern after another, as the plain form does,
// so both give the same bits.
#include <cmath>

#include "base/thread_pool.hpp"
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

// The two terms of patterns first .. end - 1 into T1 and T2 (indexed by pattern); `stride`
// doubles from one pattern to the next (4 x the rate categories).
void terms_from(const SlopeConstants& c, const double* R0, const double* R1, int first, int end,
                double* T1, double* T2, int stride = 4) {
    const int* weight = alignment.site_counter.data();
    for (int p = first; p < end; ++p) pattern_terms(c, R0 + stride * p, R1 + stride * p, weight[p], T1[p], T2[p]);
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

__attribute__((target("avx2"))) void terms_avx2(const SlopeConstants& c, const double* R0,
                                                const double* R1, int first, int end, double* T1,
                                                double* T2) {
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
    const int blocks = first + (end - first) / 4 * 4;
    for (int p = first; p < blocks; p += 4) {
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
        _mm256_storeu_pd(T1 + p, _mm256_div_pd(mul(w, Ls1), Ls));
        _mm256_storeu_pd(T2 + p, mul(w, sub(_mm256_div_pd(Ls2, Ls), mul(slope, slope))));
    }
    terms_from(c, R0, R1, blocks, end, T1, T2);
}

#undef AVX2_FN

bool have_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

#else

bool have_avx2() { return false; }
void terms_avx2(const SlopeConstants&, const double*, const double*, int, int, double*, double*) {}

#endif

// With rate categories the slopes are those of the category whose rate is nearest 1: they
// only centre the proposal's draw.
int slope_category() {
    int best = 0;
    for (int c = 1; c < lik.ncat; ++c)
        if (std::fabs(std::log(mp.named.cat_rate[c])) < std::fabs(std::log(mp.named.cat_rate[best]))) best = c;
    return best;
}

// One slope computation: the patterns' terms by ranges (in parallel where several threads
// work), then the two sums in pattern order.
struct SlopeTask {
    SlopeConstants c;
    const double *R0, *R1;
    int stride;
    bool avx2;
    int chunks;
};

void slope_terms_of_chunk(int chunk, void* context) {
    const SlopeTask& t = *static_cast<const SlopeTask*>(context);
    const PatternRange r = pattern_range(chunk, t.chunks);
    double* T1 = lik.site_terms.data();
    double* T2 = T1 + lik.npat;
    if (t.avx2)
        terms_avx2(t.c, t.R0, t.R1, r.first, r.first + r.count, T1, T2);
    else
        terms_from(t.c, t.R0, t.R1, r.first, r.first + r.count, T1, T2, t.stride);
}

void slopes(SlopeTask& t, double& S1, double& S2) {
    t.chunks = pattern_chunks();
    run_chunks(t.chunks, slope_terms_of_chunk, &t);
    const double* T1 = lik.site_terms.data();
    const double* T2 = T1 + lik.npat;
    S1 = 0.0;
    S2 = 0.0;
    for (int p = 0; p < alignment.npat; ++p) {
        S1 += T1[p];
        S2 += T2[p];
    }
}

}  // namespace

void node_time_slopes_plain(int X, int c0, int c1, double T0, double& S1, double& S2) {
    const int cat = slope_category();
    SlopeTask t{slope_constants(X, c0, c1, T0, mp.named.cat_rate[cat]), lik_row(c0) + 4 * cat,
                lik_row(c1) + 4 * cat, 4 * lik.ncat, false, 1};
    slopes(t, S1, S2);
}

bool node_time_slopes_avx2(int X, int c0, int c1, double T0, double& S1, double& S2) {
    if (!have_avx2() || lik.ncat > 1) return false;
    SlopeTask t{slope_constants(X, c0, c1, T0, mp.named.cat_rate[0]), lik_row(c0), lik_row(c1), 4, true, 1};
    slopes(t, S1, S2);
    return true;
}

void node_time_slopes(int X, int c0, int c1, double T0, double& S1, double& S2) {
    if (!node_time_slopes_avx2(X, c0, c1, T0, S1, S2)) node_time_slopes_plain(X, c0, c1, T0, S1, S2);
}
