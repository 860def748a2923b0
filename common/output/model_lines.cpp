// The model lines of results: the empirical base frequencies (HKY and F84), the model's name,
// its transition/transversion values and the rate scale, as the model set-up fixed them.
#include "output/model_lines.hpp"

#include <cstdio>

#include "base/state.hpp"

namespace {

void write_base_frequencies(FILE* out) {
    fprintf(out, "Empirical Base Frequencies:\n\n");
    fprintf(out, "   A   %lf\n   G   %lf\n   C   %lf\n   T   %lf\n\n", mp.piA, mp.piG, mp.piC,
            mp.piT);
}

}  // namespace

void write_model_lines() {
    FILE* out = run_files.results;
    switch (mp.model) {
        case 1:  // HKY
            write_base_frequencies(out);
            fprintf(out, "The HKY Model will be used\n\n");
            fprintf(out, "The transition/transversion ratio = %f\n\n", mp.ratio);
            fprintf(out, "Kappa = %f\n\n", mp.Kappa);
            fprintf(out, "The scaling factor for the branch lengths is %f\n\n", mp.mu);
            break;
        case 2:  // F84
            write_base_frequencies(out);
            fprintf(out, "The F84 Model will be used\n\n");
            fprintf(out, "Transition/transversion ratio = %f\n\n", mp.ratio);
            fprintf(out, "Transition/transversion parameter = %f\n\n", mp.K);
            fprintf(out, "The scaling factor for the branch lengths is %f\n\n", mp.mu);
            break;
        case 3:  // JC
            fprintf(out, "The JC Model will be used\n\n");
            fprintf(out, "The scaling factor for the branch lengths is %f\n\n", mp.mu);
            break;
        case 4:  // K2P
            fprintf(out, "The K2P Model will be used\n\n");
            fprintf(out, "Transition/transversion ratio = %f\n\n", mp.ratio);
            fprintf(out, "Transition/transversion parameter = %f\n\n", mp.K);
            fprintf(out, "Kappa = %f\n\n", mp.Kappa);
            fprintf(out, "The scaling factor for the branch lengths is %f\n\n", mp.mu);
            break;
        default:
            break;
    }
}
