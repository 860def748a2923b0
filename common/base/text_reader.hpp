// A small tokenizer over a whole input file held in memory. It walks the text once,
// splitting it at whitespace (blank, tab, CR, LF, VT, FF) and keeping the line number of
// every token so that an input error can name the line it found.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct TextReader {
    const std::string* text = nullptr;
    size_t pos = 0;  // next character to look at
    int line = 1;    // line of the character at pos
};

// A reader positioned at `offset` of `text` (the line number counts the newlines before it).
TextReader make_reader(const std::string& text, size_t offset = 0);

bool is_space_char(char c);

// Skips whitespace, line ends included; false when the text is exhausted.
bool skip_space(TextReader& r);
// Skips blanks up to the end of the current line; true when a token follows on that line.
bool more_on_line(TextReader& r);
// Next whitespace-separated token, of at most max_len characters when max_len > 0 (the
// remainder of a longer word is left for the next call). false at the end of the text.
bool next_token(TextReader& r, std::string& tok, int* tok_line, size_t max_len = 0);
// Tokens of the next line that holds any; false at the end of the text.
bool next_line_tokens(TextReader& r, std::vector<std::string>& toks, int* tok_line);

enum NumberStatus { kNumberOk, kNotANumber, kOutOfRange, kUnderflow };
// The whole token as a signed 32-bit integer (optional sign, decimal digits).
NumberStatus parse_int_token(const std::string& tok, int& out);
// The whole token as a finite single-precision real, rounded as strtof rounds.
NumberStatus parse_float_token(const std::string& tok, float& out);

// s without the whitespace at either end.
std::string trimmed(const std::string& s);
// The next line of `text` from `pos` that holds anything but a comment ('#' first) or
// blanks, trimmed, with its number (counting from 1 in `line_no`); false at the end.
bool next_content_line(const std::string& text, size_t& pos, int& line_no, std::string& line);

// The token in a form fit for a one-line message: printable characters as they are,
// others as \xHH, at most 40 characters.
std::string printable(const std::string& tok);

// Bytes of the well-formed UTF-8 sequence of two to four bytes at t[i], or 0.
size_t utf8_sequence_length(const std::string& t, size_t i);
// Characters in t: a UTF-8 sequence counts once, any other byte once.
size_t utf8_length(const std::string& t);
// t followed by blanks up to `width` characters (not bytes).
std::string pad_to_width(const std::string& t, size_t width);
