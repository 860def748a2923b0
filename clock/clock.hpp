// clockml's own routines.
#pragma once

#include "base/state.hpp"

// mu alone by Newton-Raphson from the current tree (log-likelihood lnL_entry).
void estimate_mu(double lnL_entry);
// mu and Kprime jointly; 1 when the estimate was rejected and the entry values are back.
int estimate_mu_kprime(double lnL_entry);
void propose_node_time(int X, int P);
// Pieces of the node-time draw: the weighted first and second log-likelihood slopes in
// X's time at T0 (children c0, c1), the damped Newton target on (tP, U), and the beta
// draw of a time on (tP, U) centred on a target.
void node_time_slopes(int X, int c0, int c1, double T0, double& S1, double& S2);
// Its two forms, for the test that holds them to the same bits; the AVX2 form returns false,
// with nothing computed, where the processor lacks AVX2.
void node_time_slopes_plain(int X, int c0, int c1, double T0, double& S1, double& S2);
bool node_time_slopes_avx2(int X, int c0, int c1, double T0, double& S1, double& S2);
double node_time_target(double T0, double U, double tP, double delta);
double draw_node_time(double tP, double U, double target);
double time_objective(int c, double x);
// Moves internal node c to its best time (the argument is unused); true when it settled.
// A node whose parent and nearest child are closer than 0.002 keeps its time (false).
bool optimise_node_time(int c, double lower_start);
double optimise_node_times(double lnL_entry);
void set_leaf_rates();
// Dated tips (tip_times.cpp): whether the run has them, a tip's age before the latest tip,
// the tip times of the current (and proposed) tree for the scale s = 1 / root age, the scale
// of a tree's times, its estimation on the current tree (returns the log-likelihood after),
// and the start times of a joined topology.
bool dated_run();
double tip_age(int leaf);
void set_tip_times(double s);
double tip_scale_of(const std::vector<double>& times);
double estimate_tip_scale(double lnL_entry);
void assign_dated_start_values();
// The scale re-estimated after the model when the tips are dated (estimation_point.cpp).
void estimate_tip_scale_after(double lnL_entry);
