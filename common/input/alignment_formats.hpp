// Alignments in FASTA, PHYLIP or NEXUS, recognised from the file's content.
#pragma once

#include <string>
#include <vector>

struct OtherAlignment {
    std::string format;              // "FASTA", "PHYLIP (relaxed, sequential)", "NEXUS", ...
    std::vector<std::string> names;  // as written (NEXUS quotes taken off)
    std::vector<int> name_lines;     // the line of each name
    std::vector<std::string> seqs;   // sequence characters, blanks taken out, U read as T
};

// Whether the text starts with seven integers: the programs' own header, tried first.
bool starts_with_own_header(const std::string& text);
// Whether the text starts as FASTA ('>'), NEXUS ("#NEXUS") or PHYLIP (two integers on the
// first line, then a word that is not one): anything else goes to the programs' own
// reader, whose messages name the header field at fault.
bool in_other_format(const std::string& text);
// Reads FASTA (first character '>'), NEXUS ("#NEXUS") or else PHYLIP. A file that none of
// them reads stops the run with one line naming the formats read and where the file departs
// from the nearest one.
void read_other_format(const std::string& text, OtherAlignment& out);

// An infile text read in two steps, as a run needs them: its dimensions (into settings)
// first, its sequences (into alignment) later. The programs' own format is tried first;
// anything else is FASTA, PHYLIP or NEXUS.
struct InfileText {
    bool own_format = true;
    size_t offset = 0;     // own format: where the sequences start
    OtherAlignment other;  // the other formats: the alignment as read
};
InfileText read_infile_dimensions(const std::string& text);
void read_infile_sequences(const std::string& text, InfileText& in);
