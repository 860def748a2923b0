// The lin_info reader. The number of sequences it expects is the number of line ends in
// the input, so blank lines and a missing last line end give too few lines at times.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "base/state.hpp"
#include "fuzz_support.hpp"
#include "input/lin_info.hpp"
#include "input/settings.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_reset();
    const std::string text = fuzz_text(data, size);
    const int n = static_cast<int>(std::count(text.begin(), text.end(), '\n'));
    settings.ntaxa = n;
    try {
        parse_lin_info(text, n);
    } catch (const FuzzStop&) {
    }
    return 0;
}
