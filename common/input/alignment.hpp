// The sequences of the infile: the programs' own format and the alignments the other
// formats' readers give, coded into the alignment record.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

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
