// The infile reader and the pattern builder on one input: the header, the sequences
// (sequential or interleaved, as the header says, or FASTA, PHYLIP or NEXUS when the
// text starts as one of them, as a run decides), then the site patterns with gapped
// sites kept and, on the same alignment, with them left out, and both pattern printouts.
#include <cstddef>
#include <cstdint>

#include "base/state.hpp"
#include "fuzz_support.hpp"
#include "input/alignment.hpp"
#include "input/alignment_formats.hpp"
#include "input/infile_header.hpp"
#include "input/settings.hpp"
#include "input/site_patterns.hpp"
#include "output/pattern_listing.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_reset();
    const std::string text = fuzz_text(data, size);
    try {
        if (starts_with_own_header(text) || !in_other_format(text)) {
            const size_t offset = parse_infile_header(text);
            parse_sequences(text, offset);
        } else {
            OtherAlignment other;
            read_other_format(text, other);
            set_dimensions(other);
            set_sequences(other);
        }
        settings.keep_gaps = 1;
        build_patterns();
        print_pattern_table();
        print_pattern_alignment();
        settings.keep_gaps = 0;
        build_patterns();
        print_pattern_table();
    } catch (const FuzzStop&) {
    }
    return 0;
}
