// The data block of paupfile.nex: the alignment as read, in file order, so that the trees
// written later can be re-scored against the same characters.
#include <cstdio>
#include <string>

#include "base/base_codes.hpp"
#include "base/state.hpp"
#include "base/text_reader.hpp"
#include "output/newick.hpp"
#include "output/reports.hpp"

void write_nexus_data() {
    FILE* out = run_files.paupfile;
    const int n = settings.ntaxa, s = settings.nsites;
    fputs("#NEXUS\n\n", out);
    fputs("  Begin data;\n", out);
    fprintf(out, "  Dimensions ntax=%d nchar=%d;\n", n, s);
    fputs("  Format datatype=nucleotide gap=- missing=? matchchar=.;\n", out);
    fputs("  Matrix\n", out);
    // One space after the padded name keeps a 10-character name apart from its sequence;
    // names holding NEXUS punctuation are quoted so that NEXUS readers take them whole.
    // The letters are the resolved codes, so '.' and '?' never appear in the matrix.
    std::string row;
    for (int i = 0; i < n; ++i) {
        row.clear();
        for (int j = 0; j < s; ++j) row += base_letter(alignment.ppBase[i][j]);
        fprintf(out, "%s %s\n", pad_to_width(nexus_name(alignment.TaxonNames[i]), 10).c_str(),
                row.c_str());
    }
    fputs(";\n End;\n\n", out);
}
