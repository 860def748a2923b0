// The two-child product: the AVX2 and plain forms must agree to the bit, and a leaf child
// looked up by code must give exactly what its row of 0/1 partials gives, or the programs'
// printed results would depend on the processor.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/likelihood.hpp"
#include "engine/node_product.hpp"

namespace {

constexpr int kPatterns = 203;  // not a multiple of any vector width

// Rate categories of the child in hand: 1 (a plain run) or 4 (+G4).
int g_ncat = 1;

struct Child {
    std::vector<double> Q = std::vector<double>(16 * g_ncat);
    std::vector<double> x;
    std::vector<int> k;
    std::vector<unsigned char> code;
    std::vector<double> tip = std::vector<double>(64 * g_ncat);
};

// A column-major matrix with entries spread over many magnitudes, some of them tiny and
// negative as rounding leaves them for very short branches (their products with a 0.0
// partial are -0.0).
void fill_matrix(std::mt19937_64& g, Child& c) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (double& q : c.Q) q = u(g) < 0.1 ? -1e-18 : std::ldexp(u(g), -static_cast<int>(g() % 40));
    // Now and then every entry into one parent state negative: against an all-zero row
    // the sum is then -0.0 + ... and its sign must come out the same in both forms.
    if (g() % 2 == 0) {
        const int a = static_cast<int>(g() % 4), cat = static_cast<int>(g() % g_ncat);
        for (int b = 0; b < 4; ++b) c.Q[16 * cat + 4 * b + a] = -1e-18;
    }
}

// Partials from the whole range the scaling rule meets: zeros, values around 2^-256 on
// both sides, and ordinary ones; some patterns all tiny, so that the product is scaled.
void fill_inner(std::mt19937_64& g, Child& c) {
    fill_matrix(g, c);
    std::uniform_real_distribution<double> u(0.5, 1.0);
    c.x.resize(4 * g_ncat * kPatterns);
    c.k.resize(kPatterns);
    for (int p = 0; p < kPatterns; ++p) {
        const int kind = static_cast<int>(g() % 5);  // 4: all four zero
        for (int a = 0; a < 4 * g_ncat; ++a) {
            double& v = c.x[4 * g_ncat * p + a];
            if (kind == 0)
                v = g() % 3 == 0 ? 0.0 : std::ldexp(u(g), -static_cast<int>(g() % 20));
            else if (kind == 1)
                v = std::ldexp(u(g), -120 - static_cast<int>(g() % 20));
            else if (kind == 2)
                v = std::ldexp(u(g), -128 - static_cast<int>(g() % 3));
            else if (kind == 3)
                v = std::ldexp(u(g), -static_cast<int>(g() % 300));
            else
                v = 0.0;
        }
        c.k[p] = static_cast<int>(g() % 5);
    }
}

void fill_leaf(std::mt19937_64& g, Child& c) {
    fill_matrix(g, c);
    c.code.resize(kPatterns);
    for (unsigned char& code : c.code) code = static_cast<unsigned char>(g() % 16);
    tip_sums(c.Q.data(), lik.tip_states, c.tip.data(), g_ncat);
}

ChildInput input(const Child& c) {
    if (!c.code.empty()) return ChildInput{c.Q.data(), nullptr, nullptr, c.code.data(), c.tip.data()};
    return ChildInput{c.Q.data(), c.x.data(), c.k.data(), nullptr, nullptr};
}

// The same leaf given as an ordinary row of its codes' vectors, counts zero.
Child as_row(const Child& leaf) {
    Child c;
    c.Q = leaf.Q;
    for (unsigned char code : leaf.code)
        for (int cat = 0; cat < g_ncat; ++cat)
            for (int a = 0; a < 4; ++a) c.x.push_back(lik.tip_states[4 * code + a]);
    c.k.assign(kPatterns, 0);
    return c;
}

struct Result {
    std::vector<double> out = std::vector<double>(4 * g_ncat * kPatterns, -1.0);
    std::vector<int> kv = std::vector<int>(kPatterns, -1);
    bool operator==(const Result& o) const {
        return std::memcmp(out.data(), o.out.data(), out.size() * sizeof(double)) == 0 &&
               kv == o.kv;
    }
};

Result plain(const Child& a, const Child& b) {
    Result r;
    node_product_plain(kPatterns, g_ncat, input(a), input(b), r.out.data(), r.kv.data());
    return r;
}

TEST(NodeProduct, BothFormsAndTheLeafLookupGiveTheSameBits) {
  // Without rate categories, and with four (the layout of +G4).
  for (const int ncat : {1, 4}) {
    SCOPED_TRACE(ncat);
    g_ncat = ncat;
    reset_likelihood_tables(4, 1);  // fills the code vectors
    std::mt19937_64 g(20261208);
    const bool avx2 = __builtin_cpu_supports("avx2");
    int scaled = 0;
    for (int round = 0; round < 50; ++round) {
        Child inner0, inner1, leaf0, leaf1;
        fill_inner(g, inner0);
        fill_inner(g, inner1);
        fill_leaf(g, leaf0);
        fill_leaf(g, leaf1);
        const Child row0 = as_row(leaf0), row1 = as_row(leaf1);
        const Child* pairs[][2] = {{&inner0, &inner1}, {&leaf0, &inner1}, {&inner0, &leaf1},
                                   {&leaf0, &leaf1}};
        for (auto& pair : pairs) {
            const Child& a = *pair[0];
            const Child& b = *pair[1];
            const Result p = plain(a, b);
            // A leaf read through its row: what the lookup replaces.
            const Child& ra = a.code.empty() ? a : (&a == &leaf0 ? row0 : row1);
            const Child& rb = b.code.empty() ? b : (&b == &leaf0 ? row0 : row1);
            EXPECT_TRUE(p == plain(ra, rb)) << "round " << round;
            if (avx2) {
                Result v;
                ASSERT_TRUE(node_product_avx2(kPatterns, g_ncat, input(a), input(b), v.out.data(),
                                              v.kv.data()));
                EXPECT_TRUE(v == p) << "round " << round;
            }
            for (int q = 0; q < kPatterns; ++q) {
                int expect = 0;
                if (a.code.empty()) expect += a.k[q];
                if (b.code.empty()) expect += b.k[q];
                scaled += p.kv[q] > expect;
            }
        }
    }
    EXPECT_GT(scaled, 100);  // the scaling branch was exercised
  }
  g_ncat = 1;
}

TEST(NodeProduct, ScalingFollowsTheRule) {
    reset_likelihood_tables(4, 1);
    Child a, b;
    for (int i = 0; i < 16; ++i) a.Q[i] = b.Q[i] = (i % 5 == 0) ? 1.0 : 0.0;  // identity
    a.x = {0x1p-200, 0x1p-200, 0x1p-200, 0x1p-200,   // 2^-400 each: scaled
           0x1p-128, 0x1p-128, 0x1p-128, 0x1p-128,   // exactly 2^-256: not below, kept
           0x1p-200, 0x1p-200, 0x1p-200, 1.0};       // one state large: kept
    b.x = a.x;
    a.k = {1, 2, 3};
    b.k = {4, 5, 6};
    ChildInput ia{a.Q.data(), a.x.data(), a.k.data()}, ib{b.Q.data(), b.x.data(), b.k.data()};
    for (int form = 0; form < 2; ++form) {
        std::vector<double> out(12);
        std::vector<int> kv(3);
        if (form == 0)
            node_product_plain(3, 1, ia, ib, out.data(), kv.data());
        else if (!node_product_avx2(3, 1, ia, ib, out.data(), kv.data()))
            continue;
        EXPECT_EQ(out[0], 0x1p-144) << form;
        EXPECT_EQ(out[4], 0x1p-256) << form;
        EXPECT_EQ(out[11], 1.0) << form;
        EXPECT_EQ(out[8], 0x1p-400) << form;
        EXPECT_EQ(kv, (std::vector<int>{6, 7, 9})) << form;
    }
}

}  // namespace
