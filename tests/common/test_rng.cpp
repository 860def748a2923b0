#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "base/rng.hpp"
#include "support.hpp"

namespace {

constexpr int64_t kM1 = 2147483563, kM2 = 2147483399;

// Sample mean and variance of n draws, with the standard errors of both.
struct Moments {
    double mean, var, se_mean, se_var;
};
template <typename Draw>
Moments sample(int n, Draw draw) {
    std::vector<double> x(n);
    double sum = 0;
    for (double& v : x) sum += (v = draw());
    const double mean = sum / n;
    double m2 = 0, m4 = 0;
    for (double v : x) {
        const double d = (v - mean) * (v - mean);
        m2 += d;
        m4 += d * d;
    }
    m2 /= n;
    m4 /= n;
    return {mean, m2, std::sqrt(m2 / n), std::sqrt((m4 - m2 * m2) / n)};
}
void expect_moments(const Moments& m, double mean, double var, const char* what) {
    EXPECT_NEAR(m.mean, mean, 5 * m.se_mean) << what;
    EXPECT_NEAR(m.var, var, 5 * m.se_var) << what;
}

// Upper normal quantile: x with P(X > x) = q.
double upper_quantile(double q) {
    double lo = 0, hi = 40;
    for (int k = 0; k < 200; ++k) {
        const double mid = 0.5 * (lo + hi);
        (0.5 * std::erfc(mid / std::sqrt(2.0)) > q ? lo : hi) = mid;
    }
    return lo;
}
// The published tables give seven significant digits.
void expect_7_digits(double table, double exact, const char* what, int i) {
    const double unit =
        exact == 0 ? 0 : std::pow(10.0, std::floor(std::log10(std::fabs(exact))) - 6);
    EXPECT_LE(std::fabs(table - exact), 0.5001 * unit) << what << "(" << i << ")";
}

}  // namespace

TEST(Rng, MultiplyWithCarry) {
    int32_t x = 0, y = 0;
    EXPECT_EQ(mwc_next(x, y), 0.5);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    // One word for both: y is computed from the new x and then overwrites it.
    int32_t w = -1;  // arithmetic shift: 30903 * 65535 - 1
    const int32_t x1 = 30903 * 65535 - 1;
    const uint32_t y1 = 18000u * (static_cast<uint32_t>(x1) & 65535u) + (x1 >> 16);
    const double r = mwc_next(w, w);
    EXPECT_EQ(w, static_cast<int32_t>(y1));
    EXPECT_EQ(r, static_cast<int32_t>(y1 * 65536u + y1) / 4294967296.0 + 0.5);
}

TEST(Rng, CombinedGenerator) {
    const int32_t seeds[][2] = {{1, 1}, {12345, 67890}, {1, 1000000}, {2147483562, 2147483398}};
    for (const auto& s : seeds) {
        reset_all_state();
        seed_all(s[0], s[1]);
        int64_t z = (40014 * int64_t{s[0]}) % kM1 - (40692 * int64_t{s[1]}) % kM2;
        if (z < 1) z += kM1 - 1;
        EXPECT_EQ(next_combined(), z) << s[0] << " " << s[1];
    }

    // Generator g + 1 starts 2^50 steps after generator g; a block is 2^30 steps.
    int32_t a50 = 40014, b50 = 40692, a30 = 0, b30 = 0;
    for (int k = 1; k <= 50; ++k) {
        a50 = mltmod(a50, a50, kM1);
        b50 = mltmod(b50, b50, kM2);
        if (k == 30) a30 = a50, b30 = b50;
    }
    reset_all_state();
    seed_all(777, 888);
    EXPECT_EQ(rng.ig1[2], mltmod(a50, 777, kM1));
    EXPECT_EQ(rng.ig2[32], mltmod(b50, rng.ig2[31], kM2));
    int32_t g = 0;
    GSCGN(0, &g);
    EXPECT_EQ(g, 1);
    const int32_t first = next_combined();
    next_combined();
    INITGN(-1);
    EXPECT_EQ(next_combined(), first);
    INITGN(1);
    EXPECT_EQ(rng.cg1[1], mltmod(a30, 777, kM1));
    EXPECT_EQ(rng.cg2[1], mltmod(b30, 888, kM2));

    // Drawing unseeded uses the default seeds.
    reset_all_state();
    const int32_t unseeded = next_combined();
    reset_all_state();
    seed_all(1234567890, 123456789);
    EXPECT_EQ(next_combined(), unseeded);

    for (int k = 0; k < 200000; ++k) {
        const double u = uniform01();
        ASSERT_GT(u, 0.0);
        ASSERT_LT(u, 1.0);
    }
    EXPECT_LT((kM1 - 1) * 4.656613057e-10, 1.0);
}

TEST(RngDeathTest, Aborts) {
    reset_all_state();
    const std::string mltmod_tail = "\n mltmod requires: 0 < a < m; 0 < s < m";
    EXPECT_EXIT(seed_all(0, 1), ::testing::ExitedWithCode(1),
                ::testing::Eq(" a, m, s out of order in mltmod - ABORT! a =   2082007225 s = "
                              "           0 m =   2147483563" + mltmod_tail));
    EXPECT_EXIT(seed_all(-5, 1), ::testing::ExitedWithCode(1), "s = +-5 m");
    EXPECT_EXIT(seed_all(1, 2147483399), ::testing::ExitedWithCode(1),
                "a =    784306273 s =   2147483399 m =   2147483399");
    EXPECT_EXIT(GENBET(0.0f, 2.0f), ::testing::ExitedWithCode(1),
                ::testing::Eq(std::string(" AA or BB <= 0 in GENBET - Abort! AA:     0.000000E+00"
                                          " BB     2.000000E+00\n")));
    int32_t g = 33;
    EXPECT_EXIT(GSCGN(1, &g), ::testing::ExitedWithCode(1),
                ::testing::Eq(std::string(" Generator number out of range in GSCGN")));
    reset_all_state();
    EXPECT_EXIT(INITGN(-1), ::testing::ExitedWithCode(1), "INITGN called before");
    seed_all(1, 1);
    EXPECT_EXIT(INITGN(2), ::testing::ExitedWithCode(1),
                ::testing::Eq(std::string("isdtyp not in range in INITGN\n")));
}

TEST(Rng, CoefficientTables) {
    double term = 1, sum = 0;
    for (int k = 1; k <= 8; ++k) {
        term *= std::log(2.0) / k;
        sum += term;
        expect_7_digits(kExpQ[k], sum, "SA q", k);
    }
    double a[33];
    for (int i = 1; i <= 32; ++i) {
        a[i] = i == 1 ? 0 : upper_quantile((33 - i) / 64.0);
        expect_7_digits(kNormA[i], a[i], "FL a", i);
    }
    for (int i = 1; i <= 31; ++i) {
        const double t = (a[i + 1] * a[i + 1] - a[i] * a[i]) / 2;
        expect_7_digits(kNormT[i], t, "FL t", i);
        expect_7_digits(kNormH[i], (a[i + 1] - a[i]) / (1 - t), "FL h", i);
    }
    for (int i = 6; i <= 32; ++i)
        expect_7_digits(kNormD[i], upper_quantile(std::ldexp(1.0, -(i + 1))) -
                                       upper_quantile(std::ldexp(1.0, -i)), "FL d", i);
    // GD polynomials against the functions they approximate.
    for (double r = 1; r <= 51; r += 0.5) {
        double q0 = 0;
        for (int k = 7; k >= 1; --k) q0 = (q0 + kGamQ[k]) / r;
        const double s2 = r - 0.5, half_log_2pi = std::log(2 * std::numbers::pi) / 2;
        EXPECT_NEAR(q0, s2 * std::log(s2) - s2 + half_log_2pi - std::lgamma(r), 4e-8);
    }
    for (int j = -25; j <= 25; ++j) {
        const double v = j / 100.0, q = (j + 26) / 102.0;  // |v| <= 0.25, 0 < q <= 0.5
        double p = 0, e = 0;
        for (int k = 7; k >= 1; --k) p = (p + kGamA[k]) * v;
        if (j != 0) {
            EXPECT_NEAR(p, (std::log1p(v) - v + v * v / 2) / (v * v), 4e-8) << v;
        }
        for (int k = 5; k >= 1; --k) e = (e + kGamE[k]) * q;
        EXPECT_NEAR(e / std::expm1(q), 1.0, 2.1e-7) << q;
    }
}

TEST(Rng, BetaVariates) {
    reset_all_state();
    seed_all(4711, 815);
    // Shapes on both sides of 1; BB needs both above 1, (1, 1) must take BC. Calls alternate
    // so that the kept set-up is recomputed and reused.
    const float shapes[][2] = {{0.3f, 2}, {2, 0.3f}, {0.5f, 0.5f}, {3, 5},
                               {5, 3},    {1, 1},    {1.5f, 40}};
    for (const auto& sh : shapes) {
        const double a = sh[0], b = sh[1];
        int k = 0;
        const Moments m = sample(20000, [&] {
            if (k++ % 3 == 0) GENBET(sh[0], 0.7f);  // one shape changes
            return GENBET(sh[0], sh[1]);
        });
        const std::string what = "beta(" + std::to_string(a) + ", " + std::to_string(b) + ")";
        expect_moments(m, a / (a + b), a * b / ((a + b) * (a + b) * (a + b + 1)), what.c_str());
    }
}

TEST(Rng, GammaAndBaseVariates) {
    reset_all_state();
    seed_all(2024, 11);
    const float shapes[] = {0.3f, 0.9f, 1, 2.5f, 7, 20, 100};
    for (const float r : shapes) {
        const float rate = 2;
        int k = 0;
        const Moments m = sample(20000, [&] {
            if (++k % 4 == 0) gen_gamma(1, 5.5f);
            return gen_gamma(rate, r);
        });
        const std::string what = "gamma shape " + std::to_string(r);
        expect_moments(m, r / rate, r / (rate * rate), what.c_str());
    }

    int tail = 0, outside1 = 0;
    const Moments n = sample(50000, [&] {
        const double x = std_normal();
        tail += std::fabs(x) > 2.153875;
        outside1 += std::fabs(x) > 1;
        return x;
    });
    expect_moments(n, 0, 1, "normal");
    EXPECT_NEAR(tail / 50000.0, 1 / 32.0, 5 * std::sqrt(1 / 32.0 * 31 / 32.0 / 50000));
    EXPECT_NEAR(outside1 / 50000.0, 0.3173105, 5 * std::sqrt(0.32 * 0.68 / 50000));

    expect_moments(sample(50000, std_exponential), 1, 1, "exponential");

    // The uniform closest above 1/2 sends the normal's tail search to its last section, d(32).
    const auto inverse = [](int64_t a, int64_t m) {
        int64_t r = 1;
        for (int64_t e = m - 2; e > 0; e >>= 1, a = a * a % m)
            if (e & 1) r = r * a % m;
        return r;
    };
    const int64_t z = 1073741782;
    rng.cg1[1] = static_cast<int32_t>((z + 1) * inverse(40014, kM1) % kM1);
    rng.cg2[1] = static_cast<int32_t>(inverse(40692, kM2));
    const double x = std_normal();
    EXPECT_LE(x, -upper_quantile(std::ldexp(1.0, -32)));
    EXPECT_GE(x, -upper_quantile(std::ldexp(1.0, -33)));
}
