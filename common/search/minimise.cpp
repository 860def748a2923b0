// Quasi-Newton minimisation (BFGS update of the inverse Hessian with a backtracking line
// search) and the fallback that uses it when a Newton-Raphson estimate was rejected.
#include "search/minimise.hpp"

#include <cmath>
#include <cstdlib>

#include "base/fatal.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "search/search_seams.hpp"

namespace {

constexpr int kMaxIterations = 50;
constexpr double kUpdateGuard = 3e-8;   // BFGS update only when s.y is clearly positive
constexpr double kStepTolerance = 1e-7;  // also the numerator of the smallest step fraction
constexpr double kMaxStepFactor = 100.0;
constexpr double kMinLengthFactor = 2.0;
constexpr double kSufficientDecrease = 1e-4;

// The larger of a and b, taking b when a is not a number.
inline double larger(double a, double b) { return a > b ? a : b; }

}  // namespace

[[noreturn]] void numeric_error(const char* text) {
    fatal_stderr("Numerical Recipes run-time error ...\n%s\n... now exiting to system ...\n", text);
}

// One spare element below the index range keeps the block start inside the allocation.
double* vect(int nl, int nh) {
    double* v = static_cast<double*>(malloc(static_cast<size_t>(nh - nl + 2) * sizeof(double)));
    if (!v) numeric_error("allocation failure in vect()");
    return v + 1 - nl;
}

double** matrix(int nrl, int nrh, int ncl, int nch) {
    const int nrow = nrh - nrl + 1, ncol = nch - ncl + 1;
    double** m = static_cast<double**>(malloc(static_cast<size_t>(nrow + 1) * sizeof(double*)));
    if (!m) numeric_error("allocation failure 1 in matrix()");
    m += 1;
    m -= nrl;
    m[nrl] = static_cast<double*>(malloc(static_cast<size_t>(nrow * ncol + 1) * sizeof(double)));
    if (!m[nrl]) numeric_error("allocation failure 2 in matrix()");
    m[nrl] += 1;
    m[nrl] -= ncl;
    for (int i = nrl + 1; i <= nrh; ++i) m[i] = m[i - 1] + ncol;
    return m;
}

void free_vect(double* v, int nl, int /*nh*/) { free(v + nl - 1); }

void free_matrix(double** m, int nrl, int /*nrh*/, int ncl, int /*nch*/) {
    free(m[nrl] + ncl - 1);
    free(m + nrl - 1);
}

bool line_search(int n, const double* x0, double f0, const double* g, double* d, double* x,
                 double* f, double Lmax, MinObjective func) {
    double sum = 0.0;
    for (int i = 1; i <= n; ++i) sum += d[i] * d[i];
    sum = sqrt(sum);
    if (sum > Lmax)
        for (int i = 1; i <= n; ++i) d[i] *= Lmax / sum;
    double slope = 0.0;
    for (int i = 1; i <= n; ++i) slope += g[i] * d[i];
    double test = 0.0;
    for (int i = 1; i <= n; ++i) {
        const double temp = fabs(d[i]) / larger(fabs(x0[i]), 1.0);
        if (temp > test) test = temp;
    }
    // A direction that is not a number (from a gradient that is not) leads nowhere.
    if (!std::isfinite(slope) || !std::isfinite(test)) {
        for (int i = 1; i <= n; ++i) x[i] = x0[i];
        *f = f0;
        return false;
    }
    const double lambda_min = kStepTolerance / test;
    double lambda = 1.0, lambda_prev = 0.0, f_prev = 0.0;
    for (;;) {
        bool moved = false;
        for (int i = 1; i <= n; ++i) {
            x[i] = x0[i] + lambda * d[i];
            if (x[i] != x0[i]) moved = true;
        }
        // A step too small to change the point ends the search whatever the minimum step
        // is: without this, a step fraction that reached 0 would be tried for ever.
        if (!moved) {
            *f = f0;
            return true;
        }
        *f = func(x);
        if (lambda < lambda_min) {
            for (int i = 1; i <= n; ++i) x[i] = x0[i];
            return true;
        }
        if (*f <= f0 + kSufficientDecrease * lambda * slope) return true;
        double lambda_try;
        if (lambda == 1.0) {
            lambda_try = -slope / (2.0 * (*f - f0 - slope));
        } else {
            // Cubic through the last two trials and the slope at x0.
            const double r1 = *f - f0 - lambda * slope;
            const double r2 = f_prev - f0 - lambda_prev * slope;
            const double a =
                (r1 / (lambda * lambda) - r2 / (lambda_prev * lambda_prev)) / (lambda - lambda_prev);
            const double b = (-lambda_prev * r1 / (lambda * lambda) +
                              lambda * r2 / (lambda_prev * lambda_prev)) /
                             (lambda - lambda_prev);
            if (a == 0.0) {
                lambda_try = -slope / (2.0 * b);
            } else {
                const double disc = b * b - 3.0 * a * slope;
                if (disc < 0.0)
                    lambda_try = 0.5 * lambda;
                else if (b <= 0.0)
                    lambda_try = (-b + sqrt(disc)) / (3.0 * a);
                else
                    lambda_try = -slope / (b + sqrt(disc));
            }
            if (lambda_try > 0.5 * lambda) lambda_try = 0.5 * lambda;
        }
        lambda_prev = lambda;
        f_prev = *f;
        lambda = larger(lambda_try, 0.1 * lambda);
    }
}

namespace {

// The working storage of one minimisation: gradient, gradient change, H times the change,
// inverse Hessian, trial point and direction (the step taken, after a line search).
struct BfgsWork {
    int n;
    double *g, *y, *Hy, *x_new, *d;
    double** H;
};

// Largest step component relative to the size of the point (at least 1).
double scaled_step(const double* s, const double* p, int n) {
    double test = 0.0;
    for (int i = 1; i <= n; ++i) {
        const double temp = fabs(s[i]) / larger(fabs(p[i]), 1.0);
        if (temp > test) test = temp;
    }
    return test;
}

// Largest gradient component times the size of the point, relative to the value (at
// least 1).
double scaled_gradient(const double* g, const double* p, int n, double F) {
    double test = 0.0;
    const double den = larger(F, 1.0);
    for (int i = 1; i <= n; ++i) {
        const double temp = fabs(g[i]) * larger(fabs(p[i]), 1.0) / den;
        if (temp > test) test = temp;
    }
    return test;
}

// BFGS update of the inverse Hessian with step s and gradient change y (Hy = H y).
void bfgs_update(BfgsWork& w) {
    const int n = w.n;
    const double* s = w.d;
    double sy = 0.0, yHy = 0.0, yy = 0.0, ss = 0.0;
    for (int i = 1; i <= n; ++i) {
        sy += s[i] * w.y[i];
        yHy += w.y[i] * w.Hy[i];
        yy += w.y[i] * w.y[i];
        ss += s[i] * s[i];
    }
    if (!(sy > sqrt(kUpdateGuard * yy * ss))) return;
    // u is kept in y, which is not needed any more.
    double* u = w.y;
    for (int i = 1; i <= n; ++i) u[i] = s[i] / sy - w.Hy[i] / yHy;
    for (int i = 1; i <= n; ++i)
        for (int j = i; j <= n; ++j) {
            w.H[i][j] += s[i] * s[j] / sy - w.Hy[i] * w.Hy[j] / yHy + yHy * u[i] * u[j];
            w.H[j][i] = w.H[i][j];
        }
}

}  // namespace

namespace {

bool all_finite(const double* v, int n) {
    for (int i = 1; i <= n; ++i)
        if (!std::isfinite(v[i])) return false;
    return true;
}

// The iterations of dfpmin_temp from the point p with value F and gradient w.g. False when
// a value or gradient stopped being a number, or the line search could not move the point.
bool bfgs_iterations(BfgsWork& w, double* p, double F, double Lmax, double tolerance,
                     int* count, double* value, double* capped_lnL, MinObjective func,
                     MinGradient grad) {
    const int n = w.n;
    for (int k = 1; k <= kMaxIterations; ++k) {
        *count = k;
        double F_new = 0.0;
        if (!line_search(n, p, F, w.g, w.d, w.x_new, &F_new, Lmax, func)) return false;
        if (!std::isfinite(F_new)) return false;
        F = F_new;
        *value = F;
        for (int i = 1; i <= n; ++i) {
            w.d[i] = w.x_new[i] - p[i];
            p[i] = w.x_new[i];
        }
        if (scaled_step(w.d, p, n) < kStepTolerance) return true;
        for (int i = 1; i <= n; ++i) w.y[i] = w.g[i];
        grad(p, w.g);
        if (!all_finite(w.g, n)) return false;
        if (scaled_gradient(w.g, p, n, F) < tolerance) return true;
        for (int i = 1; i <= n; ++i) w.y[i] = w.g[i] - w.y[i];
        for (int i = 1; i <= n; ++i) {
            double Hy = 0.0;
            for (int j = 1; j <= n; ++j) Hy += w.H[i][j] * w.y[j];
            w.Hy[i] = Hy;
        }
        bfgs_update(w);
        for (int i = 1; i <= n; ++i) {
            double Hg = 0.0;
            for (int j = 1; j <= n; ++j) Hg += w.H[i][j] * w.g[j];
            w.d[i] = -Hg;
        }
    }
    // Out of iterations: the last point stands; its likelihood may still be the best seen.
    const double f = func(p);
    *capped_lnL = -f;
    return std::isfinite(f);
}

}  // namespace

bool dfpmin_temp(double* p, int n, double tolerance, int* count, double* value,
                 MinObjective func, MinGradient grad, double* capped_lnL) {
    *capped_lnL = -HUGE_VAL;
    BfgsWork w{n, vect(1, n), vect(1, n), vect(1, n), vect(1, n), vect(1, n), matrix(1, n, 1, n)};
    const double F = func(p);
    grad(p, w.g);
    double sum = 0.0;
    for (int i = 1; i <= n; ++i) {
        for (int j = 1; j <= n; ++j) w.H[i][j] = 0.0;
        w.H[i][i] = 1.0;
        w.d[i] = -w.g[i];
        sum += p[i] * p[i];
    }
    const double Lmax = kMaxStepFactor * larger(sqrt(sum), kMinLengthFactor);
    *value = F;
    const bool finite = std::isfinite(F) && all_finite(w.g, n) &&
                        bfgs_iterations(w, p, F, Lmax, tolerance, count, value, capped_lnL, func, grad);
    free_matrix(w.H, 1, n, 1, n);
    free_vect(w.d, 1, n);
    free_vect(w.x_new, 1, n);
    free_vect(w.Hy, 1, n);
    free_vect(w.y, 1, n);
    free_vect(w.g, 1, n);
    return finite;
}

double neg_lnl(const double* p) {
    qn_store_params(p);
    ratio_from_kprime();
    return -full_pass_log_likelihood();
}

// The gradient's derivative pass recomputes every partial on its way up the tree.
void neg_lnl_grad(const double* p, double* df) {
    qn_store_params(p);
    ratio_from_kprime();
    qn_gradient(df);
}

double qn_estimate() {
    const int n = program.qn_params;
    double* p = vect(1, n);
    double* entry = vect(1, n);
    qn_load_params(p);
    for (int i = 1; i <= n; ++i) entry[i] = p[i];
    int count = 0;
    double value = 0.0;
    double capped_lnL = -HUGE_VAL;
    const bool finite = dfpmin_temp(p, n, 0.005, &count, &value, neg_lnl, neg_lnl_grad, &capped_lnL);
    qn_store_params(p);
    ratio_from_kprime();
    if (!finite || !qn_result_acceptable()) {
        qn_store_params(entry);
        ratio_from_kprime();
    }
    free_vect(entry, 1, n);
    free_vect(p, 1, n);
    return capped_lnL;
}
