// Unique site patterns and the site draw of a bootstrap replicate.
#pragma once

#include <cstdint>

// Unique site patterns (ppBase_unique, site_counter, npat) of the coded alignment, in order
// of first occurrence; with keep_gaps 0 the sites with a gap are left out. Stops the run
// when no site is left.
void build_patterns();

// A bootstrap replicate's draw: how many sites were drawn, and how many of the patterns
// before it kept a count.
struct ResampleDraw {
    unsigned long long sites = 0;
    int kept = 0, before = 0;
};
// A bootstrap replicate: the sites used are drawn again with replacement, as many as there
// are, and the patterns take the counts of the draw (those never drawn are dropped). The
// draws come from a SplitMix64 generator started at seed1 x 2^32 + seed2.
ResampleDraw resample_patterns(int32_t seed1, int32_t seed2);
