// The two-child product over all patterns, in a plain form and an AVX2 form picked when
// the program runs, each specialised for leaf children. The arithmetic is the same in both,
// operation by operation (no fused multiply-adds: contraction is off), so they give the
// same bits and the programs print the same results on any x86-64.
#include "engine/node_product.hpp"

#include "engine/likelihood_constants.hpp"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define NODE_PRODUCT_AVX2 1
#include <immintrin.h>
#endif

void tip_sums(const double* Q, const double* states, double* tip, int ncat) {
    for (int code = 0; code < 16; ++code) {
        const double* l = states + 4 * code;
        for (int c = 0; c < ncat; ++c) {
            const double* Qc = Q + 16 * c;
            for (int a = 0; a < 4; ++a) {
                double s = 0.0;
                s += Qc[a] * l[0];
                s += Qc[4 + a] * l[1];
                s += Qc[8 + a] * l[2];
                s += Qc[12 + a] * l[3];
                tip[4 * (code * ncat + c) + a] = s;
            }
        }
    }
}

// The four sums of one child at one pattern and category `cat` of ncat, for parent states
// a = A, G, C, T.
template <bool Tip>
static inline void category_sums_plain(const ChildInput& c, int p, int cat, int ncat, double* s) {
    if constexpr (Tip) {
        const double* t = c.tip + 4 * (c.code[p] * ncat + cat);
        for (int a = 0; a < 4; ++a) s[a] = t[a];
    } else {
        const double* l = c.x + 4 * (p * ncat + cat);
        const double* Q = c.Q + 16 * cat;
        for (int a = 0; a < 4; ++a) {
            double v = 0.0;
            v += Q[a] * l[0];
            v += Q[4 + a] * l[1];
            v += Q[8 + a] * l[2];
            v += Q[12 + a] * l[3];
            s[a] = v;
        }
    }
}

// Without rate categories: category 0 of 1.
template <bool Tip>
static inline void child_sums_plain(const ChildInput& c, int p, double* s) {
    category_sums_plain<Tip>(c, p, 0, 1, s);
}

template <bool Tip0, bool Tip1>
static void product_plain(int npat, const ChildInput& c0, const ChildInput& c1,
                          double* __restrict out, int* __restrict kv) {
    for (int p = 0; p < npat; ++p) {
        double s0[4], s1[4], r[4];
        child_sums_plain<Tip0>(c0, p, s0);
        child_sums_plain<Tip1>(c1, p, s1);
        for (int a = 0; a < 4; ++a) r[a] = s0[a] * s1[a];
        const int small = rescale_pattern(r);
        for (int a = 0; a < 4; ++a) out[4 * p + a] = r[a];
        // A leaf's counts are always zero.
        int k = small;
        if constexpr (!Tip0) k += c0.k[p];
        if constexpr (!Tip1) k += c1.k[p];
        kv[p] = k;
    }
}

// With rate categories: the same sums and products category by category; a pattern is
// scaled when every entry of every category is below the threshold.
template <bool Tip0, bool Tip1>
static void categories_plain(int npat, int ncat, const ChildInput& c0, const ChildInput& c1,
                             double* __restrict out, int* __restrict kv) {
    const int width = 4 * ncat;
    for (int p = 0; p < npat; ++p) {
        double* r = out + static_cast<long>(p) * width;
        bool small = true;
        for (int cat = 0; cat < ncat; ++cat) {
            double s0[4], s1[4];
            category_sums_plain<Tip0>(c0, p, cat, ncat, s0);
            category_sums_plain<Tip1>(c1, p, cat, ncat, s1);
            for (int a = 0; a < 4; ++a) {
                r[4 * cat + a] = s0[a] * s1[a];
                small = small && r[4 * cat + a] < kScaleThreshold;
            }
        }
        if (small)
            for (int e = 0; e < width; ++e) r[e] *= kScaleFactor;
        int k = small ? 1 : 0;
        if constexpr (!Tip0) k += c0.k[p];
        if constexpr (!Tip1) k += c1.k[p];
        kv[p] = k;
    }
}

void node_product_plain(int npat, int ncat, const ChildInput& c0, const ChildInput& c1, double* out,
                        int* kv) {
    const bool t0 = c0.code != nullptr, t1 = c1.code != nullptr;
    if (ncat > 1) {
        if (t0 && t1)
            categories_plain<true, true>(npat, ncat, c0, c1, out, kv);
        else if (t0)
            categories_plain<true, false>(npat, ncat, c0, c1, out, kv);
        else if (t1)
            categories_plain<false, true>(npat, ncat, c0, c1, out, kv);
        else
            categories_plain<false, false>(npat, ncat, c0, c1, out, kv);
        return;
    }
    if (t0 && t1)
        product_plain<true, true>(npat, c0, c1, out, kv);
    else if (t0)
        product_plain<true, false>(npat, c0, c1, out, kv);
    else if (t1)
        product_plain<false, true>(npat, c0, c1, out, kv);
    else
        product_plain<false, false>(npat, c0, c1, out, kv);
}

#ifdef NODE_PRODUCT_AVX2

// The matrix's four columns, loaded once per node.
struct Columns {
    __m256d q0, q1, q2, q3;
};

__attribute__((target("avx2"))) static inline Columns load_columns(const double* Q) {
    return Columns{_mm256_loadu_pd(Q), _mm256_loadu_pd(Q + 4), _mm256_loadu_pd(Q + 8),
                   _mm256_loadu_pd(Q + 12)};
}

// The same sums as child_sums_plain, four states at a time: ((((0 + q0 l0) + q1 l1) + q2 l2)
// + q3 l3). The leading 0.0 is kept, as in the plain form, so that a -0.0 product comes out
// as +0.0 in both.
template <bool Tip>
__attribute__((target("avx2"))) static inline __m256d child_sums_avx2(const ChildInput& c,
                                                                      const Columns& m, int p) {
    if constexpr (Tip) {
        return _mm256_loadu_pd(c.tip + 4 * c.code[p]);
    } else {
        const double* l = c.x + 4 * p;
        __m256d s = _mm256_add_pd(_mm256_setzero_pd(), _mm256_mul_pd(m.q0, _mm256_broadcast_sd(l)));
        s = _mm256_add_pd(s, _mm256_mul_pd(m.q1, _mm256_broadcast_sd(l + 1)));
        s = _mm256_add_pd(s, _mm256_mul_pd(m.q2, _mm256_broadcast_sd(l + 2)));
        s = _mm256_add_pd(s, _mm256_mul_pd(m.q3, _mm256_broadcast_sd(l + 3)));
        return s;
    }
}

template <bool Tip0, bool Tip1>
__attribute__((target("avx2"))) static void product_avx2(int npat, const ChildInput& c0,
                                                         const ChildInput& c1,
                                                         double* __restrict out,
                                                         int* __restrict kv) {
    Columns m0{}, m1{};
    if constexpr (!Tip0) m0 = load_columns(c0.Q);
    if constexpr (!Tip1) m1 = load_columns(c1.Q);
    const __m256d threshold = _mm256_set1_pd(kScaleThreshold);
    const __m256d factor = _mm256_set1_pd(kScaleFactor);
    for (int p = 0; p < npat; ++p) {
        __m256d r = _mm256_mul_pd(child_sums_avx2<Tip0>(c0, m0, p), child_sums_avx2<Tip1>(c1, m1, p));
        // An ordered less-than, false for NaN, as the plain comparison is.
        const int small = _mm256_movemask_pd(_mm256_cmp_pd(r, threshold, _CMP_LT_OQ)) == 15;
        if (small) r = _mm256_mul_pd(r, factor);
        _mm256_storeu_pd(out + 4 * p, r);
        int k = small;
        if constexpr (!Tip0) k += c0.k[p];
        if constexpr (!Tip1) k += c1.k[p];
        kv[p] = k;
    }
}

template <bool Tip>
__attribute__((target("avx2"))) static inline __m256d category_sums_avx2(const ChildInput& c, int p,
                                                                         int cat, int ncat) {
    if constexpr (Tip) {
        return _mm256_loadu_pd(c.tip + 4 * (c.code[p] * ncat + cat));
    } else {
        const double* l = c.x + 4 * (p * ncat + cat);
        const double* Q = c.Q + 16 * cat;
        __m256d s = _mm256_add_pd(_mm256_setzero_pd(),
                                  _mm256_mul_pd(_mm256_loadu_pd(Q), _mm256_broadcast_sd(l)));
        s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_loadu_pd(Q + 4), _mm256_broadcast_sd(l + 1)));
        s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_loadu_pd(Q + 8), _mm256_broadcast_sd(l + 2)));
        s = _mm256_add_pd(s, _mm256_mul_pd(_mm256_loadu_pd(Q + 12), _mm256_broadcast_sd(l + 3)));
        return s;
    }
}

template <bool Tip0, bool Tip1>
__attribute__((target("avx2"))) static void categories_avx2(int npat, int ncat, const ChildInput& c0,
                                                            const ChildInput& c1,
                                                            double* __restrict out,
                                                            int* __restrict kv) {
    const __m256d threshold = _mm256_set1_pd(kScaleThreshold);
    const __m256d factor = _mm256_set1_pd(kScaleFactor);
    const int width = 4 * ncat;
    for (int p = 0; p < npat; ++p) {
        double* r = out + static_cast<long>(p) * width;
        int small = 1;
        for (int cat = 0; cat < ncat; ++cat) {
            const __m256d v = _mm256_mul_pd(category_sums_avx2<Tip0>(c0, p, cat, ncat),
                                            category_sums_avx2<Tip1>(c1, p, cat, ncat));
            small &= _mm256_movemask_pd(_mm256_cmp_pd(v, threshold, _CMP_LT_OQ)) == 15;
            _mm256_storeu_pd(r + 4 * cat, v);
        }
        if (small)
            for (int cat = 0; cat < ncat; ++cat)
                _mm256_storeu_pd(r + 4 * cat, _mm256_mul_pd(_mm256_loadu_pd(r + 4 * cat), factor));
        int k = small;
        if constexpr (!Tip0) k += c0.k[p];
        if constexpr (!Tip1) k += c1.k[p];
        kv[p] = k;
    }
}

bool node_product_avx2(int npat, int ncat, const ChildInput& c0, const ChildInput& c1, double* out,
                       int* kv) {
    if (!cpu_has_avx2()) return false;
    const bool t0 = c0.code != nullptr, t1 = c1.code != nullptr;
    if (ncat > 1) {
        if (t0 && t1)
            categories_avx2<true, true>(npat, ncat, c0, c1, out, kv);
        else if (t0)
            categories_avx2<true, false>(npat, ncat, c0, c1, out, kv);
        else if (t1)
            categories_avx2<false, true>(npat, ncat, c0, c1, out, kv);
        else
            categories_avx2<false, false>(npat, ncat, c0, c1, out, kv);
        return true;
    }
    if (t0 && t1)
        product_avx2<true, true>(npat, c0, c1, out, kv);
    else if (t0)
        product_avx2<true, false>(npat, c0, c1, out, kv);
    else if (t1)
        product_avx2<false, true>(npat, c0, c1, out, kv);
    else
        product_avx2<false, false>(npat, c0, c1, out, kv);
    return true;
}

bool cpu_has_avx2() {
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

#else

bool node_product_avx2(int, int, const ChildInput&, const ChildInput&, double*, int*) { return false; }

bool cpu_has_avx2() { return false; }

#endif

void node_product(int npat, int ncat, const ChildInput& c0, const ChildInput& c1, double* out, int* kv) {
    if (!node_product_avx2(npat, ncat, c0, c1, out, kv)) node_product_plain(npat, ncat, c0, c1, out, kv);
}
