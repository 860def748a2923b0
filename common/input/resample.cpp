// The site draw of a bootstrap replicate. The draw works on the pattern weights alone: no
// resampled alignment is ever written.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "input/alignment.hpp"
#include "base/state.hpp"

namespace {

uint64_t splitmix64(uint64_t& x) {
    uint64_t z = (x += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

}  // namespace

void resample_patterns(int32_t seed1, int32_t seed2) {
    Alignment& a = alignment;
    // Site k of the draw's list belongs to the pattern that holds it, in pattern order.
    std::vector<int> site_pattern;
    for (int p = 0; p < a.npat; ++p)
        site_pattern.insert(site_pattern.end(), static_cast<size_t>(a.site_counter[p]), p);
    const uint64_t sites = site_pattern.size();
    std::vector<int> drawn(static_cast<size_t>(a.npat), 0);
    uint64_t state = (static_cast<uint64_t>(static_cast<uint32_t>(seed1)) << 32) |
                     static_cast<uint32_t>(seed2);
    for (uint64_t k = 0; k < sites; ++k) {
        // The high bits of the product give an index below `sites`.
        const uint64_t pick =
            static_cast<uint64_t>((static_cast<unsigned __int128>(splitmix64(state)) * sites) >> 64);
        ++drawn[site_pattern[pick]];
    }
    const int before = a.npat;
    int kept = 0;
    for (int p = 0; p < a.npat; ++p) {
        if (drawn[static_cast<size_t>(p)] == 0) continue;
        for (std::vector<int>& row : a.ppBase_unique) row[static_cast<size_t>(kept)] = row[static_cast<size_t>(p)];
        a.site_counter[static_cast<size_t>(kept)] = drawn[static_cast<size_t>(p)];
        ++kept;
    }
    for (int p = kept; p < a.npat; ++p) a.site_counter[static_cast<size_t>(p)] = 0;
    a.npat = kept;
    fprintf(run_files.results,
            "Bootstrap replicate: the %llu sites used were drawn again with replacement (seeds %d "
            "and %d); %d of the %d site patterns were drawn\n\n",
            static_cast<unsigned long long>(sites), seed1, seed2, kept, before);
}
