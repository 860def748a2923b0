// The settings reader and the counts derived from it. The target is built twice, with
// clockml's and with freeml's program record, whose settings lines 16-18 differ.
#include <cstddef>
#include <cstdint>

#include "base/state.hpp"
#include "fuzz_support.hpp"
#include "input/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_reset();
    const std::string text = fuzz_text(data, size);
    // The derived counts scale with the number of taxa; vary it with the input so that
    // small and large alignments are both tried.
    settings.ntaxa = 3 + static_cast<int>(size % 200);
    settings.nsites = 1 + static_cast<int>(size % 5000);
    try {
        parse_settings(text);
        compute_derived_counts();
    } catch (const FuzzStop&) {
    }
    return 0;
}
