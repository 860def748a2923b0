// The model lines of results: the empirical base frequencies (HKY and F84), the model's name,
// its transition/transversion values and the rate scale, as the model set-up fixed them.
#include "output/model_lines.hpp"

#include <cstdio>
#include <string>

#include "base/state.hpp"
#include "input/model_spec.hpp"

namespace {

// The category rates, "0.0334 0.2519 0.8203 2.8944".
std::string category_rates_text() {
    std::string s;
    char buf[32];
    for (int c = 0; c < mp.named.ncat; ++c) {
        snprintf(buf, sizeof buf, c > 0 ? " %.4f" : "%.4f", mp.named.cat_rate[c]);
        s += buf;
    }
    return s;
}

void write_base_frequencies(FILE* out) {
    fprintf(out, "Empirical Base Frequencies:\n\n");
    fprintf(out, "   A   %lf\n   G   %lf\n   C   %lf\n   T   %lf\n\n", mp.piA, mp.piG, mp.piC,
            mp.piT);
}

}  // namespace

void write_named_parameters(FILE* out, const char* lead) {
    // lead + "the Gamma shape alpha is ...": "At the start the ..." or " The final estimate
    // of the ...".
    const ModelParams::Named& m = mp.named;
    static const char* const kPairs = "A-C, A-G, A-T, C-G, C-T and G-T";
    switch (m.kind) {
        case ModelKind::kJC: break;
        case ModelKind::kK2P:
        case ModelKind::kHKY:
            fprintf(out, "%sthe transition/transversion rate ratio kappa is %f\n\n", lead, m.xp[0]);
            break;
        case ModelKind::kF84:
            fprintf(out, "%sthe transition/transversion parameter K is %f\n\n", lead, m.xp[0]);
            break;
        case ModelKind::kTN93:
            fprintf(out, "%sthe rate ratios of the transitions A-G and C-T to the transversions are "
                    "%f and %f\n\n", lead, m.xp[0], m.xp[1]);
            break;
        case ModelKind::kGTR:
            fprintf(out, "%sthe exchange rates of %s are %f %f %f %f %f %f\n\n", lead, kPairs,
                    m.exch[0], m.exch[1], m.exch[2], m.exch[3], m.exch[4], m.exch[5]);
            break;
    }
    if (m.ncat > 1)
        fprintf(out, "%sthe Gamma shape alpha is %f (%d categories; relative rates %s)\n\n", lead,
                m.alpha, m.ncat, category_rates_text().c_str());
    if (m.invariant) fprintf(out, "%sthe proportion of invariable sites is %f\n\n", lead, m.pinv);
}

void write_model_lines() {
    FILE* out = run_files.results;
    if (mp.named.on) {
        const ModelSpec& chosen = settings.model_spec;
        if (chosen.freqs == ModelSpec::Freqs::kEmpirical) write_base_frequencies(out);
        if (chosen.freqs == ModelSpec::Freqs::kFixed)
            fprintf(out, "Base frequencies as given: A %f, C %f, G %f, T %f\n\n", mp.piA, mp.piC,
                    mp.piG, mp.piT);
        fprintf(out, "The %s Model will be used\n\n", model_spec_name(chosen).c_str());
        write_named_parameters(out, "At the start ");
        fprintf(out, "The transition/transversion ratio = %f\n\n", mp.ratio);
        fprintf(out, "The scaling factor for the branch lengths is %f\n\n", mp.mu);
        return;
    }
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
