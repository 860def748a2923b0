// Measuring an alignment for its recommended settings. The alignment is read as a run reads
// it (the same formats, the same messages), its patterns counted with the recommended
// handling of gaps, and every record it filled is cleared again.
#include "app/sized_settings.hpp"

#include <cstdio>
#include <cstdlib>

#include "base/file_io.hpp"
#include "base/state.hpp"
#include "input/alignment_formats.hpp"
#include "input/settings.hpp"
#include "input/settings_doc.hpp"
#include "input/site_patterns.hpp"

namespace {

std::string settings_text(const Settings& values) {
    return text_written_by([&](FILE* f) { write_settings_text(f, values); });
}

}  // namespace

std::string recommended_settings_text() { return settings_text(recommended_settings()); }

std::string recommended_settings_text_for(const std::string& text, int& ntaxa, int& npat) {
    reset_settings();
    settings.keep_gaps = recommended_settings().keep_gaps;
    InfileText infile = read_infile_dimensions(text);
    read_infile_sequences(text, infile);
    build_patterns();
    ntaxa = settings.ntaxa;
    npat = alignment.npat;
    const Settings sized = recommended_settings_for_size(ntaxa, npat);
    reset_settings();
    reset_alignment();
    return settings_text(sized);
}
