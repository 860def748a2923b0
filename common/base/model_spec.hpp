// A substitution model chosen by name ("GTR+F+I+G4", "HKY{4.0}+G4{0.5}"), as the command line
// (--model) or the optional settings line model_spec gives it. Without one a run uses the
// model of settings line 1, as it always has.
#pragma once

#include <string>

enum class ModelKind { kJC, kK2P, kF84, kHKY, kTN93, kGTR };

constexpr int kMaxRateCategories = 16;

struct ModelSpec {
    bool given = false;
    std::string text;  // as given
    ModelKind kind = ModelKind::kJC;
    // Base frequencies: equal (JC, K2P, or +FQ), empirical (+F, the default of F84, HKY,
    // TN93 and GTR) or given (+F{A,C,G,T}).
    enum class Freqs { kEqual, kEmpirical, kFixed } freqs = Freqs::kEqual;
    double fixed_freqs[4] = {0.25, 0.25, 0.25, 0.25};  // A, C, G, T as written
    // Values in braces after the name hold the exchange parameters fixed: K2P, F84 and HKY
    // one (kappa; F84's transition/transversion parameter K), TN93 two (A-G, C-T), GTR five
    // (A-C, A-G, A-T, C-G, C-T; G-T is 1).
    int fixed_rates = 0;
    double rates[5] = {};
    int ncat = 1;  // +G<k>: k Gamma categories
    bool alpha_fixed = false;
    double alpha = 0;
    bool invariant = false;  // +I
    bool pinv_fixed = false;
    double pinv = 0;
};

// How many exchange parameters the model has (0 for JC).
inline int exchange_parameter_count(ModelKind kind) {
    switch (kind) {
        case ModelKind::kJC: return 0;
        case ModelKind::kK2P:
        case ModelKind::kF84:
        case ModelKind::kHKY: return 1;
        case ModelKind::kTN93: return 2;
        case ModelKind::kGTR: return 5;
    }
    return 0;
}
