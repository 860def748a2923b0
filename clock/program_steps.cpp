// clockml's start-up extras: lin_info and the per-lineage rates of the leaves.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app_seams.hpp"
#include "base/file_io.hpp"
#include "base/state.hpp"
#include "clock.hpp"
#include "input/lin_info.hpp"
#include "input/run_files.hpp"
#include "input/settings.hpp"
#include "output/runlog.hpp"

void program_extra_inputs() {
    if (settings.use_lin_info != 1) return;
    if (!open_lin_info()) {
        printf("can't open file \n");
        exit(1);
    }
    std::string text;
    read_input_file(run_files.lin_info, "lin_info", kLinInfoLimit, text);
    runlog_input_file("lin_info", text);
    parse_lin_info(text, settings.ntaxa);
}

// Leaf rate from the two lin_info values w and t of a sequence.
void set_leaf_rates() {
    const int n = settings.ntaxa;
    for (int i = 1; i <= n; ++i) {
        double r = 1.0;
        if (settings.use_lin_info == 1) {
            const double w = alignment.lin_array[i - 1][0];
            const double t = alignment.lin_array[i - 1][1];
            r = lineage_rate(w, t);
        }
        tree.cur.RateVec[i] = tree.temp.RateVec[i] = tree.best.RateVec[i] = r;
        // A rate too small for six decimals is shown as what it is, not as 0.000000.
        if (settings.use_lin_info == 1)
            printf(r >= 5e-7 ? "RateVec[%d] is %f\n" : "RateVec[%d] is %.6g\n", i, r);
    }
}

void program_leaf_setup() { set_leaf_rates(); }

