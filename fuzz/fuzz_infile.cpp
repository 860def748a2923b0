// The infile reader and the pattern builder on one input: the header, the sequences
// (sequential or interleaved, as the header says), then the site patterns with gapped
// sites kept and, on the same alignment, with them left out, and both pattern printouts.
#include <cstddef>
#include <cstdint>

#include "alignment.hpp"
#include "fuzz_support.hpp"
#include "settings.hpp"
#include "state.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_reset();
    const std::string text = fuzz_text(data, size);
    try {
        const size_t offset = parse_infile_header(text);
        parse_sequences(text, offset);
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
