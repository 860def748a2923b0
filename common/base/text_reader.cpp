#include "base/text_reader.hpp"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

TextReader make_reader(const std::string& text, size_t offset) {
    TextReader r;
    r.text = &text;
    r.pos = offset < text.size() ? offset : text.size();
    for (size_t i = 0; i < r.pos; ++i)
        if (text[i] == '\n') ++r.line;
    return r;
}

bool is_space_char(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool skip_space(TextReader& r) {
    const char* t = r.text->data();
    const size_t size = r.text->size();
    while (r.pos < size && is_space_char(t[r.pos])) {
        if (t[r.pos] == '\n') ++r.line;
        ++r.pos;
    }
    return r.pos < size;
}

bool more_on_line(TextReader& r) {
    const std::string& t = *r.text;
    while (r.pos < t.size() && t[r.pos] != '\n' && is_space_char(t[r.pos])) ++r.pos;
    return r.pos < t.size() && t[r.pos] != '\n';
}

bool next_token(TextReader& r, std::string& tok, int* tok_line, size_t max_len) {
    tok.clear();
    if (!skip_space(r)) return false;
    if (tok_line != nullptr) *tok_line = r.line;
    const char* t = r.text->data();
    const size_t start = r.pos;
    const size_t end = max_len > 0 && r.text->size() - start > max_len ? start + max_len
                                                                       : r.text->size();
    while (r.pos < end && !is_space_char(t[r.pos])) ++r.pos;
    tok.assign(t + start, r.pos - start);
    return true;
}

bool next_line_tokens(TextReader& r, std::vector<std::string>& toks, int* tok_line) {
    toks.clear();
    if (!skip_space(r)) return false;
    if (tok_line != nullptr) *tok_line = r.line;
    std::string tok;
    do {
        next_token(r, tok, nullptr);
        toks.push_back(tok);
    } while (more_on_line(r));
    return true;
}

NumberStatus parse_int_token(const std::string& tok, int& out) {
    size_t i = 0;
    bool negative = false;
    if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) negative = tok[i++] == '-';
    if (i == tok.size()) return kNotANumber;
    long long value = 0;
    bool too_big = false;
    for (; i < tok.size(); ++i) {
        if (tok[i] < '0' || tok[i] > '9') return kNotANumber;
        if (!too_big) {
            value = value * 10 + (tok[i] - '0');
            if (value > 2147483648LL) too_big = true;
        }
    }
    if (negative) value = -value;
    if (too_big || value > 2147483647LL || value < -2147483648LL) return kOutOfRange;
    out = static_cast<int>(value);
    return kNumberOk;
}

NumberStatus parse_float_token(const std::string& tok, float& out) {
    if (tok.empty()) return kNotANumber;
    errno = 0;
    char* end = nullptr;
    const float value = strtof(tok.c_str(), &end);
    if (end != tok.c_str() + tok.size()) return kNotANumber;
    if (std::isnan(value)) return kNotANumber;
    if (std::isinf(value)) return kOutOfRange;
    // strtof flags underflow with ERANGE: a value it can still hold (a subnormal one) is
    // taken; one that became zero is not the value the file gives.
    if (value == 0.0f && errno == ERANGE) return kUnderflow;
    out = value;
    return kNumberOk;
}

size_t utf8_sequence_length(const std::string& t, size_t i) {
    const unsigned char c = static_cast<unsigned char>(t[i]);
    size_t len = 0;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        len = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        len = 4;
    else
        return 0;
    if (i + len > t.size()) return 0;
    for (size_t k = 1; k < len; ++k)
        if ((static_cast<unsigned char>(t[i + k]) & 0xC0) != 0x80) return 0;
    return len;
}

size_t utf8_length(const std::string& t) {
    size_t count = 0;
    for (size_t i = 0; i < t.size(); ++count) {
        const size_t len = utf8_sequence_length(t, i);
        i += len != 0 ? len : 1;
    }
    return count;
}

std::string pad_to_width(const std::string& t, size_t width) {
    const size_t len = utf8_length(t);
    return len >= width ? t : t + std::string(width - len, ' ');
}

std::string printable(const std::string& tok) {
    std::string s;
    for (size_t i = 0; i < tok.size() && i < 40; ++i) {
        const unsigned char c = static_cast<unsigned char>(tok[i]);
        if (c >= 0x20 && c < 0x7f) {
            s += static_cast<char>(c);
        } else {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02X", c);
            s += buf;
        }
    }
    if (tok.size() > 40) s += "...";
    return s;
}

std::string trimmed(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && is_space_char(s[a])) ++a;
    while (b > a && is_space_char(s[b - 1])) --b;
    return s.substr(a, b - a);
}

bool next_content_line(const std::string& text, size_t& pos, int& line_no, std::string& line) {
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string::npos) eol = text.size();
        line = trimmed(text.substr(pos, eol - pos));
        pos = eol + 1;
        ++line_no;
        if (!line.empty() && line[0] != '#') return true;
    }
    return false;
}
