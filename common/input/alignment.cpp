// The sequences of the infile: the programs' own format (sequential or interleaved) and the
// alignments the other formats' readers give, with the checks of names and characters.
#include "input/alignment.hpp"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <unordered_map>

#include "base/base_codes.hpp"
#include "base/fatal.hpp"
#include "base/state.hpp"
#include "base/text_reader.hpp"
#include "input/alignment_formats.hpp"

// NEXUS readers take an unquoted '_' for a blank and ignore the case of letters, so two names
// that differ only there are one taxon to them, in paupfile.nex and in every tree written.
static bool same_to_nexus(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        const int x = a[k] == '_' ? ' ' : toupper(static_cast<unsigned char>(a[k]));
        const int y = b[k] == '_' ? ' ' : toupper(static_cast<unsigned char>(b[k]));
        if (x != y) return false;
    }
    return true;
}

// Taxon i (from 0, on line `line`) must not share its name with an earlier one, as it is
// or as NEXUS reads it; `lines` holds the earlier names' lines.
static void check_distinct_name(const std::string& name, int i, int line, const std::vector<int>& lines) {
    for (int k = 0; k < i; ++k) {
        const std::string& other = alignment.TaxonNames[k];
        if (other == name)
            input_error("infile", line, "taxa %d and %d have the same name '%s'", k + 1, i + 1,
                        name.c_str());
        if (same_to_nexus(other, name))
            input_error("infile", line, "the names of taxa %d ('%s', line %d) and %d ('%s') are one "
                        "name to NEXUS readers, which read '_' as a blank and ignore case; rename "
                        "one of them", k + 1, printable(other).c_str(), lines[k], i + 1,
                        printable(name).c_str());
    }
}

// A name goes into Newick trees and the NEXUS matrix unquoted, so it must fit the name
// column and hold none of their punctuation; two equal names would make the trees ambiguous.
static void check_name(const std::string& name, int i, int line, const std::vector<int>& lines) {
    // A line without its name shows up as a "name" made of sequence letters.
    const size_t length = utf8_length(name);
    bool all_codes = length > 10;
    for (char c : name) all_codes = all_codes && base_code(c) != -2;
    if (all_codes)
        input_error("infile", line, "the name of taxon %d is missing: '%s' is a sequence", i + 1,
                    printable(name).c_str());
    if (length > 10)
        input_error("infile", line, "the name of taxon %d, '%s', is longer than 10 characters",
                    i + 1, printable(name).c_str());
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            input_error("infile", line, "the name of taxon %d, '%s', contains a control "
                        "character", i + 1, printable(name).c_str());
    for (char c : name)
        for (const char* bad = "()[],:;'"; *bad != '\0'; ++bad)
            if (c == *bad)
                input_error("infile", line, "the name of taxon %d, '%s', contains '%c', which "
                            "tree files cannot hold", i + 1, name.c_str(), c);
    check_distinct_name(name, i, line, lines);
}

// Every character of a piece of sequence i that starts at site col (0-based) must be in
// the coding table, and a '.' needs a base of the first sequence above it.
static void check_characters(const std::string& seq, int i, int col, int line) {
    const char* name = alignment.TaxonNames[i].c_str();
    const char* chars = seq.data();
    for (size_t j = 0; j < seq.size(); ++j) {
        const int code = base_code(chars[j]);
        if (code >= 0) continue;
        if (code == -2)
            input_error("infile", line, "taxon %s, site %d: '%s' is not a nucleotide or "
                        "ambiguity code", name, col + static_cast<int>(j) + 1,
                        printable(seq.substr(j, 1)).c_str());
        if (code == -1 && i == 0)
            input_error("infile", line, "taxon %s, site %d: '.' in the first sequence has no "
                        "base above it to copy", name, col + static_cast<int>(j) + 1);
    }
}

void code_block(const std::vector<std::string>& lines, int c, int w) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (static_cast<int>(lines[i].size()) < w)
            input_error("infile", 0, "the sequence of taxon %s is shorter than its block",
                        alignment.TaxonNames[i].c_str());
        int* row = alignment.ppBase[i].data() + c;
        const int* first = alignment.ppBase[0].data() + c;
        const char* chars = lines[i].data();
        for (int j = 0; j < w; ++j) {
            int code = base_code(chars[j]);
            // '.' repeats the first sequence, whose row is coded first.
            if (code == -1 && i > 0) code = first[j];
            if (code < 0)
                input_error("infile", 0, "taxon %s, site %d: '%s' cannot be coded",
                            alignment.TaxonNames[i].c_str(), c + j + 1,
                            printable(lines[i].substr(j, 1)).c_str());
            row[j] = code;
        }
    }
}

static void read_sequential(TextReader& r, std::vector<std::string>& lines, std::vector<int>& name_lines) {
    const int n = settings.ntaxa, s = settings.nsites;
    std::string name;
    for (int i = 0; i < n; ++i) {
        int line = 0;
        if (!next_token(r, name, &line))
            input_error("infile", r.line, "the file ends before taxon %d of %d", i + 1, n);
        check_name(name, i, line, name_lines);
        alignment.TaxonNames[i] = name;
        name_lines[i] = line;
        if (!next_token(r, lines[i], &line))
            input_error("infile", r.line, "the file ends before the sequence of taxon %s",
                        name.c_str());
        if (static_cast<int>(lines[i].size()) != s)
            input_error("infile", line, "the sequence of taxon %s has %zu sites, but nsites "
                        "is %d", name.c_str(), lines[i].size(), s);
        check_characters(lines[i], i, 0, line);
    }
    code_block(lines, 0, s);
}

// Each block holds one line per taxon (the first block with the names in front); the
// groups of a line together make up exactly the block's width.
static void read_interleaved(TextReader& r, std::vector<std::string>& lines, std::vector<int>& name_lines) {
    const Settings& st = settings;
    const int n = st.ntaxa;
    std::vector<std::string> toks;
    for (int k = 0; k < st.nblocks; ++k) {
        const int width = k < st.nblocks - 1 ? st.block_width : st.last_width;
        const int col = k * st.block_width;
        for (int i = 0; i < n; ++i) {
            int line = 0;
            if (!next_line_tokens(r, toks, &line)) {
                if (k == 0)
                    input_error("infile", r.line, "the file ends before taxon %d of %d", i + 1,
                                n);
                input_error("infile", r.line, "the file ends before block %d of taxon %s",
                            k + 1, alignment.TaxonNames[i].c_str());
            }
            size_t first = 0;
            if (k == 0) {
                check_name(toks[0], i, line, name_lines);
                alignment.TaxonNames[i] = toks[0];
                name_lines[i] = line;
                first = 1;
            }
            lines[i].clear();
            for (size_t g = first; g < toks.size(); ++g) lines[i] += toks[g];
            if (static_cast<int>(lines[i].size()) != width)
                input_error("infile", line, "block %d of taxon %s has %zu sites, but the block "
                            "holds %d", k + 1, alignment.TaxonNames[i].c_str(), lines[i].size(),
                            width);
            check_characters(lines[i], i, col, line);
        }
        code_block(lines, col, width);
    }
}

void parse_sequences(const std::string& text, size_t offset) {
    const int n = settings.ntaxa, s = settings.nsites;
    alignment.TaxonNames.assign(n, std::string());
    alignment.ppBase.assign(n, std::vector<int>(static_cast<size_t>(s) + 1, 0));
    std::vector<std::string> lines(n);
    std::vector<int> name_lines(n, 0);
    TextReader r = make_reader(text, offset);
    if (settings.layout == 2)
        read_interleaved(r, lines, name_lines);
    else
        read_sequential(r, lines, name_lines);
    // Text after the last sequence is most often a taxon the header does not count; running
    // without it would give a tree of fewer taxa than the user has.
    std::string extra;
    int line = 0;
    if (next_token(r, extra, &line)) {
        const std::string blocks =
            settings.layout == 2 ? " in " + std::to_string(settings.nblocks) + " blocks" : "";
        input_error("infile", line, "'%s' follows the last sequence, but the header gives %d "
                    "taxa%s", printable(extra).c_str(), n, blocks.c_str());
    }
}

// Names of the other formats: up to 64 characters, none of them a control character, each
// taxon's own. Tree files quote them where Newick or NEXUS needs it.
constexpr size_t kLongNameLimit = 64;

void set_dimensions(const OtherAlignment& a) {
    const int n = static_cast<int>(a.names.size());
    if (n < 3)
        input_error("infile", 0, "%s with %d sequences; a tree search needs at least 3",
                    a.format.c_str(), n);
    for (int i = 0; i < n; ++i)
        if (a.seqs[i].empty())
            input_error("infile", a.name_lines[i], "the sequence of taxon %s is empty",
                        printable(a.names[i]).c_str());
    settings.ntaxa = n;
    settings.nsites = static_cast<int>(a.seqs[0].size());
    settings.layout = 1;
    settings.block_width = settings.nsites;
    settings.nblocks = settings.group_width = settings.last_width = 0;
}

void set_sequences(const OtherAlignment& a) {
    const int n = settings.ntaxa, s = settings.nsites;
    alignment.TaxonNames.assign(n, std::string());
    alignment.ppBase.assign(n, std::vector<int>(static_cast<size_t>(s) + 1, 0));
    for (int i = 0; i < n; ++i) {
        const std::string& name = a.names[i];
        const int line = a.name_lines[i];
        if (name.empty()) input_error("infile", line, "taxon %d has an empty name", i + 1);
        if (utf8_length(name) > kLongNameLimit)
            input_error("infile", line, "the name of taxon %d, '%s', is longer than %zu characters",
                        i + 1, printable(name).c_str(), kLongNameLimit);
        for (char c : name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                input_error("infile", line, "the name of taxon %d, '%s', contains a control "
                            "character", i + 1, printable(name).c_str());
        check_distinct_name(name, i, line, a.name_lines);
        alignment.TaxonNames[i] = name;
        if (static_cast<int>(a.seqs[i].size()) != s)
            input_error("infile", line, "the sequence of taxon %s has %zu sites, but that of %s "
                        "has %d", name.c_str(), a.seqs[i].size(), a.names[0].c_str(), s);
        check_characters(a.seqs[i], i, 0, line);
    }
    code_block(a.seqs, 0, s);
}

