// Random numbers. The multiply-with-carry step serves the starting tree; the combined
// L'Ecuyer-Cote generator (32 virtual generators, only generator 1 drawn from) serves the
// search with uniform, beta (Cheng 1978) and gamma (Ahrens-Dieter 1974, 1982) variates,
// the latter built on the exponential (SA, 1972) and normal (FL, 1973) variates.
#include "base/rng.hpp"

#include <cmath>
#include <cstdint>

#include "base/fatal.hpp"

namespace {

constexpr int32_t kNumGen = 32;
constexpr int32_t kM1 = kRngModulus1, kA1 = 40014;
constexpr int32_t kM2 = kRngModulus2, kA2 = 40692;
constexpr int32_t kA1w = 1033780774, kA2w = 1494757890;   // a^(2^30): next block
constexpr int32_t kA1vw = 2082007225, kA2vw = 784306273;  // a^(2^50): next generator

// Reinterprets the low 32 bits as a signed word (two's complement wrap).
int32_t wrap32(uint32_t v) { return static_cast<int32_t>(v); }

// One lag-1 multiply-with-carry step on a signed word: mult * low half + high half.
int32_t mwc_step(int32_t w, uint32_t mult) {
    const uint32_t low = static_cast<uint32_t>(w) & 65535u;
    const uint32_t high = static_cast<uint32_t>(w >> 16);  // arithmetic shift
    return wrap32(mult * low + high);
}

constexpr double kExpMax = 89.0;  // above it a*exp(v) is taken as "infinite"
constexpr double kInfinity = 1.0e38;
constexpr double kLog4 = 1.3862944;

// w = a * exp(v) of Cheng's algorithms, capped for large v.
double cheng_w(double a, double v) { return v > kExpMax ? kInfinity : a * std::exp(v); }

}  // namespace

// ---------------------------------------------------------------------------------------
// Coefficient tables (seven significant digits, as published).

const double kExpQ[10] = {0.0,       0.6931472, 0.9333737, 0.9888778, 0.9984959,
                          0.9998293, 0.9999833, 0.9999986, 0.9999999, 1.0};

const double kNormA[33] = {
    0.0,       0.0,       0.03917609, 0.07841241, 0.1177699, 0.1573107, 0.1970991,
    0.2372021, 0.2776904, 0.3186394,  0.3601299,  0.4022501, 0.4450965, 0.4887764,
    0.5334097, 0.5791322, 0.6260990,  0.6744898,  0.7245144, 0.7764218, 0.8305109,
    0.8871466, 0.9467818, 1.009990,   1.077516,   1.150349,  1.229859,  1.318011,
    1.417797,  1.534121,  1.675940,   1.862732,   2.153875};

// d(32) is not in the published table: single precision uniforms never reach it, but one
// of the combined generator's outputs sends the tail search that far, so it carries the
// same closed form, Phi^-1(1 - 2^-33) - Phi^-1(1 - 2^-32).
const double kNormD[33] = {
    0.0,       0.0,       0.0,       0.0,       0.0,       0.0,       0.2636843,
    0.2425085, 0.2255674, 0.2116342, 0.1999243, 0.1899108, 0.1812252, 0.1736014,
    0.1668419, 0.1607967, 0.1553497, 0.1504094, 0.1459026, 0.1417700, 0.1379632,
    0.1344418, 0.1311722, 0.1281260, 0.1252791, 0.1226109, 0.1201036, 0.1177417,
    0.1155119, 0.1134023, 0.1114027, 0.1095039, 0.1076976};

const double kNormT[32] = {
    0.0,        0.0007673828, 0.002306870, 0.003860618, 0.005438454, 0.007050699,
    0.008708396, 0.01042357,  0.01220953,  0.01408125,  0.01605579,  0.01815290,
    0.02039573, 0.02281177,   0.02543407,  0.02830296,  0.03146822,  0.03499233,
    0.03895483, 0.04345878,   0.04864035,  0.05468334,  0.06184222,  0.07047983,
    0.08113195, 0.09462444,   0.1123001,   0.1364980,   0.1716886,   0.2276241,
    0.3304980,  0.5847031};

const double kNormH[32] = {
    0.0,        0.03920617, 0.03932705, 0.03950999, 0.03975703, 0.04007093, 0.04045533,
    0.04091481, 0.04145507, 0.04208311, 0.04280748, 0.04363863, 0.04458932, 0.04567523,
    0.04691571, 0.04833487, 0.04996298, 0.05183859, 0.05401138, 0.05654656, 0.05953130,
    0.06308489, 0.06737503, 0.07264544, 0.07926471, 0.08781922, 0.09930398, 0.1155599,
    0.1404344,  0.1836142,  0.2790016,  0.7010474};

const double kGamQ[8] = {0.0,        0.04166669, 0.02083148, 0.00801191,
                         0.00144121, -0.00007388, 0.00024511, 0.00024240};
const double kGamA[8] = {0.0,       0.3333333, -0.2500030, 0.2000062,
                         -0.1662921, 0.1423657, -0.1367177, 0.1233795};
const double kGamE[6] = {0.0, 1.0, 0.4999897, 0.1668290, 0.0407753, 0.0102930};

// ---------------------------------------------------------------------------------------
// Multiply-with-carry. When both references name one word, the second step reads the
// word the first one wrote, and the result combines that final value with itself.

double mwc_next(int32_t& x, int32_t& y) {
    x = mwc_step(x, 30903u);
    y = mwc_step(y, 18000u);
    const int32_t z = wrap32((static_cast<uint32_t>(x) << 16) + static_cast<uint32_t>(y));
    return z / 4294967296.0 + 0.5;
}

// ---------------------------------------------------------------------------------------
// Combined generator.

int32_t mltmod(int32_t a, int32_t s, int32_t m) {
    if (a <= 0 || a >= m || s <= 0 || s >= m)
        fatal_stderr(" a, m, s out of order in mltmod - ABORT!"
                     " a = %12ld s = %12ld m = %12ld\n"
                     " mltmod requires: 0 < a < m; 0 < s < m",
                     static_cast<long>(a), static_cast<long>(s), static_cast<long>(m));
    // The product fits in 64 bits, so the residue is exact.
    return static_cast<int32_t>((static_cast<int64_t>(a) * s) % m);
}

void GSCGN(int32_t getset, int32_t* g) {
    if (getset == 0) {
        *g = rng.current;
        return;
    }
    if (*g < 0 || *g > kNumGen) fatal_stderr(" Generator number out of range in GSCGN");
    rng.current = *g;
}

void INITGN(int32_t mode) {
    if (!rng.constants_set)
        fatal_stderr(" INITGN called before random number generator  initialized -- abort!\n");
    int32_t g = 0;
    GSCGN(0, &g);
    if (mode == -1) {
        rng.lg1[g] = rng.ig1[g];
        rng.lg2[g] = rng.ig2[g];
    } else if (mode == 1) {
        rng.lg1[g] = mltmod(kA1w, rng.lg1[g], kM1);
        rng.lg2[g] = mltmod(kA2w, rng.lg2[g], kM2);
    } else if (mode != 0) {
        fatal_stderr("isdtyp not in range in INITGN\n");
    }
    rng.cg1[g] = rng.lg1[g];
    rng.cg2[g] = rng.lg2[g];
}

void seed_all(int32_t s1, int32_t s2) {
    rng.seeded = true;
    int32_t previous = 0;
    GSCGN(0, &previous);
    rng.constants_set = true;  // the constants themselves are compile-time values
    int32_t g = 1;
    GSCGN(1, &g);
    rng.ig1[1] = s1;
    rng.ig2[1] = s2;
    INITGN(-1);
    // Each further generator starts 2^50 steps after the one before; mltmod rejects a seed
    // outside its modulus here.
    for (g = 2; g <= kNumGen; ++g) {
        rng.ig1[g] = mltmod(kA1vw, rng.ig1[g - 1], kM1);
        rng.ig2[g] = mltmod(kA2vw, rng.ig2[g - 1], kM2);
        GSCGN(1, &g);
        INITGN(-1);
    }
    GSCGN(1, &previous);
}

int32_t next_combined() {
    rng.constants_set = true;
    if (!rng.seeded) seed_all(1234567890, 123456789);
    const int32_t g = rng.current;
    int32_t s1 = rng.cg1[g];
    int32_t s2 = rng.cg2[g];
    // Schrage's decomposition keeps a*s mod m within 32 bits for seeds below m.
    int32_t k = s1 / 53668;
    s1 = kA1 * (s1 - k * 53668) - k * 12211;
    if (s1 < 0) s1 += kM1;
    k = s2 / 52774;
    s2 = kA2 * (s2 - k * 52774) - k * 3791;
    if (s2 < 0) s2 += kM2;
    rng.cg1[g] = s1;
    rng.cg2[g] = s2;
    int32_t z = s1 - s2;
    if (z < 1) z += kM1 - 1;
    return z;
}

double uniform01() { return next_combined() * 4.656613057e-10; }

// ---------------------------------------------------------------------------------------
// Beta variates: Cheng's BB when both shapes exceed 1, BC otherwise. The set-up values
// are kept in rng and recomputed only when a shape changes.

double GENBET(float aa, float bb) {
    const bool same = rng.bet_olda == aa && rng.bet_oldb == bb;
    if (!same) {
        if (aa <= 0.0 || bb <= 0.0)
            fatal_stderr(" AA or BB <= 0 in GENBET - Abort!"
                         " AA: %16.6E BB %16.6E\n",
                         static_cast<double>(aa), static_cast<double>(bb));
        rng.bet_olda = aa;
        rng.bet_oldb = bb;
    }
    double& a = rng.bet_a;
    double& b = rng.bet_b;
    double& alpha = rng.bet_alpha;
    double& beta = rng.bet_beta;
    double w = 0.0;

    if ((aa < bb ? aa : bb) > 1.0) {
        // Algorithm BB.
        double& gamma = rng.bet_gamma;
        if (!same) {
            a = aa < bb ? aa : bb;
            b = aa < bb ? bb : aa;
            alpha = a + b;
            beta = std::sqrt((alpha - 2.0) / (2.0 * a * b - alpha));
            gamma = a + 1.0 / beta;
        }
        for (;;) {
            const double u1 = uniform01();
            const double u2 = uniform01();
            const double v = beta * std::log(u1 / (1.0 - u1));
            w = cheng_w(a, v);
            const double z = u1 * u1 * u2;
            const double r = gamma * v - kLog4;
            const double s = a + r - w;
            if (s + 2.609438 >= 5.0 * z) break;
            const double t = std::log(z);
            if (s > t) break;
            if (r + alpha * std::log(alpha / (b + w)) >= t) break;
        }
        return aa == a ? w / (b + w) : b / (b + w);
    }

    // Algorithm BC.
    double& delta = rng.bet_delta;
    double& k1 = rng.bet_k1;
    double& k2 = rng.bet_k2;
    if (!same) {
        a = aa > bb ? aa : bb;
        b = aa > bb ? bb : aa;
        alpha = a + b;
        beta = 1.0 / b;
        delta = 1.0 + a - b;
        k1 = delta * (0.0138889 + 0.0416667 * b) / (a * beta - 0.777778);
        k2 = 0.25 + (0.5 + 0.25 / delta) * b;
    }
    for (;;) {
        const double u1 = uniform01();
        const double u2 = uniform01();
        double z;
        if (u1 < 0.5) {
            const double y = u1 * u2;
            z = u1 * y;
            if (0.25 * u2 + z - y >= k1) continue;
        } else {
            z = u1 * u1 * u2;
            if (z <= 0.25) {
                w = cheng_w(a, beta * std::log(u1 / (1.0 - u1)));
                break;
            }
            if (z >= k2) continue;
        }
        const double v = beta * std::log(u1 / (1.0 - u1));
        w = cheng_w(a, v);
        if (alpha * (std::log(alpha / (b + w)) + v) - kLog4 < std::log(z)) continue;
        break;
    }
    // Here w/(b + w) is beta(a, b) with a the larger shape.
    return aa == a ? w / (b + w) : b / (b + w);
}

// ---------------------------------------------------------------------------------------
// Gamma variates.

double gen_gamma(float a, float r) { return std_gamma(r) / a; }

namespace {

// Algorithm GS (shape below 1): a two-part envelope, x^(r-1) on (0, 1] and e^-x beyond.
double gamma_small_shape(double r) {
    const double b = 1.0 + 0.3678794 * r;
    for (;;) {
        const double p = b * uniform01();
        if (p <= 1.0) {
            const double x = std::exp(std::log(p) / r);
            if (std_exponential() >= x) return x;
        } else {
            const double x = -std::log((b - p) / r);
            if (std_exponential() >= (1.0 - r) * std::log(x)) return x;
        }
    }
}

// GD's log density ratio q at the normal deviate t (v = t / 2s).
double gd_quotient(double t) {
    const double s = rng.gam_s;
    const double v = t / (s + s);
    if (std::fabs(v) <= 0.25)
        return rng.gam_q0 +
               0.5 * t * t *
                   ((((((kGamA[7] * v + kGamA[6]) * v + kGamA[5]) * v + kGamA[4]) * v +
                      kGamA[3]) * v + kGamA[2]) * v + kGamA[1]) * v;
    return rng.gam_q0 - s * t + 0.25 * t * t + (rng.gam_s2 + rng.gam_s2) * std::log(1.0 + v);
}

}  // namespace

double std_gamma(double r) {
    if (r < 1.0) return gamma_small_shape(r);

    // Algorithm GD. Step 1: set-up kept while the shape stays the same.
    if (r != rng.gam_aa) {
        rng.gam_aa = r;
        rng.gam_s2 = r - 0.5;
        rng.gam_s = std::sqrt(rng.gam_s2);
        rng.gam_d = 5.656854 - 12.0 * rng.gam_s;
    }
    const double s = rng.gam_s;
    // Step 2: the normal deviate itself, accepted at once when t >= 0.
    double t = std_normal();
    double x = s + 0.5 * t;
    const double immediate = x * x;
    if (t >= 0.0) return immediate;
    // Step 3: squeeze.
    double u = uniform01();
    if (rng.gam_d * u <= t * t * t) return immediate;
    // Step 4: constants of the quotient test and of the double-exponential hat.
    if (r != rng.gam_aaa) {
        rng.gam_aaa = r;
        const double rr = 1.0 / r;
        rng.gam_q0 = ((((((kGamQ[7] * rr + kGamQ[6]) * rr + kGamQ[5]) * rr + kGamQ[4]) * rr +
                         kGamQ[3]) * rr + kGamQ[2]) * rr + kGamQ[1]) * rr;
        if (r <= 3.686) {
            rng.gam_b = 0.463 + s + 0.178 * rng.gam_s2;
            rng.gam_si = 1.235;
            rng.gam_c = 0.195 / s - 0.079 + 0.16 * s;
        } else if (r <= 13.022) {
            rng.gam_b = 1.654 + 0.0076 * rng.gam_s2;
            rng.gam_si = 1.68 / s + 0.275;
            rng.gam_c = 0.062 / s + 0.024;
        } else {
            rng.gam_b = 1.77;
            rng.gam_si = 0.75;
            rng.gam_c = 0.1515 / s;
        }
    }
    // Steps 5-7: quotient test, only for a positive x.
    if (x > 0.0 && std::log(1.0 - u) <= gd_quotient(t)) return immediate;
    // Steps 8-11: double-exponential hat.
    for (;;) {
        const double e = std_exponential();
        u = uniform01();
        u += (u - 1.0);
        t = u < 0.0 ? rng.gam_b - rng.gam_si * e : rng.gam_b + rng.gam_si * e;
        if (t < -0.7187449) continue;
        const double q = gd_quotient(t);
        if (q <= 0.0) continue;
        double w;
        if (q <= 0.5)
            w = ((((kGamE[5] * q + kGamE[4]) * q + kGamE[3]) * q + kGamE[2]) * q + kGamE[1]) * q;
        else
            w = std::exp(q) - 1.0;
        if (rng.gam_c * std::fabs(u) > w * std::exp(e - 0.5 * t * t)) continue;
        x = s + 0.5 * t;
        return x * x;
    }
}

// ---------------------------------------------------------------------------------------
// Algorithm SA: the integer part of the variate in units of ln 2 counts the leading halvings
// of one uniform, the fraction is that uniform or the minimum of several.

double std_exponential() {
    double a = 0.0;
    double u = uniform01();
    for (;;) {
        u += u;
        if (u >= 1.0) break;
        a += kExpQ[1];
    }
    u -= 1.0;
    if (u <= kExpQ[1]) return a + u;
    // u < 1 = q_9, so the search stops within the table.
    int k = 1;
    double umin = uniform01();
    do {
        const double ustar = uniform01();
        if (ustar < umin) umin = ustar;
        ++k;
    } while (u > kExpQ[k]);
    return a + umin * kExpQ[1];
}

// ---------------------------------------------------------------------------------------
// Algorithm FL (M = 5): one uniform picks the sign and one of 31 central intervals of |x|
// or the tail; Forsythe's comparison chain accepts within the interval.

double std_normal() {
    double u = uniform01();
    const double sign = u > 0.5 ? 1.0 : 0.0;
    u += (u - sign);
    u = 32.0 * u;
    int i = static_cast<int>(u);
    if (i == 32) i = 31;
    double aa;
    double w;
    if (i != 0) {
        double ustar = u - i;
        aa = kNormA[i];
        for (;;) {
            if (ustar > kNormT[i]) {
                w = (ustar - kNormT[i]) * kNormH[i];
                break;
            }
            u = uniform01();
            w = u * (kNormA[i + 1] - aa);
            double tt = (0.5 * w + aa) * w;
            bool accepted = false;
            for (;;) {
                if (ustar > tt) {
                    accepted = true;
                    break;
                }
                u = uniform01();
                if (ustar < u) break;
                tt = u;
                ustar = uniform01();
            }
            if (accepted) break;
            ustar = uniform01();
        }
    } else {
        // Tail: each halving of u moves one section further out.
        i = 6;
        aa = kNormA[32];
        for (;;) {
            u += u;
            if (u >= 1.0) break;
            aa += kNormD[i];
            if (i < 32) ++i;
        }
        u -= 1.0;
        for (;;) {
            w = u * kNormD[i];
            double tt = (0.5 * w + aa) * w;
            bool accepted = false;
            for (;;) {
                const double ustar = uniform01();
                if (ustar > tt) {
                    accepted = true;
                    break;
                }
                u = uniform01();
                if (ustar < u) break;
                tt = u;
            }
            if (accepted) break;
            u = uniform01();
        }
    }
    const double y = aa + w;
    return sign == 1.0 ? -y : y;
}
