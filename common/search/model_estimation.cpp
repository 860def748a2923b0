// The parameters of a named model, one at a time: three likelihoods around the value (at it,
// and a small step either side on the parameter's scale) give a parabola, whose vertex is
// tried as well; the best of the four points stands. Rates, the Gamma shape and the rate
// scale are stepped on a log scale (the same relative precision at any size), the invariable
// proportion on its own scale. Each estimation point takes one such step per parameter; the
// searches and the optimisation sweeps come back often enough for the steps to converge.
#include "search/model_estimation.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/named_model.hpp"

namespace {

// One free parameter: where it lives, and the range it may take. The tree's length (freeml,
// whose branch lengths have no common rate scale) is a factor on every branch, 1 at the start
// of each step.
struct FreeParameter {
    double* value;
    bool log_scale;
    double lo, hi;
    bool tree_length = false;
};

// The branch lengths when a tree-length step starts, and the factor tried on them.
std::vector<double> g_base_lengths;
double g_length_factor = 1.0;

void scale_branch_lengths(double factor) {
    const int root = tree.n + 1;
    for (int v = 1; v <= 2 * tree.n - 1; ++v)
        if (v != root) tree.cur.TimeVec[v] = g_base_lengths[v] * factor;
}

std::vector<FreeParameter> free_parameters(bool with_mu) {
    ModelParams::Named& m = mp.named;
    std::vector<FreeParameter> list;
    if (!m.xp_fixed)
        for (int k = 0; k < exchange_parameter_count(m.kind); ++k)
            list.push_back({&m.xp[k], true, m.kind == ModelKind::kF84 ? 1e-6 : 1e-3, 1e3});
    if (m.ncat > 1 && !m.alpha_fixed) list.push_back({&m.alpha, true, 0.01, 200.0});
    if (m.invariant && !m.pinv_fixed && m.pinv_max > 0.0)
        list.push_back({&m.pinv, false, 0.0, 0.999 * m.pinv_max});
    if (with_mu)
        list.push_back({&mp.mu, true, 1e-6, 1e4});
    else
        list.push_back({&g_length_factor, true, 0.5, 2.0, true});
    return list;
}

// The step either side: 5% of a rate, or 2% of the invariable proportion's range; the
// vertex is taken at most four steps away.
constexpr double kLogStep = 0.05;
constexpr double kLinearStep = 0.02;
constexpr double kFurthest = 4.0;
// Rounds over all parameters go on while one gains more than kRoundGain log-likelihood, up
// to g_rounds of them: one during the searches and sweeps, more when the best tree is
// finished.
int g_rounds = 1;
constexpr double kRoundGain = 0.01;

double to_scale(const FreeParameter& p, double v) { return p.log_scale ? std::log(v) : v; }
double from_scale(const FreeParameter& p, double x) {
    return std::clamp(p.log_scale ? std::exp(x) : x, p.lo, p.hi);
}

// Minus the log-likelihood with the parameter at x on its scale.
double minus_lnl_at(const FreeParameter& p, double x) {
    *p.value = from_scale(p, x);
    if (p.tree_length)
        scale_branch_lengths(*p.value);
    else
        update_named_model();
    return -full_pass_log_likelihood();
}

// One parabolic step of parameter p from x0, whose value f0 is known; leaves the parameter
// at the best point met and returns its value.
double parabolic_step(const FreeParameter& p, double f0) {
    if (p.tree_length) {
        g_base_lengths = tree.cur.TimeVec;
        g_length_factor = 1.0;
    }
    const double x0 = to_scale(p, *p.value);
    const double h = p.log_scale ? kLogStep : kLinearStep * (p.hi - p.lo);
    const double lo = to_scale(p, p.lo), hi = to_scale(p, p.hi);
    const double xa = std::max(x0 - h, lo), xb = std::min(x0 + h, hi);
    double best_x = x0, best_f = f0;
    const auto consider = [&](double x, double f) {
        if (f < best_f) {
            best_x = x;
            best_f = f;
        }
    };
    const double fa = xa < x0 ? minus_lnl_at(p, xa) : f0;
    consider(xa, fa);
    const double fb = xb > x0 ? minus_lnl_at(p, xb) : f0;
    consider(xb, fb);
    // The parabola through the three points; its vertex when it opens upwards.
    const double da = xa - x0, db = xb - x0;
    if (da < 0 && db > 0) {
        const double curvature = ((fb - f0) / db - (fa - f0) / da) / (db - da);
        const double slope = (fb - f0) / db - curvature * db;
        if (curvature > 0) {
            const double xv = std::clamp(x0 - slope / (2 * curvature), std::max(x0 - kFurthest * h, lo),
                                         std::min(x0 + kFurthest * h, hi));
            if (xv != x0 && xv != xa && xv != xb) consider(xv, minus_lnl_at(p, xv));
        }
    }
    *p.value = from_scale(p, best_x);
    if (!p.tree_length) {
        update_named_model();
        return best_f;
    }
    // The lengths found become the tree's own (the proposed copy keeps step with them).
    scale_branch_lengths(*p.value);
    tree.temp.TimeVec = tree.cur.TimeVec;
    return best_f;
}

}  // namespace

void set_estimation_rounds(int rounds) { g_rounds = rounds; }

double estimate_named_model(double lnL_entry, bool with_mu) {
    const std::vector<FreeParameter> params = free_parameters(with_mu);
    double f = -lnL_entry;
    for (int round = 0; round < g_rounds && !params.empty(); ++round) {
        const double before = f;
        for (const FreeParameter& p : params) f = parabolic_step(p, f);
        if (!(before - f > kRoundGain)) break;
    }
    // The caller recomputes the partials for the parameters that stand.
    return -HUGE_VAL;
}
