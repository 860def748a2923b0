// Random numbers: the multiply-with-carry stream of the starting tree and the combined
// multiplicative generator with uniform, beta and gamma variates of the search.
#pragma once

#include <cstdint>

#include "base/state.hpp"

// The combined generator's moduli; a seed must be positive and below its modulus.
constexpr int32_t kRngModulus1 = 2147483563, kRngModulus2 = 2147483399;
constexpr int32_t kSeed1Max = kRngModulus1 - 1, kSeed2Max = kRngModulus2 - 1;

double mwc_next(int32_t& x, int32_t& y);

void seed_all(int32_t s1, int32_t s2);
int32_t next_combined();
double uniform01();
void INITGN(int32_t mode);
void GSCGN(int32_t getset, int32_t* g);
int32_t mltmod(int32_t a, int32_t s, int32_t m);

double GENBET(float aa, float bb);
double gen_gamma(float a, float r);
double std_gamma(double r);
double std_exponential();
double std_normal();

// Coefficient tables of the variates, one-based as in their publications (entry 0 unused).
extern const double kExpQ[10];                // SA: q_1..q_8, and q_9 = 1 ends the search
extern const double kNormA[33];               // FL: a(1..32), interval bounds of |x|
extern const double kNormD[33];               // FL: d(6..32), tail section widths
extern const double kNormT[32], kNormH[32];   // FL: t(1..31), h(1..31)
extern const double kGamQ[8], kGamA[8], kGamE[6];  // GD: q_1..q_7, a_1..a_7, e_1..e_5

// The splitmix64 stream (Steele, Lea and Flood 2014): the next 64-bit value of the stream
// whose state is x. The resampling of sites (bootstrap replicates, RELL) draws from it, so
// that a draw depends on the seeds alone.
inline uint64_t splitmix64(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

// A draw below `count` from the stream: the high bits of the product.
inline uint64_t splitmix64_below(uint64_t& x, uint64_t count) {
    return static_cast<uint64_t>((static_cast<unsigned __int128>(splitmix64(x)) * count) >> 64);
}
