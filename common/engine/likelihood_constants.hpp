// Constants the likelihood kernels share with the passes around them: the power-of-two
// scaling rule and the names of the derivative tables. No project includes, so a kernel
// needs nothing else of the program.
#pragma once

#include <numbers>

// A pattern's four partials below 2^-256 are multiplied by 2^256 and counted, so deep
// trees never underflow; counts add up the tree and the log-likelihood takes them off.
constexpr double kScaleThreshold = 0x1p-256;
constexpr double kScaleFactor = 0x1p256;
constexpr double kLogScaleStep = 256.0 * std::numbers::ln2;  // 256 ln 2, correctly rounded

// The scaling rule for the four partials of one node and pattern: when all four are below
// kScaleThreshold they are multiplied by kScaleFactor and 1 is returned, the step to add
// to the children's summed counts; otherwise 0. Derivative entries of the same node and
// pattern must then be multiplied by kScaleFactor too.
inline int rescale_pattern(double* v) {
    if (v[0] < kScaleThreshold && v[1] < kScaleThreshold && v[2] < kScaleThreshold &&
        v[3] < kScaleThreshold) {
        for (int a = 0; a < 4; ++a) v[a] *= kScaleFactor;
        return 1;
    }
    return 0;
}

// The derivative tables a derivative pass fills, as a set of bits.
enum DerivativeSet {
    DERIV_MU1 = 1,   // pppEstMu1
    DERIV_MU2 = 2,   // pppEstMu2
    DERIV_K1 = 4,    // pppEstK1
    DERIV_K2 = 8,    // pppEstK2
    DERIV_MUK = 16,  // pppEstMuK
};
