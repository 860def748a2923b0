// Sequences of the infile, nucleotide codes and unique site patterns.
#pragma once

#include <cstdint>

#include <string>

#include "base/state.hpp"

// BaseCode of a sequence character (A 0, G 1, C 2, T 3, - 4, M R W S Y K B D H V 5..14,
// N ? 15), -1 for '.', -2 for a character outside the table.
int base_code(char c);
// Printed letter of a BaseCode ("AGCT-MRWSYKBDHVN").
char base_letter(int code);
// The state set of a code as four 0/1 flags in the order A, G, C, T (gap and N: all four).
const int* code_states(int code);

// Reads the sequences from the infile text, starting at `offset` (just past the header),
// into alignment.TaxonNames and alignment.ppBase. Stops the run on malformed input.
void parse_sequences(const std::string& text, size_t offset);
struct OtherAlignment;
// An alignment read by the other formats' readers: the counts (settings.ntaxa, nsites, as a
// sequential file), then, where parse_sequences would run, the names and sequences with the
// checks of the programs' own format (names up to 64 characters).
void set_dimensions(const OtherAlignment& a);
void set_sequences(const OtherAlignment& a);
// Codes w characters of each line buffer into ppBase columns c .. c + w - 1.
void code_block(const std::vector<std::string>& lines, int c, int w);

// Unique site patterns (ppBase_unique, site_counter, npat) and the summary to results.
void build_patterns();
// A bootstrap replicate: the sites used are drawn again with replacement, as many as there
// are, and the patterns take the counts of the draw (those never drawn are dropped); one
// line in results says so. The draws come from a SplitMix64 generator started at
// seed1 x 2^32 + seed2.
void resample_patterns(int32_t seed1, int32_t seed2);
void print_pattern_table();
void print_pattern_alignment();
