// The recommended settings for one alignment: the fixed recommendation with the lines that
// must grow with its size (the move cap, the stopping rule on a flat log-likelihood) derived
// from its number of sequences and site patterns.
#pragma once

#include <string>

// The settings text that --write-settings and the one-command form write for the alignment
// `text` (any format the programs read), and the sizes they were derived from. A text that
// cannot be read stops the program with the reader's message, as a run would.
std::string recommended_settings_text_for(const std::string& text, int& ntaxa, int& npat);
// The fixed recommendation, for a folder without an alignment.
std::string recommended_settings_text();
