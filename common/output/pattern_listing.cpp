// The lines of results and standard output about the site patterns: their number, the
// sites used, a bootstrap replicate's draw, and the optional listings.
#include "output/pattern_listing.hpp"

#include <cstdio>

#include "base/base_codes.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "base/text_reader.hpp"

void write_pattern_summary() {
    const Alignment& a = alignment;
    FILE* out = run_files.results;
    fputs(program.pattern_lead, out);
    fputs("----------------------------------------------------------------\n\n", out);
    fprintf(out, "The number of unique site patterns is %d\n\n", a.npat);
    if (settings.keep_gaps == 0) {
        int used = 0;
        for (int p = 0; p < a.npat; ++p) used += a.site_counter[p];
        fprintf(out, "Sites with a gap in at least one taxa have been excluded - the \n total "
                     "number of sites used in the computations is %d\n\n", used);
    }
}

void write_resample_line(const ResampleDraw& draw, int32_t seed1, int32_t seed2) {
    fprintf(run_files.results,
            "Bootstrap replicate: the %llu sites used were drawn again with replacement (seeds %d "
            "and %d); %d of the %d site patterns were drawn\n\n",
            draw.sites, seed1, seed2, draw.kept, draw.before);
}

void print_pattern_table() {
    FILE* out = run_files.results;
    const Alignment& a = alignment;
    fputs("ppBase_unique:\n", out);
    for (int i = 0; i < settings.ntaxa; ++i) {
        fprintf(out, "Sequence %d", i + 1);
        fputs(":  ", out);
        fprintf(out, " %s\n", a.TaxonNames[i].c_str());
        for (int p = 0; p < a.npat; ++p) fprintf(out, "%d", a.ppBase_unique[i][p]);
        fputs("\n", out);
    }
    fputs("\n\n", out);
    for (int p = 0; p < a.npat; ++p) {
        fprintf(out, "Counter %d %d", p, a.site_counter[p]);
        fputs("\n", out);
    }
    fputs("\n\n", out);
}

void print_pattern_alignment() {
    const Alignment& a = alignment;
    printf("\n\n");
    for (int i = 0; i < settings.ntaxa; ++i) {
        printf("%s", pad_to_width(a.TaxonNames[i], 10).c_str());
        for (int p = 0; p < a.npat; ++p) {
            const char letter = base_letter(a.ppBase_unique[i][p]);
            for (int w = 0; w < a.site_counter[p]; ++w) putchar(letter);
        }
        printf("\n");
    }
    printf("\n\n");
}
