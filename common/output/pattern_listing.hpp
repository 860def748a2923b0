// The lines of results and standard output about the site patterns.
#pragma once

#include <cstdint>

#include "input/site_patterns.hpp"

// The pattern count and, with keep_gaps 0, the number of sites used, to results.
void write_pattern_summary();
// The line of a bootstrap replicate's draw, to results.
void write_resample_line(const ResampleDraw& draw, int32_t seed1, int32_t seed2);
// print_patterns 1: the pattern table and the counts, to results.
void print_pattern_table();
// print_alignment 1: the alignment in pattern order, to standard output.
void print_pattern_alignment();
