// Quasi-Newton (BFGS) fallback of the parameter estimation, and 1-based work vectors.
#pragma once

#include "base/state.hpp"

// 1-based vectors v[nl..nh] and matrices m[nrl..nrh][ncl..nch]; a failed allocation is
// fatal (numeric_error).
double* vect(int nl, int nh);
double** matrix(int nrl, int nrh, int ncl, int nch);
void free_vect(double* v, int nl, int nh);
void free_matrix(double** m, int nrl, int nrh, int ncl, int nch);
// Writes the numerical routines' error report with `text` to standard error; exit status 1.
[[noreturn]] void numeric_error(const char* text);

// Objective of a minimisation: value at p[1..n], and gradient into df[1..n].
using MinObjective = double (*)(const double* p);
using MinGradient = void (*)(const double* p, double* df);

// Backtracking line search from x0 (value f0, gradient g) along d, whose length is first
// cut to Lmax. Returns in x and *f a point of sufficient decrease, or x = x0 (with *f the
// value of the last trial) when the step fraction falls below its minimum, or x = x0 and
// *f = f0 when a step no longer changes the point. False, with x = x0 and *f = f0, when the
// direction or the point is not a number.
bool line_search(int n, const double* x0, double f0, const double* g, double* d, double* x,
                 double* f, double Lmax, MinObjective func);
// BFGS minimisation of func from p[1..n] in place, at most 50 iterations. *count gets the
// iterations used, *value the function value at the last point a line search accepted.
// *capped_lnL gets minus the value at the last point when the cap is reached (the caller
// may let the best log-likelihood of the search rise to it), else -HUGE_VAL. False when a
// value or gradient is not a number: the minimisation ends there, and p holds no usable
// point.
bool dfpmin_temp(double* p, int n, double tolerance, int* count, double* value,
                 MinObjective func, MinGradient grad, double* capped_lnL);

// Minus the log-likelihood of the current tree at the parameter vector p (after
// qn_store_params, ratio_from_kprime and a full pass), and its gradient (from a derivative
// pass, which makes the partials afresh).
double neg_lnl(const double* p);
void neg_lnl_grad(const double* p, double* df);
// Minimises -lnL over the program's parameters (after a rejected Newton-Raphson estimate);
// restores the entry values when the minimisation failed or the program does not accept
// the result. Returns the minimiser's capped log-likelihood (see dfpmin_temp). The partials
// are left stale for settle_estimation to recompute.
double qn_estimate();

