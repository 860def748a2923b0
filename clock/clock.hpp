// clockml's own routines.
#pragma once

#include "base/state.hpp"

// mu alone by Newton-Raphson from the current tree (log-likelihood lnL_entry).
void estimate_mu(double lnL_entry);
// mu and Kprime jointly; 1 when the estimate was rejected and the entry values are back.
int estimate_mu_kprime(double lnL_entry);
// kept_children: the move left X's children as they were (its calibration, if any, holds).
void propose_node_time(int X, int P, bool kept_children);
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
// Clock trees in units of time (tip_times.cpp): whether the tips are dated, whether the run
// dates its tree (dated tips or calibrations), the latest tip date, a tip's age before it (0
// without dates), the tip times of the current (and proposed) tree for the scale s = 1 /
// root age, its estimation on the current tree (returns the log-likelihood after), the scale
// of a tree loaded from the archive, and the start times of a joined topology.
bool dated_tips();
bool dated_run();
double latest_date();
double tip_age(int leaf);
void set_tip_times(double s);
double estimate_tip_scale(double lnL_entry);
void settle_loaded_scale();
void assign_dated_start_values();
// The scale re-estimated after the model when the run dates its tree (estimation_point.cpp).
void estimate_tip_scale_after(double lnL_entry);
// Calibrated clades in a tree (calibrated_nodes.cpp): the calibration of each node of the
// child table `rows` (-1 where none), the calibration of node v of the current tree, and the
// window of times its bounds allow at the current scale (false when v is not calibrated).
std::vector<int> calibrations_of_tree(const std::vector<int>* rows);
int calibration_of(int v);
bool node_time_window(int v, double& lo, double& hi);
// The scales s at which every calibrated node of tree `t` keeps its bounds (its times held):
// [s_lo, s_hi], empty when s_lo > s_hi.
void calibrated_scale_range(const TreeCopy& t, double& s_lo, double& s_hi);
