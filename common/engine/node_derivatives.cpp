// The derivative pass's node update in a plain form and an AVX2 form picked when the
// program runs, with leaf children looked up by code. Both forms do the same operations in
// the same order (contraction into fused multiply-adds is off), so they give the same bits.
#include "engine/node_derivatives.hpp"

#include <cstddef>

#include "engine/likelihood_constants.hpp"
#include "engine/node_product.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define NODE_DERIVATIVES_AVX2 1
#include <immintrin.h>
#endif

namespace {

constexpr bool has(int W, int bit) { return (W & bit) != 0; }

// A child's sums at the pattern whose entries start at offset o of its rows.
template <int W>
void child_sums(const BranchTerms& B, const DerivRows& c, std::size_t o, ChildSums& s) {
    for (int i = 0; i < 4; ++i) {
        s.L[i] = 0.0;
        s.mu1[i] = s.mu2[i] = s.k1[i] = s.k2[i] = s.muk[i] = 0.0;
    }
    for (int j = 0; j < 4; ++j) {
        const double L = c.L[o + j];
        double D1 = 0, D2 = 0, K1 = 0, K2 = 0, MK = 0;
        if constexpr (has(W, DERIV_MU1)) D1 = c.mu1[o + j];
        if constexpr (has(W, DERIV_MU2)) D2 = c.mu2[o + j];
        if constexpr (has(W, DERIV_K1)) K1 = c.k1[o + j];
        if constexpr (has(W, DERIV_K2)) K2 = c.k2[o + j];
        if constexpr (has(W, DERIV_MUK)) MK = c.muk[o + j];
        const double* P = B.P + 4 * j;
        const double* dm = B.mu1 + 4 * j;
        const double* dmm = B.mu2 + 4 * j;
        const double* dk = B.k1 + 4 * j;
        const double* dkk = B.k2 + 4 * j;
        const double* dmk = B.muk + 4 * j;
        for (int i = 0; i < 4; ++i) {
            s.L[i] += P[i] * L;
            if constexpr (has(W, DERIV_MU1)) s.mu1[i] += dm[i] * L + P[i] * D1;
            if constexpr (has(W, DERIV_MU2)) s.mu2[i] += dmm[i] * L + 2 * dm[i] * D1 + P[i] * D2;
            if constexpr (has(W, DERIV_K1)) s.k1[i] += dk[i] * L + P[i] * K1;
            if constexpr (has(W, DERIV_K2)) s.k2[i] += dkk[i] * L + 2 * dk[i] * K1 + P[i] * K2;
            if constexpr (has(W, DERIV_MUK))
                s.muk[i] += dmk[i] * L + dm[i] * K1 + dk[i] * D1 + P[i] * MK;
        }
    }
}

template <int W>
void tip_child_sums_for(const BranchTerms& B, const double* states, ChildSums* tip) {
    static const double zeros[64] = {};
    const DerivRows leaf{const_cast<double*>(states), const_cast<double*>(zeros),
                         const_cast<double*>(zeros),  const_cast<double*>(zeros),
                         const_cast<double*>(zeros),  const_cast<double*>(zeros), nullptr};
    for (int code = 0; code < 16; ++code) child_sums<W>(B, leaf, 4 * static_cast<std::size_t>(code), tip[code]);
}

template <int W>
void plain_form(int npat, const DerivChild& a, const DerivChild& b, const DerivRows& rv) {
    for (int p = 0; p < npat; ++p) {
        const std::size_t o = 4 * static_cast<std::size_t>(p);
        ChildSums xs, ys;
        const ChildSums* xp = &xs;
        const ChildSums* yp = &ys;
        if (a.tip != nullptr)
            xp = a.tip + a.code[p];
        else
            child_sums<W>(*a.B, a.rows, o, xs);
        if (b.tip != nullptr)
            yp = b.tip + b.code[p];
        else
            child_sums<W>(*b.B, b.rows, o, ys);
        const ChildSums& x = *xp;
        const ChildSums& y = *yp;
        double L[4], mu1[4], mu2[4], k1[4], k2[4], muk[4];
        for (int i = 0; i < 4; ++i) {
            L[i] = x.L[i] * y.L[i];
            if constexpr (has(W, DERIV_MU1)) mu1[i] = x.mu1[i] * y.L[i] + x.L[i] * y.mu1[i];
            if constexpr (has(W, DERIV_MU2))
                mu2[i] = x.mu2[i] * y.L[i] + 2 * x.mu1[i] * y.mu1[i] + x.L[i] * y.mu2[i];
            if constexpr (has(W, DERIV_K1)) k1[i] = x.k1[i] * y.L[i] + x.L[i] * y.k1[i];
            if constexpr (has(W, DERIV_K2))
                k2[i] = x.k2[i] * y.L[i] + 2 * x.k1[i] * y.k1[i] + x.L[i] * y.k2[i];
            if constexpr (has(W, DERIV_MUK))
                muk[i] = x.muk[i] * y.L[i] + x.mu1[i] * y.k1[i] + x.k1[i] * y.mu1[i] +
                         x.L[i] * y.muk[i];
        }
        const int step = rescale_pattern(L);
        if (step != 0) {
            for (int i = 0; i < 4; ++i) {
                if constexpr (has(W, DERIV_MU1)) mu1[i] *= kScaleFactor;
                if constexpr (has(W, DERIV_MU2)) mu2[i] *= kScaleFactor;
                if constexpr (has(W, DERIV_K1)) k1[i] *= kScaleFactor;
                if constexpr (has(W, DERIV_K2)) k2[i] *= kScaleFactor;
                if constexpr (has(W, DERIV_MUK)) muk[i] *= kScaleFactor;
            }
        }
        // A leaf's scaling counts are always zero.
        int k = step;
        if (a.tip == nullptr) k += a.rows.scale[p];
        if (b.tip == nullptr) k += b.rows.scale[p];
        rv.scale[p] = k;
        for (int i = 0; i < 4; ++i) {
            rv.L[o + i] = L[i];
            if constexpr (has(W, DERIV_MU1)) rv.mu1[o + i] = mu1[i];
            if constexpr (has(W, DERIV_MU2)) rv.mu2[o + i] = mu2[i];
            if constexpr (has(W, DERIV_K1)) rv.k1[o + i] = k1[i];
            if constexpr (has(W, DERIV_K2)) rv.k2[o + i] = k2[i];
            if constexpr (has(W, DERIV_MUK)) rv.muk[o + i] = muk[i];
        }
    }
}

#ifdef NODE_DERIVATIVES_AVX2

struct Sums4 {
    __m256d L, mu1, mu2, k1, k2, muk;
};

#define AVX2_FN __attribute__((target("avx2"))) inline

template <int W>
AVX2_FN Sums4 load_tip(const ChildSums& t) {
    const __m256d z = _mm256_setzero_pd();
    Sums4 s{_mm256_loadu_pd(t.L), z, z, z, z, z};
    if constexpr (has(W, DERIV_MU1)) s.mu1 = _mm256_loadu_pd(t.mu1);
    if constexpr (has(W, DERIV_MU2)) s.mu2 = _mm256_loadu_pd(t.mu2);
    if constexpr (has(W, DERIV_K1)) s.k1 = _mm256_loadu_pd(t.k1);
    if constexpr (has(W, DERIV_K2)) s.k2 = _mm256_loadu_pd(t.k2);
    if constexpr (has(W, DERIV_MUK)) s.muk = _mm256_loadu_pd(t.muk);
    return s;
}

// The terms of child_sums and of the product rule, each in the plain form's order.
// s + (d L + P D): a first derivative's term of the sum over j.
AVX2_FN __m256d first_term(__m256d s, __m256d d, __m256d L, __m256d P, __m256d D) {
    return _mm256_add_pd(s, _mm256_add_pd(_mm256_mul_pd(d, L), _mm256_mul_pd(P, D)));
}
// s + ((dd L + (2 d) D) + P DD): a second derivative's term.
AVX2_FN __m256d second_term(__m256d s, __m256d dd, __m256d d, __m256d L, __m256d P, __m256d D,
                            __m256d DD) {
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256d t = _mm256_add_pd(_mm256_mul_pd(dd, L), _mm256_mul_pd(_mm256_mul_pd(two, d), D));
    return _mm256_add_pd(s, _mm256_add_pd(t, _mm256_mul_pd(P, DD)));
}
// x' y + x y'
AVX2_FN __m256d product_first(__m256d xd, __m256d yL, __m256d xL, __m256d yd) {
    return _mm256_add_pd(_mm256_mul_pd(xd, yL), _mm256_mul_pd(xL, yd));
}
// (x'' y + (2 x') y') + x y''
AVX2_FN __m256d product_second(__m256d xdd, __m256d yL, __m256d xd, __m256d yd, __m256d xL,
                               __m256d ydd) {
    const __m256d two = _mm256_set1_pd(2.0);
    return _mm256_add_pd(
        _mm256_add_pd(_mm256_mul_pd(xdd, yL), _mm256_mul_pd(_mm256_mul_pd(two, xd), yd)),
        _mm256_mul_pd(xL, ydd));
}

// child_sums four parent states at a time, term by term in the same order.
template <int W>
AVX2_FN Sums4 inner_sums(const BranchTerms& B, const DerivRows& c, std::size_t o) {
    const __m256d z = _mm256_setzero_pd();
    Sums4 s{z, z, z, z, z, z};
    for (int j = 0; j < 4; ++j) {
        const __m256d L = _mm256_broadcast_sd(c.L + o + j);
        __m256d D1 = z, D2 = z, K1 = z, K2 = z, MK = z;
        if constexpr (has(W, DERIV_MU1)) D1 = _mm256_broadcast_sd(c.mu1 + o + j);
        if constexpr (has(W, DERIV_MU2)) D2 = _mm256_broadcast_sd(c.mu2 + o + j);
        if constexpr (has(W, DERIV_K1)) K1 = _mm256_broadcast_sd(c.k1 + o + j);
        if constexpr (has(W, DERIV_K2)) K2 = _mm256_broadcast_sd(c.k2 + o + j);
        if constexpr (has(W, DERIV_MUK)) MK = _mm256_broadcast_sd(c.muk + o + j);
        const __m256d P = _mm256_loadu_pd(B.P + 4 * j);
        s.L = _mm256_add_pd(s.L, _mm256_mul_pd(P, L));
        __m256d dm = z, dk = z;
        if constexpr (has(W, DERIV_MU1)) {
            dm = _mm256_loadu_pd(B.mu1 + 4 * j);
            s.mu1 = first_term(s.mu1, dm, L, P, D1);
        }
        if constexpr (has(W, DERIV_MU2))
            s.mu2 = second_term(s.mu2, _mm256_loadu_pd(B.mu2 + 4 * j), dm, L, P, D1, D2);
        if constexpr (has(W, DERIV_K1)) {
            dk = _mm256_loadu_pd(B.k1 + 4 * j);
            s.k1 = first_term(s.k1, dk, L, P, K1);
        }
        if constexpr (has(W, DERIV_K2))
            s.k2 = second_term(s.k2, _mm256_loadu_pd(B.k2 + 4 * j), dk, L, P, K1, K2);
        if constexpr (has(W, DERIV_MUK)) {
            const __m256d dmk = _mm256_loadu_pd(B.muk + 4 * j);
            __m256d t = _mm256_add_pd(_mm256_mul_pd(dmk, L), _mm256_mul_pd(dm, K1));
            t = _mm256_add_pd(t, _mm256_mul_pd(dk, D1));
            s.muk = _mm256_add_pd(s.muk, _mm256_add_pd(t, _mm256_mul_pd(P, MK)));
        }
    }
    return s;
}

template <int W>
__attribute__((target("avx2"))) void avx2_form(int npat, const DerivChild& a,
                                               const DerivChild& b, const DerivRows& rv) {
    const __m256d threshold = _mm256_set1_pd(kScaleThreshold);
    const __m256d factor = _mm256_set1_pd(kScaleFactor);
    for (int p = 0; p < npat; ++p) {
        const std::size_t o = 4 * static_cast<std::size_t>(p);
        const Sums4 x = a.tip != nullptr ? load_tip<W>(a.tip[a.code[p]]) : inner_sums<W>(*a.B, a.rows, o);
        const Sums4 y = b.tip != nullptr ? load_tip<W>(b.tip[b.code[p]]) : inner_sums<W>(*b.B, b.rows, o);
        __m256d L = _mm256_mul_pd(x.L, y.L);
        __m256d mu1{}, mu2{}, k1{}, k2{}, muk{};
        if constexpr (has(W, DERIV_MU1)) mu1 = product_first(x.mu1, y.L, x.L, y.mu1);
        if constexpr (has(W, DERIV_MU2)) mu2 = product_second(x.mu2, y.L, x.mu1, y.mu1, x.L, y.mu2);
        if constexpr (has(W, DERIV_K1)) k1 = product_first(x.k1, y.L, x.L, y.k1);
        if constexpr (has(W, DERIV_K2)) k2 = product_second(x.k2, y.L, x.k1, y.k1, x.L, y.k2);
        if constexpr (has(W, DERIV_MUK)) {
            __m256d t = _mm256_add_pd(_mm256_mul_pd(x.muk, y.L), _mm256_mul_pd(x.mu1, y.k1));
            t = _mm256_add_pd(t, _mm256_mul_pd(x.k1, y.mu1));
            muk = _mm256_add_pd(t, _mm256_mul_pd(x.L, y.muk));
        }
        // An ordered less-than, false for NaN, as the plain comparison is.
        const int step = _mm256_movemask_pd(_mm256_cmp_pd(L, threshold, _CMP_LT_OQ)) == 15;
        if (step != 0) {
            L = _mm256_mul_pd(L, factor);
            if constexpr (has(W, DERIV_MU1)) mu1 = _mm256_mul_pd(mu1, factor);
            if constexpr (has(W, DERIV_MU2)) mu2 = _mm256_mul_pd(mu2, factor);
            if constexpr (has(W, DERIV_K1)) k1 = _mm256_mul_pd(k1, factor);
            if constexpr (has(W, DERIV_K2)) k2 = _mm256_mul_pd(k2, factor);
            if constexpr (has(W, DERIV_MUK)) muk = _mm256_mul_pd(muk, factor);
        }
        int k = step;
        if (a.tip == nullptr) k += a.rows.scale[p];
        if (b.tip == nullptr) k += b.rows.scale[p];
        rv.scale[p] = k;
        _mm256_storeu_pd(rv.L + o, L);
        if constexpr (has(W, DERIV_MU1)) _mm256_storeu_pd(rv.mu1 + o, mu1);
        if constexpr (has(W, DERIV_MU2)) _mm256_storeu_pd(rv.mu2 + o, mu2);
        if constexpr (has(W, DERIV_K1)) _mm256_storeu_pd(rv.k1 + o, k1);
        if constexpr (has(W, DERIV_K2)) _mm256_storeu_pd(rv.k2 + o, k2);
        if constexpr (has(W, DERIV_MUK)) _mm256_storeu_pd(rv.muk + o, muk);
    }
}

#undef AVX2_FN

#endif

// Calls f.template operator()<W>() for the derivative set `which`; only sets that hold
// their prerequisites are instantiated.
template <int W = 0, class F>
void with_set(int which, F&& f) {
    if constexpr (W <= 31) {
        constexpr bool closed = (!has(W, DERIV_MU2) || has(W, DERIV_MU1)) &&
                                (!has(W, DERIV_K2) || has(W, DERIV_K1)) &&
                                (!has(W, DERIV_MUK) || (has(W, DERIV_MU1) && has(W, DERIV_K1)));
        if constexpr (closed) {
            if (which == W) {
                f.template operator()<W>();
                return;
            }
        }
        with_set<W + 1>(which, f);
    }
}

}  // namespace

void tip_child_sums(int which, const BranchTerms& B, const double* states, ChildSums* tip) {
    with_set(which, [&]<int W>() { tip_child_sums_for<W>(B, states, tip); });
}

void node_derivatives_plain(int which, int npat, const DerivChild& a, const DerivChild& b,
                            const DerivRows& v) {
    with_set(which, [&]<int W>() { plain_form<W>(npat, a, b, v); });
}

bool node_derivatives_avx2(int which, int npat, const DerivChild& a, const DerivChild& b,
                           const DerivRows& v) {
#ifdef NODE_DERIVATIVES_AVX2
    if (!cpu_has_avx2()) return false;
    with_set(which, [&]<int W>() { avx2_form<W>(npat, a, b, v); });
    return true;
#else
    (void)which, (void)npat, (void)a, (void)b, (void)v;
    return false;
#endif
}

void node_derivatives(int which, int npat, const DerivChild& a, const DerivChild& b,
                      const DerivRows& v) {
    if (!node_derivatives_avx2(which, npat, a, b, v)) node_derivatives_plain(which, npat, a, b, v);
}
