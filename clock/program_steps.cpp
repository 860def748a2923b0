// clockml's start-up extras: lin_info and the per-lineage rates of the leaves.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "clock.hpp"
#include "program.hpp"
#include "settings.hpp"

void program_extra_inputs() {
    if (settings.use_lin_info != 1) return;
    if (!open_lin_info()) {
        printf("can't open file \n");
        exit(1);
    }
    read_lin_info();
}

// Leaf rate from the two lin_info values w and t of a sequence.
void set_leaf_rates() {
    const int n = settings.ntaxa;
    for (int i = 1; i <= n; ++i) {
        double r = 1.0;
        if (settings.use_lin_info == 1) {
            const double w = alignment.lin_array[i - 1][0];
            const double t = alignment.lin_array[i - 1][1];
            r = pow(w, -0.25) * exp(-0.6 / (0.846 * t));
        }
        tree.RateVec_best[i] = tree.RateVec_prev[i] = tree.RateVec_temp[i] = tree.RateVec[i] = r;
        if (settings.use_lin_info == 1) printf("RateVec[%d] is %f\n", i, r);
    }
}

void program_leaf_setup() { set_leaf_rates(); }
