// The four nucleotide models, their start-up parameters and the transition matrix of a
// branch. States are A, G, C, T: purines 0 and 1, pyrimidines 2 and 3.
#include "engine/model.hpp"

#include <cmath>
#include <cstdio>

#include "base/base_codes.hpp"
#include "base/fatal.hpp"
#include "base/state.hpp"
#include "engine/named_model.hpp"

static bool is_purine(int j) { return j < 2; }

void derive_model_constants() {
    mp.pi[0] = mp.piA;
    mp.pi[1] = mp.piG;
    mp.pi[2] = mp.piC;
    mp.pi[3] = mp.piT;
    mp.inv_pi_r_m1 = 1.0 / mp.pi_r - 1.0;
    mp.inv_pi_y_m1 = 1.0 / mp.pi_y - 1.0;
    for (int j = 0; j < 4; ++j) {
        mp.group[j] = is_purine(j) ? mp.pi_r : mp.pi_y;
        mp.inv_group_m1[j] = is_purine(j) ? mp.inv_pi_r_m1 : mp.inv_pi_y_m1;
        mp.cond[j] = mp.pi[j] / mp.group[j];
        mp.cond_c[j] = 1.0 - mp.pi[j] / mp.group[j];
    }
}

static void equal_base_freqs() {
    mp.piA = mp.piG = mp.piC = mp.piT = 0.25;
    mp.pi_r = mp.pi_y = 0.5;
}

void setup_model() {
    if (settings.model_spec.given) {
        setup_named_model(settings.model_spec);
        return;
    }
    mp.model = settings.model;
    switch (mp.model) {
        case 1: {  // HKY
            empirical_base_freqs();
            const double AG = mp.piA * mp.piG;
            const double CT = mp.piC * mp.piT;
            mp.Kappa = mp.ratio * mp.pi_r * mp.pi_y / (AG + CT);
            mp.mu = 1 / (2 * (mp.pi_r * mp.pi_y + mp.Kappa * (AG + CT)));
            mp.aR = 1 + mp.pi_r * (mp.Kappa - 1);
            mp.aY = 1 + mp.pi_y * (mp.Kappa - 1);
            break;
        }
        case 2: {  // F84
            empirical_base_freqs();
            const double AG = mp.piA * mp.piG;
            const double CT = mp.piC * mp.piT;
            mp.ratio = 2.0;
            mp.mu = 1 / (2 * mp.pi_r * mp.pi_y * (1 + mp.ratio));
            mp.kDenom = AG / mp.pi_r + CT / mp.pi_y;
            mp.K = (mp.ratio * mp.pi_r * mp.pi_y - AG - CT) / mp.kDenom;
            mp.Kprime = mp.K + 1;
            break;
        }
        case 3:  // JC
            equal_base_freqs();
            mp.ratio = 0.5000001;
            mp.K = 0;
            mp.mu = 4.0 / 3.0;
            mp.Kprime = 1;
            break;
        case 4:  // K2P
            equal_base_freqs();
            mp.Kappa = 2 * mp.ratio;
            mp.K = (mp.Kappa - 1) * 0.5;
            mp.mu = 2 / (1 + mp.ratio);
            mp.Kprime = mp.K + 1;
            break;
        default:
            fatal("Error in model specification\n\n");
    }
    // ratio_from_kprime needs kDenom under every model, so it is set from the
    // frequencies in force whatever the model.
    mp.kDenom = mp.piA * mp.piG / mp.pi_r + mp.piC * mp.piT / mp.pi_y;
    derive_model_constants();
}

void set_base_frequencies(const double* f) {
    mp.piA = f[0];
    mp.piG = f[1];
    mp.piC = f[2];
    mp.piT = f[3];
    mp.pi_r = mp.piA + mp.piG;
    mp.pi_y = mp.piC + mp.piT;
}

// Expectation-maximisation over the patterns: an ambiguous code's count is shared among
// its states in proportion to the current frequencies, until the frequencies settle.
void empirical_base_freqs() {
    const int n = settings.ntaxa;
    const int npat = alignment.npat;
    double f[4] = {0.25, 0.25, 0.25, 0.25};
    double change;
    do {
        double acc[4] = {0.0, 0.0, 0.0, 0.0};
        double total = 0.0;
        for (int i = 0; i < n; ++i) {
            const std::vector<int>& row = alignment.ppBase_unique[i];
            for (int p = 0; p < npat; ++p) {
                const int code = row[p];
                if (code < 0 || code > 15) fatal("error estimating empirical base frequencies\n");
                const int* in = code_states(code);
                double d = 0.0;
                for (int k = 0; k < 4; ++k)
                    if (in[k]) d += f[k];
                for (int k = 0; k < 4; ++k) {
                    if (!in[k]) continue;
                    const double w = (f[k] / d) * alignment.site_counter[p];
                    acc[k] += w;
                    total += w;
                }
            }
        }
        change = 0.0;
        for (int k = 0; k < 4; ++k) {
            change += fabs(acc[k] / total - f[k]);
            f[k] = acc[k] / total;
        }
    } while (change > 0.001);

    set_base_frequencies(f);
    // Written as "not above zero" so that frequencies left undefined by an alignment
    // without usable sites stop here too instead of poisoning every likelihood.
    if (!(mp.pi_y > 0) || !(mp.pi_r > 0)) fatal("There are only pyrimidines or purines in your data\n");
}

// Per cell, with c = exp(-mu t) and e_j = exp(-mu t A_j):
//   transversion         pi_j (1 - c)
//   diagonal             pi_j + pi_j (1/Pi_j - 1) c + (1 - pi_j/Pi_j) e_j
//   transition, i != j   pi_j + pi_j (1/Pi_j - 1) c - (pi_j/Pi_j) e_j
void transition_matrix(double t, double* P) {
    const double mt = (-mp.mu) * t;
    const double c = exp(mt);
    double e[4];
    if (mp.model == 1) {
        const double eR = exp(mt * mp.aR);
        const double eY = exp(mt * mp.aY);
        e[0] = e[1] = eR;
        e[2] = e[3] = eY;
    } else {
        e[0] = e[1] = e[2] = e[3] = exp(mt * mp.Kprime);
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            const double pj = mp.pi[j];
            double v;
            if (is_purine(i) != is_purine(j))
                v = pj * (1 - c);
            else if (i == j)
                v = pj + pj * mp.inv_group_m1[j] * c + mp.cond_c[j] * e[j];
            else
                v = pj + pj * mp.inv_group_m1[j] * c - mp.cond[j] * e[j];
            P[4 * i + j] = v;
        }
    }
}

int transition_ind(int i, int j) {
    if (i < 0 || i > 3) {
        printf("Error in transition_ind\n");
        return 0;
    }
    if (j < 0 || j > 3) return 0;
    return is_purine(i) == is_purine(j) ? 1 : 0;
}

int same_state(int i, int j) { return i == j ? 1 : 0; }

double state_prob(int j) {
    switch (j) {
        case 0: return mp.piA;
        case 1: return mp.piG;
        case 2: return mp.piC;
        case 3: return mp.piT;
        default:
            printf("There was a problem identifying state probs\n");
            return 0;
    }
}

double group_prob(int j) {
    if (j == 0 || j == 1) return mp.pi_r;
    if (j == 2 || j == 3) return mp.pi_y;
    printf("There was a problem finding pi_r and pi_y\n");
    return 0;
}

void ratio_from_kprime() {
    mp.K = mp.Kprime - 1;
    mp.ratio = (mp.K * mp.kDenom + mp.piA * mp.piG + mp.piC * mp.piT) / (mp.pi_r * mp.pi_y);
}

double mu_from_ratio() { return 1 / (2 * mp.pi_r * mp.pi_y * (mp.ratio + 1)); }

bool kprime_estimated() {
    return !mp.named.on && estimation_on() && settings.model != 1 && settings.model != 3;
}

ModelEstimates current_estimates() {
    ModelEstimates e{mp.mu, mp.Kprime, mp.K, mp.ratio};
    for (int k = 0; k < 5; ++k) e.xp[k] = mp.named.xp[k];
    e.alpha = mp.named.alpha;
    e.pinv = mp.named.pinv;
    return e;
}

void restore_estimates(const ModelEstimates& e) {
    mp.mu = e.mu;
    mp.Kprime = e.Kprime;
    mp.K = e.K;
    mp.ratio = e.ratio;
    if (!mp.named.on) return;
    for (int k = 0; k < 5; ++k) mp.named.xp[k] = e.xp[k];
    mp.named.alpha = e.alpha;
    mp.named.pinv = e.pinv;
    update_named_model();
}

double exponent_factor(int j) {
    if (mp.model == 1) return j < 2 ? mp.aR : mp.aY;
    return mp.Kprime;
}

// The rate of the process at the current parameters: a branch value t stands for
// t times this many expected changes per site. The design's models form their matrices
// from mu and Kprime (the F84 family: mu (1 - sum pi^2 + 2 K kDenom)) or mu and Kappa (HKY:
// 2 mu (pi_r pi_y + Kappa (pi_A pi_G + pi_C pi_T))); a model by name is scaled to one change
// per unit, mu its factor.
double substitutions_per_unit() {
    if (mp.named.on) return mp.mu;
    const double AG = mp.piA * mp.piG, CT = mp.piC * mp.piT;
    if (mp.model == 1) return 2 * mp.mu * (mp.pi_r * mp.pi_y + mp.Kappa * (AG + CT));
    const double sum_sq = mp.piA * mp.piA + mp.piG * mp.piG + mp.piC * mp.piC + mp.piT * mp.piT;
    return mp.mu * (1 - sum_sq + 2 * (mp.Kprime - 1) * mp.kDenom);
}
