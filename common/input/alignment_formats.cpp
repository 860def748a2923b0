// The alignment formats users have besides the programs' own: FASTA, PHYLIP (strict or
// relaxed names, sequential or interleaved) and NEXUS (a DATA or CHARACTERS block). Each
// reader gives names and sequence text; the checks and the coding are those of the
// programs' own format, so an alignment gives the same data whatever format it came in.
#include "input/alignment_formats.hpp"

#include <cctype>
#include <cstring>

#include "base/fatal.hpp"
#include "base/text_reader.hpp"
#include "input/alignment.hpp"
#include "input/infile_header.hpp"

namespace {

struct Line {
    std::string text;
    int number;
};

// The file's lines without their line ends (LF or CRLF).
std::vector<Line> split_lines(const std::string& text) {
    std::vector<Line> lines;
    size_t start = 0;
    int number = 1;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string t = text.substr(start, end - start);
        if (!t.empty() && t.back() == '\r') t.pop_back();
        lines.push_back({t, number++});
        if (end == text.size()) break;
        start = end + 1;
    }
    return lines;
}

bool blank(const std::string& t) {
    for (const char c : t)
        if (!is_space_char(c)) return false;
    return true;
}

std::vector<std::string> tokens_of(const std::string& t) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < t.size()) {
        while (i < t.size() && is_space_char(t[i])) ++i;
        size_t j = i;
        while (j < t.size() && !is_space_char(t[j])) ++j;
        if (j > i) out.push_back(t.substr(i, j - i));
        i = j;
    }
    return out;
}

// Appends the characters of t other than blanks.
void append_sites(std::string& seq, const std::string& t) {
    for (const char c : t)
        if (!is_space_char(c)) seq += c;
}

bool upper_equals(const std::string& a, const char* b) {
    if (a.size() != strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (toupper(static_cast<unsigned char>(a[i])) != b[i]) return false;
    return true;
}

// Where a reading failed, for the one-line message of a file in no format.
struct Failure {
    int line = 0;
    std::string what;
    int progress = -2;  // how far the reader got, to pick the nearest format
};

void fail_at(Failure& f, int line, int progress, const std::string& what) {
    if (progress > f.progress) {
        f.line = line;
        f.what = what;
        f.progress = progress;
    }
}

// ---------------------------------------------------------------------------------------
// FASTA: a '>' line names a sequence (its first word; the rest is a description), the
// lines up to the next '>' hold it.

bool read_fasta(const std::vector<Line>& lines, OtherAlignment& out, Failure& f) {
    for (const Line& l : lines) {
        if (!l.text.empty() && l.text[0] == '>') {
            const std::vector<std::string> t = tokens_of(l.text.substr(1));
            if (t.empty()) {
                fail_at(f, l.number, static_cast<int>(out.names.size()), "a '>' line without a name");
                return false;
            }
            out.names.push_back(t[0]);
            out.name_lines.push_back(l.number);
            out.seqs.emplace_back();
        } else if (!blank(l.text)) {
            if (out.names.empty()) {
                fail_at(f, l.number, 0, "sequence text before the first '>' line");
                return false;
            }
            append_sites(out.seqs.back(), l.text);
        }
    }
    out.format = "FASTA";
    return true;
}

// ---------------------------------------------------------------------------------------
// PHYLIP: "ntaxa nsites" on the first line, then either each sequence in turn (wrapped over
// any number of lines) or blocks of one line per taxon; names are the first word (relaxed)
// or the first ten characters (strict).

// The name of a line and the rest of it.
void split_name(const std::string& t, bool strict, std::string& name, std::string& rest) {
    if (strict) {
        name = t.substr(0, t.size() < 10 ? t.size() : 10);
        rest = t.size() > 10 ? t.substr(10) : std::string();
        while (!name.empty() && is_space_char(name.back())) name.pop_back();
        size_t lead = 0;
        while (lead < name.size() && is_space_char(name[lead])) ++lead;
        name = name.substr(lead);
        return;
    }
    size_t i = 0;
    while (i < t.size() && is_space_char(t[i])) ++i;
    size_t j = i;
    while (j < t.size() && !is_space_char(t[j])) ++j;
    name = t.substr(i, j - i);
    rest = t.substr(j);
}

bool phylip_sequential(const std::vector<Line>& body, int n, int s, bool strict,
                       OtherAlignment& out, Failure& f) {
    size_t k = 0;
    for (int i = 0; i < n; ++i) {
        while (k < body.size() && blank(body[k].text)) ++k;
        if (k == body.size()) {
            fail_at(f, body.empty() ? 1 : body.back().number, i, "the file ends before taxon " +
                    std::to_string(i + 1) + " of " + std::to_string(n));
            return false;
        }
        std::string name, rest;
        split_name(body[k].text, strict, name, rest);
        out.names.push_back(name);
        out.name_lines.push_back(body[k].number);
        std::string seq;
        append_sites(seq, rest);
        ++k;
        while (static_cast<int>(seq.size()) < s && k < body.size()) append_sites(seq, body[k++].text);
        if (static_cast<int>(seq.size()) != s) {
            fail_at(f, body[k - 1].number, i, "the sequence of " + name + " has " +
                    std::to_string(seq.size()) + " sites, not " + std::to_string(s));
            return false;
        }
        out.seqs.push_back(seq);
    }
    while (k < body.size() && blank(body[k].text)) ++k;
    if (k < body.size()) {
        fail_at(f, body[k].number, n, "text follows the last of the " + std::to_string(n) + " sequences");
        return false;
    }
    return true;
}

bool phylip_interleaved(const std::vector<Line>& body, int n, int s, bool strict,
                        OtherAlignment& out, Failure& f) {
    int row = 0;
    for (const Line& l : body) {
        if (blank(l.text)) continue;
        const int i = row % n;
        std::string name, rest = l.text;
        if (row < n) {
            split_name(l.text, strict, name, rest);
            out.names.push_back(name);
            out.name_lines.push_back(l.number);
            out.seqs.emplace_back();
        } else {
            // Later blocks may repeat the names.
            std::string first, after;
            split_name(l.text, false, first, after);
            if (first == out.names[i]) rest = after;
        }
        append_sites(out.seqs[i], rest);
        if (static_cast<int>(out.seqs[i].size()) > s) {
            fail_at(f, l.number, i, "the sequence of " + out.names[i] + " runs past " +
                    std::to_string(s) + " sites");
            return false;
        }
        ++row;
    }
    for (int i = 0; i < n; ++i)
        if (i >= static_cast<int>(out.seqs.size()) || static_cast<int>(out.seqs[i].size()) != s) {
            fail_at(f, body.empty() ? 1 : body.back().number, i,
                    "the blocks do not give every sequence " + std::to_string(s) + " sites");
            return false;
        }
    return true;
}

bool read_phylip(const std::vector<Line>& lines, OtherAlignment& out, Failure& f) {
    size_t k = 0;
    while (k < lines.size() && blank(lines[k].text)) ++k;
    if (k == lines.size()) return false;
    const std::vector<std::string> head = tokens_of(lines[k].text);
    int n = 0, s = 0;
    if (head.size() < 2 || parse_int_token(head[0], n) != kNumberOk ||
        parse_int_token(head[1], s) != kNumberOk || n < 1 || s < 1) {
        fail_at(f, lines[k].number, -1, "a PHYLIP file starts with the numbers of taxa and sites");
        return false;
    }
    const std::vector<Line> body(lines.begin() + static_cast<long>(k) + 1, lines.end());
    for (const bool strict : {false, true})
        for (const bool interleaved : {false, true}) {
            OtherAlignment a;
            const bool done = interleaved ? phylip_interleaved(body, n, s, strict, a, f)
                                          : phylip_sequential(body, n, s, strict, a, f);
            if (done) {
                out = a;
                out.format = std::string("PHYLIP (") + (strict ? "strict" : "relaxed") + ", " +
                             (interleaved ? "interleaved" : "sequential") + ")";
                return true;
            }
        }
    return false;
}

// ---------------------------------------------------------------------------------------
// NEXUS: a DATA or CHARACTERS block with DIMENSIONS, FORMAT and MATRIX.

struct NexusToken {
    std::string text;
    int line;
    bool quoted;  // a 'quoted' word: never punctuation, whatever it holds
};

bool is_punct(const NexusToken& t, const char* p) { return !t.quoted && t.text == p; }

// Words, quoted names and the punctuation ; = as tokens; [comments] dropped. A quote or a
// comment left open is named by the line where it opens (`open_line`, with `open_what`).
std::vector<NexusToken> nexus_tokens(const std::string& t, int& open_line, const char*& open_what) {
    std::vector<NexusToken> out;
    open_line = 0;
    int line = 1;
    size_t i = 0;
    while (i < t.size()) {
        const char c = t[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (is_space_char(c)) {
            ++i;
        } else if (c == '[') {
            const int opens = line;
            int depth = 0;
            while (i < t.size()) {
                if (t[i] == '[') ++depth;
                if (t[i] == ']' && --depth == 0) break;
                if (t[i] == '\n') ++line;
                ++i;
            }
            if (i >= t.size() && open_line == 0) {
                open_line = opens;
                open_what = "a comment opens here, and its '[' is never closed with ']'";
            }
            ++i;
        } else if (c == '\'') {
            const int opens = line;
            std::string q;
            bool closed = false;
            ++i;
            while (i < t.size()) {
                if (t[i] == '\'' && i + 1 < t.size() && t[i + 1] == '\'') {
                    q += '\'';
                    i += 2;
                } else if (t[i] == '\'') {
                    ++i;
                    closed = true;
                    break;
                } else {
                    line += t[i] == '\n' ? 1 : 0;
                    q += t[i++];
                }
            }
            if (!closed && open_line == 0) {
                open_line = opens;
                open_what = "a quoted name opens here, and its quote ' is never closed";
            }
            out.push_back({q, opens, true});
        } else if (c == '"') {  // a double-quoted value such as that of EQUATE, as one token
            const size_t end = t.find('"', i + 1);
            const size_t stop = end == std::string::npos ? t.size() : end;
            if (end == std::string::npos && open_line == 0) {
                open_line = line;
                open_what = "a quoted value opens here, and its quote \" is never closed";
            }
            out.push_back({t.substr(i + 1, stop - i - 1), line, true});
            for (size_t j = i; j < stop; ++j) line += t[j] == '\n' ? 1 : 0;
            i = stop + 1;
        } else if (c == ';' || c == '=') {
            out.push_back({std::string(1, c), line, false});
            ++i;
        } else {
            size_t j = i;
            while (j < t.size() && !is_space_char(t[j]) && t[j] != ';' && t[j] != '=' &&
                   t[j] != '[' && t[j] != '\'')
                ++j;
            out.push_back({t.substr(i, j - i), line, false});
            i = j;
        }
    }
    return out;
}

// The bases a nucleotide code stands for (A 1, C 2, G 4, T 8), 0 for anything else.
int code_bases(char c) {
    static const char* const kLetters = "?ACMGRSVTWYHKDBN";  // index = the set of bases
    const char u = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    if (u == 'U') return 8;
    const char* at = u != '?' ? strchr(kLetters + 1, u) : nullptr;
    return at != nullptr && *at != '\0' ? static_cast<int>(at - kLetters) : 0;
}

// EQUATE="X=N Z=(CT) ...": each symbol stands for a code, or for the code of a set of bases
// in ( ) or { }. Returns false, naming the entry in `bad`, for one that is neither.
// A symbol that is itself a code (a nucleotide, an ambiguity code, '-', '?' or '.') cannot
// be equated: `redefines` says so.
bool read_equate(const std::string& value, bool respect_case, char (&equate)[256], std::string& bad,
                 bool& redefines) {
    size_t i = 0;
    while (i < value.size()) {
        while (i < value.size() && is_space_char(value[i])) ++i;
        if (i >= value.size()) break;
        const size_t start = i;
        while (i < value.size() && !is_space_char(value[i])) ++i;
        const std::string entry = value.substr(start, i - start);
        if (code_bases(entry[0]) != 0 || entry[0] == '-' || entry[0] == '?' || entry[0] == '.') {
            bad = entry;
            redefines = true;
            return false;
        }
        char code = 0;
        if (entry.size() == 3 && entry[1] == '=' &&
            (code_bases(entry[2]) != 0 || entry[2] == '?' || entry[2] == '-' || toupper(entry[2]) == 'N')) {
            code = entry[2];
        } else if (entry.size() >= 5 && entry[1] == '=' &&
                   ((entry[2] == '(' && entry.back() == ')') || (entry[2] == '{' && entry.back() == '}'))) {
            int bases = 0;
            bool all_codes = true;
            for (size_t k = 3; k + 1 < entry.size(); ++k) {
                const int b = code_bases(entry[k]);
                all_codes = all_codes && b != 0;
                bases |= b;
            }
            if (all_codes && bases > 0) code = "?ACMGRSVTWYHKDBN"[bases];
        }
        if (code == 0) {
            bad = entry;
            return false;
        }
        if (respect_case) {
            equate[static_cast<unsigned char>(entry[0])] = code;
        } else {
            equate[static_cast<unsigned char>(toupper(static_cast<unsigned char>(entry[0])))] = code;
            equate[static_cast<unsigned char>(tolower(static_cast<unsigned char>(entry[0])))] = code;
        }
    }
    return true;
}

bool read_nexus(const std::string& text, OtherAlignment& out, Failure& f) {
    int open_line = 0;
    const char* open_what = "";
    const std::vector<NexusToken> tok = nexus_tokens(text, open_line, open_what);
    if (open_line > 0) {
        fail_at(f, open_line, 0, open_what);
        return false;
    }
    int ntax = 0, nchar = 0;
    char missing = '?', gap = '-', match = '.';
    bool interleave = false, in_block = false, seen_matrix = false;
    bool respect_case = false;
    std::string equate_value;
    int equate_line = 0;
    for (size_t k = 0; k < tok.size(); ++k) {
        const NexusToken& t = tok[k];
        if (!t.quoted && upper_equals(t.text, "BEGIN") && k + 1 < tok.size()) {
            in_block = upper_equals(tok[k + 1].text, "DATA") || upper_equals(tok[k + 1].text, "CHARACTERS") ||
                       upper_equals(tok[k + 1].text, "TAXA");
            continue;
        }
        if (!in_block || t.quoted) continue;
        // name = value pairs of DIMENSIONS and FORMAT
        if (k + 2 < tok.size() && is_punct(tok[k + 1], "=")) {
            const std::string& v = tok[k + 2].text;
            if (upper_equals(t.text, "NTAX")) parse_int_token(v, ntax);
            if (upper_equals(t.text, "NCHAR")) parse_int_token(v, nchar);
            // A nucleotide or ambiguity letter cannot also mean missing, a gap or "as above":
            // every such base of the matrix would be read as that. MISSING=N means what N does.
            const bool symbol_key = upper_equals(t.text, "MISSING") || upper_equals(t.text, "GAP") ||
                                    upper_equals(t.text, "MATCHCHAR");
            const bool missing_n = upper_equals(t.text, "MISSING") && upper_equals(v, "N");
            if (symbol_key && v.size() == 1 && code_bases(v[0]) != 0 && !missing_n) {
                fail_at(f, t.line, 0, t.text + "=" + v + " would read every '" + v +
                        "' of the matrix, a nucleotide code, as something else");
                return false;
            }
            if (upper_equals(t.text, "MISSING") && v.size() == 1) missing = v[0];
            if (upper_equals(t.text, "GAP") && v.size() == 1) gap = v[0];
            if (upper_equals(t.text, "MATCHCHAR") && v.size() == 1) match = v[0];
            if (upper_equals(t.text, "INTERLEAVE")) interleave = !upper_equals(v, "NO");
            if (upper_equals(t.text, "EQUATE")) {
                equate_value += " " + v;
                equate_line = t.line;
            }
            if (upper_equals(t.text, "DATATYPE") && !upper_equals(v, "DNA") &&
                !upper_equals(v, "NUCLEOTIDE") && !upper_equals(v, "RNA")) {
                fail_at(f, t.line, 0, "DATATYPE=" + v + ": only DNA, RNA and NUCLEOTIDE data are read");
                return false;
            }
            continue;
        }
        if (upper_equals(t.text, "INTERLEAVE")) interleave = true;
        if (upper_equals(t.text, "RESPECTCASE")) respect_case = true;
        if (!upper_equals(t.text, "MATRIX")) continue;
        seen_matrix = true;
        // Symbols of EQUATE stand for codes; without RESPECTCASE in either case.
        char equate[256] = {};
        std::string bad;
        bool redefines = false;
        if (!read_equate(equate_value, respect_case, equate, bad, redefines)) {
            fail_at(f, equate_line, 0, redefines ? "EQUATE entry '" + bad + "' would redefine '" +
                    bad.substr(0, 1) + "', itself a nucleotide, ambiguity, gap or missing code"
                    : "EQUATE entry '" + bad + "' is not a symbol = a nucleotide code or a set of bases such as (CT)");
            return false;
        }
        if (ntax < 1 || nchar < 1) {
            fail_at(f, t.line, 0, "MATRIX without DIMENSIONS NTAX= and NCHAR= before it");
            return false;
        }
        size_t m = k + 1;
        int row = 0;
        while (m < tok.size() && !is_punct(tok[m], ";")) {
            const int i = row % ntax;
            // A row: its name, then sequence words up to the end of the line (interleaved)
            // or up to NCHAR sites (sequential).
            if (row < ntax) {
                out.names.push_back(tok[m].text);
                out.name_lines.push_back(tok[m].line);
                out.seqs.emplace_back();
            } else if (tok[m].text != out.names[i]) {
                fail_at(f, tok[m].line, i, "'" + tok[m].text + "' where the name " + out.names[i] + " was expected");
                return false;
            }
            const int line = tok[m].line;
            ++m;
            std::string& seq = out.seqs[i];
            while (m < tok.size() && !is_punct(tok[m], ";") &&
                   (interleave ? tok[m].line == line : static_cast<int>(seq.size()) < nchar)) {
                for (char c : tok[m].text) {
                    if (equate[static_cast<unsigned char>(c)] != 0) c = equate[static_cast<unsigned char>(c)];
                    if (c == match) c = '.';
                    else if (c == missing) c = '?';
                    else if (c == gap) c = '-';
                    seq += c;
                }
                ++m;
            }
            ++row;
        }
        if (static_cast<int>(out.names.size()) != ntax) {
            fail_at(f, m < tok.size() ? tok[m].line : 0, static_cast<int>(out.names.size()),
                    "the MATRIX holds " + std::to_string(out.names.size()) + " taxa, not NTAX=" +
                        std::to_string(ntax));
            return false;
        }
        for (int i = 0; i < ntax; ++i)
            if (static_cast<int>(out.seqs[i].size()) != nchar) {
                fail_at(f, out.name_lines[i], i, "the sequence of " + out.names[i] + " has " +
                        std::to_string(out.seqs[i].size()) + " sites, not NCHAR=" + std::to_string(nchar));
                return false;
            }
        out.format = "NEXUS";
        return true;
    }
    if (!seen_matrix) fail_at(f, tok.empty() ? 1 : tok.back().line, 0, "no DATA or CHARACTERS block with a MATRIX");
    return false;
}

}  // namespace

bool starts_with_own_header(const std::string& text) {
    TextReader r = make_reader(text);
    std::string tok;
    int line = 0, value = 0;
    for (int k = 0; k < 7; ++k)
        if (!next_token(r, tok, &line) || parse_int_token(tok, value) != kNumberOk) return false;
    return true;
}

bool in_other_format(const std::string& text) {
    TextReader r = make_reader(text);
    std::string tok;
    int line = 0, value = 0;
    if (!next_token(r, tok, &line)) return false;
    if (tok[0] == '>' || upper_equals(tok.substr(0, 6), "#NEXUS")) return true;
    // PHYLIP: two integers on the first line, then a name rather than more header fields.
    if (line != 1 || parse_int_token(tok, value) != kNumberOk) return false;
    if (!next_token(r, tok, &line) || line != 1 || parse_int_token(tok, value) != kNumberOk)
        return false;
    return next_token(r, tok, &line) && parse_int_token(tok, value) != kNumberOk;
}

void read_other_format(const std::string& text, OtherAlignment& out) {
    const std::vector<Line> lines = split_lines(text);
    size_t k = 0;
    while (k < lines.size() && blank(lines[k].text)) ++k;
    const std::string first = k < lines.size() ? lines[k].text : std::string();
    size_t lead = 0;
    while (lead < first.size() && is_space_char(first[lead])) ++lead;
    Failure f;
    const char* nearest = "PHYLIP";
    bool done = false;
    if (lead < first.size() && first[lead] == '>') {
        nearest = "FASTA";
        done = read_fasta(lines, out, f);
    } else if (upper_equals(first.substr(lead, 6), "#NEXUS")) {
        nearest = "NEXUS";
        done = read_nexus(text, out, f);
    } else {
        done = read_phylip(lines, out, f);
    }
    if (!done)
        input_error("infile", f.line, "not in a format the program reads (its own, FASTA, PHYLIP "
                    "or NEXUS); read as %s, it fails here: %s", nearest, f.what.c_str());
    // RNA: U is read as T.
    for (std::string& s : out.seqs)
        for (char& c : s)
            if (c == 'U') c = 'T';
            else if (c == 'u') c = 't';
}

InfileText read_infile_dimensions(const std::string& text) {
    InfileText in;
    in.own_format = starts_with_own_header(text) || !in_other_format(text);
    if (in.own_format) {
        in.offset = parse_infile_header(text);
    } else {
        read_other_format(text, in.other);
        set_dimensions(in.other);
    }
    return in;
}

void read_infile_sequences(const std::string& text, InfileText& in) {
    if (in.own_format)
        parse_sequences(text, in.offset);
    else
        set_sequences(in.other);
    in.other = OtherAlignment{};
}
