// Reading a Newick tree back from a report: names bare or quoted, lengths kept as written.
#include "runs/newick_read.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct Reader {
    const std::string& s;
    size_t i = 0;
    std::string comment;  // the last comment passed over
    // Blanks and comments in square brackets ([&age=3.2] of a dated tree, [&R]).
    void blanks() {
        for (;;) {
            while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
            if (i >= s.size() || s[i] != '[') return;
            const size_t end = s.find(']', i);
            if (end == std::string::npos) return;  // left for the caller to refuse
            comment = s.substr(i + 1, end - i - 1);
            i = end + 1;
        }
    }
    bool at(char c) {
        blanks();
        return i < s.size() && s[i] == c;
    }
};

bool read_name(Reader& r, std::string& name) {
    r.blanks();
    name.clear();
    if (r.i < r.s.size() && r.s[r.i] == '\'') {
        for (++r.i; r.i < r.s.size(); ++r.i) {
            if (r.s[r.i] == '\'') {
                if (r.i + 1 < r.s.size() && r.s[r.i + 1] == '\'') {
                    name += '\'';
                    ++r.i;
                    continue;
                }
                ++r.i;
                return true;
            }
            name += r.s[r.i];
        }
        return false;  // no closing quote
    }
    while (r.i < r.s.size() && std::strchr("(),:;[ \t\r\n", r.s[r.i]) == nullptr) name += r.s[r.i++];
    return true;
}

// The node starting at r.i, appended to t; returns its index or -1.
int read_node(Reader& r, NewickTree& t, std::string& why, int depth) {
    if (depth > 100000) {
        why = "the tree is nested too deeply";
        return -1;
    }
    const int v = static_cast<int>(t.nodes.size());
    t.nodes.emplace_back();
    std::string text;
    if (r.at('(')) {
        ++r.i;
        for (;;) {
            const int c = read_node(r, t, why, depth + 1);
            if (c < 0) return -1;
            t.nodes[static_cast<size_t>(v)].children.push_back(c);
            if (r.at(',')) {
                ++r.i;
                continue;
            }
            if (r.at(')')) {
                ++r.i;
                r.comment.clear();
                break;
            }
            why = "a ',' or ')' is missing at character " + std::to_string(r.i + 1);
            return -1;
        }
        if (!read_name(r, text)) {
            why = "a quoted label has no closing quote";
            return -1;
        }
        t.nodes[static_cast<size_t>(v)].name = text;  // an internal label (support values)
    } else {
        r.comment.clear();
        if (!read_name(r, text) || text.empty()) {
            why = "a taxon name is missing at character " + std::to_string(r.i + 1);
            return -1;
        }
        t.nodes[static_cast<size_t>(v)].name = text;
        t.leaves.push_back(text);
    }
    if (r.at(':')) {
        ++r.i;
        r.blanks();
        const size_t start = r.i;
        while (r.i < r.s.size() && std::strchr("0123456789.eE+-", r.s[r.i]) != nullptr) ++r.i;
        t.nodes[static_cast<size_t>(v)].length = r.s.substr(start, r.i - start);
        r.blanks();
    }
    t.nodes[static_cast<size_t>(v)].comment = r.comment;
    return v;
}

}  // namespace

bool read_newick(const std::string& text, NewickTree& out, std::string& why) {
    out = NewickTree{};
    Reader r{text, 0, {}};
    if (!r.at('(')) {
        why = "the tree does not start with '('";
        return false;
    }
    if (read_node(r, out, why, 0) < 0) return false;
    r.blanks();
    if (r.i < text.size() && text[r.i] != ';') {
        why = "unexpected text at character " + std::to_string(r.i + 1);
        return false;
    }
    std::vector<std::string> sorted = out.leaves;
    std::sort(sorted.begin(), sorted.end());
    if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) {
        why = "a taxon name occurs twice";
        return false;
    }
    if (out.leaves.size() < 3) {
        why = "the tree has fewer than three taxa";
        return false;
    }
    return true;
}
