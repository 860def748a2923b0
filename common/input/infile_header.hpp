// The header of the programs' own infile format.
#pragma once

#include <cstddef>
#include <string>

// Parses the seven header integers at the start of the infile text into the settings record.
// Returns the offset just past the header, where the sequences start. Stops the run on a
// malformed header.
size_t parse_infile_header(const std::string& text);
