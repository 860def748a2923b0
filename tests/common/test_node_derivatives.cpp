// The derivative pass's node update: the AVX2 and plain forms must agree to the bit for
// every derivative set, and a leaf child looked up by code must give exactly what its rows
// (the code's vector, derivative entries zero) give.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "engine/likelihood.hpp"
#include "engine/likelihood_constants.hpp"
#include "engine/node_derivatives.hpp"

namespace {

constexpr int kPatterns = 97;
constexpr int kSets[] = {1,
                         DERIV_MU1 | DERIV_MU2,
                         DERIV_K1,
                         DERIV_K1 | DERIV_K2,
                         DERIV_MU1 | DERIV_K1,
                         DERIV_MU1 | DERIV_MU2 | DERIV_K1 | DERIV_K2 | DERIV_MUK,
                         DERIV_MU1 | DERIV_K1 | DERIV_MUK};

struct Rows {
    std::vector<double> t[6];  // L, mu1, mu2, k1, k2, muk
    std::vector<int> scale;
    Rows() {
        for (auto& v : t) v.assign(4 * kPatterns, 0.0);
        scale.assign(kPatterns, 0);
    }
    DerivRows view() {
        return DerivRows{t[0].data(), t[1].data(), t[2].data(), t[3].data(), t[4].data(),
                         t[5].data(), scale.data()};
    }
    bool same_bits(const Rows& o, int which) const {
        const int bits[6] = {0, DERIV_MU1, DERIV_MU2, DERIV_K1, DERIV_K2, DERIV_MUK};
        for (int k = 0; k < 6; ++k)
            if ((k == 0 || (which & bits[k])) &&
                std::memcmp(t[k].data(), o.t[k].data(), t[k].size() * sizeof(double)) != 0)
                return false;
        return scale == o.scale;
    }
};

void fill_terms(std::mt19937_64& g, BranchTerms& B) {
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (double& x : B.P) x = std::fabs(u(g)) * std::ldexp(1.0, -static_cast<int>(g() % 30));
    for (double* m : {B.mu1, B.mu2, B.k1, B.k2, B.muk})
        for (int k = 0; k < 16; ++k) m[k] = u(g);
}

// Partials over many magnitudes, some patterns tiny enough for the product to be scaled,
// derivative entries of either sign.
void fill_inner(std::mt19937_64& g, Rows& r) {
    std::uniform_real_distribution<double> u(0.5, 1.0), s(-1.0, 1.0);
    for (int p = 0; p < kPatterns; ++p) {
        const int shift = g() % 3 == 0 ? 125 + static_cast<int>(g() % 8) : static_cast<int>(g() % 40);
        for (int a = 0; a < 4; ++a) {
            r.t[0][4 * p + a] = g() % 7 == 0 ? 0.0 : std::ldexp(u(g), -shift);
            for (int k = 1; k < 6; ++k) r.t[k][4 * p + a] = std::ldexp(s(g), -shift);
        }
        r.scale[p] = static_cast<int>(g() % 4);
    }
}

TEST(NodeDerivatives, BothFormsAndTheLeafLookupGiveTheSameBits) {
    reset_likelihood_tables(4, 1);  // fills the code vectors
    std::mt19937_64 g(8122026);
    const bool avx2 = __builtin_cpu_supports("avx2");
    for (int which : kSets) {
        for (int round = 0; round < 10; ++round) {
            BranchTerms Ba, Bb;
            fill_terms(g, Ba);
            fill_terms(g, Bb);
            Rows inner_a, inner_b, leaf_rows;
            fill_inner(g, inner_a);
            fill_inner(g, inner_b);
            std::vector<unsigned char> codes(kPatterns);
            for (int p = 0; p < kPatterns; ++p) {
                codes[p] = static_cast<unsigned char>(g() % 16);
                for (int a = 0; a < 4; ++a) leaf_rows.t[0][4 * p + a] = lik.tip_states[4 * codes[p] + a];
            }
            ChildSums tip[16];
            tip_child_sums(which, Bb, lik.tip_states, tip);

            DerivChild a{&Ba, inner_a.view()};
            DerivChild b_inner{&Bb, inner_b.view()};
            DerivChild b_row{&Bb, leaf_rows.view()};
            DerivChild b_tip{&Bb, DerivRows{}, codes.data(), tip};
            for (const DerivChild* b : {&b_inner, &b_tip}) {
                Rows plain, vec;
                node_derivatives_plain(which, kPatterns, a, *b, plain.view());
                if (avx2) {
                    ASSERT_TRUE(node_derivatives_avx2(which, kPatterns, a, *b, vec.view()));
                    EXPECT_TRUE(vec.same_bits(plain, which)) << "set " << which << " round " << round;
                    // The leaf in either position.
                    Rows swapped;
                    ASSERT_TRUE(node_derivatives_avx2(which, kPatterns, *b, a, swapped.view()));
                    Rows swapped_plain;
                    node_derivatives_plain(which, kPatterns, *b, a, swapped_plain.view());
                    EXPECT_TRUE(swapped.same_bits(swapped_plain, which)) << "set " << which;
                }
                if (b == &b_tip) {
                    Rows through_row;
                    node_derivatives_plain(which, kPatterns, a, b_row, through_row.view());
                    EXPECT_TRUE(plain.same_bits(through_row, which)) << "set " << which;
                }
            }
        }
    }
}

}  // namespace
