// The header of the programs' own infile format: seven integers giving the taxa, the sites
// and the layout of the sequences (sequential, or interleaved in blocks).
#include "input/infile_header.hpp"

#include "base/fatal.hpp"
#include "base/state.hpp"
#include "base/text_reader.hpp"

static const char* const kHeaderNames[7] = {"ntaxa",       "nsites",      "layout",    "nblocks",
                                            "block_width", "group_width", "last_width"};

size_t parse_infile_header(const std::string& text) {
    int* const fields[7] = {&settings.ntaxa,       &settings.nsites,      &settings.layout,
                            &settings.nblocks,     &settings.block_width, &settings.group_width,
                            &settings.last_width};
    int lines[7] = {1, 1, 1, 1, 1, 1, 1};
    TextReader r = make_reader(text);
    std::string tok;
    for (int k = 0; k < 7; ++k) {
        if (!next_token(r, tok, &lines[k]))
            input_error("infile", r.line, "the header ends before field %d (%s); it needs seven "
                        "integers", k + 1, kHeaderNames[k]);
        const NumberStatus st = parse_int_token(tok, *fields[k]);
        // A file that does not even begin with a number is in none of the formats read.
        if (st == kNotANumber && k == 0)
            input_error("infile", lines[k], "not in a format the program reads (its own, FASTA, "
                        "PHYLIP or NEXUS); it begins with '%s', where its own format and PHYLIP "
                        "begin with the number of sequences, FASTA with '>' and NEXUS with "
                        "'#NEXUS'", printable(tok).c_str());
        if (st == kNotANumber)
            input_error("infile", lines[k], "header field %d (%s) is '%s', not an integer", k + 1,
                        kHeaderNames[k], printable(tok).c_str());
        if (st == kOutOfRange)
            input_error("infile", lines[k], "header field %d (%s) is %s, out of range", k + 1,
                        kHeaderNames[k], printable(tok).c_str());
    }
    Settings& s = settings;
    if (s.layout != 1 && s.layout != 2) fatal("Error in data format specification\n");
    if (s.ntaxa < 3)
        input_error("infile", lines[0], "ntaxa is %d; a tree search needs at least 3 sequences",
                    s.ntaxa);
    if (s.nsites < 1)
        input_error("infile", lines[1], "nsites is %d; there must be at least one site",
                    s.nsites);
    if (s.layout == 1) {
        s.block_width = s.nsites;
    } else {
        if (s.nblocks < 2)
            input_error("infile", lines[3], "nblocks is %d; an interleaved file has at least 2 "
                        "blocks", s.nblocks);
        for (int k = 4; k < 7; ++k)
            if (*fields[k] <= 0)
                input_error("infile", lines[k], "%s is %d; it must be positive", kHeaderNames[k],
                            *fields[k]);
        const long long total =
            static_cast<long long>(s.nblocks - 1) * s.block_width + s.last_width;
        if (total != s.nsites)
            input_error("infile", lines[6], "the blocks hold (%d - 1) * %d + %d = %lld sites, "
                        "but nsites is %d", s.nblocks, s.block_width, s.last_width, total,
                        s.nsites);
    }
    // Every site of every sequence takes at least one byte of the file.
    if (static_cast<long long>(s.ntaxa) * s.nsites > static_cast<long long>(text.size()))
        input_error("infile", lines[1], "%d sequences of %d sites cannot fit in a file of %zu "
                    "bytes", s.ntaxa, s.nsites, text.size());
    return r.pos;
}

