// Newick text of a tree read through a child table. One recursive writer serves both
// trees (the best tree with lengths, an archived tree without) and both forms (rooted,
// and unrooted with a three-way split at the top).
#include "output/newick.hpp"

#include <string_view>

#include "base/program_info.hpp"
#include "base/state.hpp"

namespace {

// Where the writer reads a tree: the child of internal node v is row0[v-(n+1)] or
// row1[v-(n+1)]; `times` is null for a topology without lengths.
struct NewickSource {
    const int* row0;
    const int* row1;
    const double* times;
    bool rooted;  // node times (edge = time difference) or branch lengths (edge = value)
    bool nexus_names = false;
    const std::vector<std::string>* labels = nullptr;  // of internal nodes, by number
};

int child(const NewickSource& src, int v, int row) {
    const int k = v - (tree.n + 1);
    return row == 0 ? src.row0[k] : src.row1[k];
}

bool is_leaf(int u) { return u <= tree.n; }

// Length of the edge from `parent` down to u.
double edge_length(const NewickSource& src, int u, int parent) {
    return src.rooted ? src.times[u] - src.times[parent] : src.times[u];
}

void write_node(FILE* f, const NewickSource& src, int v, int parent, int third,
                double extra = 0.0);

// One child entry: a leaf's name (and edge) or a whole subtree with its own tail. `extra`
// lengthens the edge above u (the part of an unrooted edge that lies beyond the root).
void write_item(FILE* f, const NewickSource& src, int u, int parent, double extra = 0.0) {
    if (is_leaf(u)) {
        const std::string& name = alignment.TaxonNames[u - 1];
        fputs(src.nexus_names ? nexus_name(name).c_str() : newick_name(name).c_str(), f);
        if (src.times) fprintf(f, ":%f", extra + edge_length(src, u, parent));
    } else {
        write_node(f, src, u, parent, 0, extra);
    }
}

// Internal node v: a leaf child goes before an internal sibling, otherwise row order.
// A nonzero `third` makes v the top of an unrooted tree: the subtree `third` closes the
// bracket in place of v's own tail, and its edge runs through the dissolved root, so it
// carries v's branch as well as its own.
void write_node(FILE* f, const NewickSource& src, int v, int parent, int third, double extra) {
    int first = child(src, v, 0);
    int second = child(src, v, 1);
    if (!is_leaf(first) && is_leaf(second)) {
        const int t = first;
        first = second;
        second = t;
    }
    fprintf(f, "(");
    write_item(f, src, first, v);
    fprintf(f, ",");
    write_item(f, src, second, v);
    if (third != 0) {
        fprintf(f, ",");
        write_item(f, src, third, tree.n + 1, src.times ? edge_length(src, v, parent) : 0.0);
        fprintf(f, ")");
        return;
    }
    fprintf(f, ")");
    if (src.labels != nullptr && static_cast<size_t>(v) < src.labels->size()) fputs((*src.labels)[static_cast<size_t>(v)].c_str(), f);
    if (src.times && v != tree.n + 1) fprintf(f, ":%f", extra + edge_length(src, v, parent));
}

// The two branches at the root are one edge of the unrooted tree: the text starts at a
// root child a and hangs the other child d as its third branch. A leaf is always the
// third branch; of two internal children, a cherry in the first place becomes it.
void write_unrooted_top(FILE* f, const NewickSource& src, int v) {
    const int c0 = child(src, v, 0);
    const int c1 = child(src, v, 1);
    int a, d;
    if (!is_leaf(c0) && is_leaf(c1)) {
        a = c0;
        d = c1;
    } else if (is_leaf(c0) && !is_leaf(c1)) {
        a = c1;
        d = c0;
    } else if (is_leaf(child(src, c0, 0)) && is_leaf(child(src, c0, 1))) {
        a = c1;
        d = c0;
    } else {
        a = c0;
        d = c1;
    }
    write_node(f, src, a, v, d);
}

NewickSource best_source(bool rooted) {
    return {tree.best.ppTwoRow[0].data(), tree.best.ppTwoRow[1].data(),
            tree.best.TimeVec.data(), rooted};
}

// An archive slot holds row 0 in entries 0..n-1 and row 1 in entries n..2n-1.
NewickSource record_source(const TreeRecord* record, bool rooted) {
    const int* slot = archive.pppTR[record->slot].data();
    return {slot, slot + tree.n, nullptr, rooted};
}

}  // namespace

void write_newick_lengths(FILE* f, int v, int parent) {
    write_node(f, best_source(true), v, parent, 0);
}

void write_newick_topology(FILE* f, const TreeRecord* record, int v, bool nexus_names) {
    NewickSource src = record_source(record, true);
    src.nexus_names = nexus_names;
    write_node(f, src, v, v, 0);
}

void write_newick_lengths_unrooted(FILE* f, int v, int parent, bool top) {
    const NewickSource src = best_source(false);
    if (top)
        write_unrooted_top(f, src, v);
    else
        write_node(f, src, v, parent, 0);
}

void write_newick_topology_unrooted(FILE* f, const TreeRecord* record, int v, bool top,
                                    bool nexus_names) {
    NewickSource src = record_source(record, false);
    src.nexus_names = nexus_names;
    if (top)
        write_unrooted_top(f, src, v);
    else
        write_node(f, src, v, v, 0);
}

void write_newick_best(FILE* f) {
    const int root = tree.n + 1;
    if (program.unrooted_newick)
        write_newick_lengths_unrooted(f, root, root, true);
    else
        write_newick_lengths(f, root, root);
}

void write_newick_best_labelled(FILE* f, const std::vector<std::string>& labels) {
    const int root = tree.n + 1;
    NewickSource src = best_source(!program.unrooted_newick);
    src.labels = &labels;
    if (program.unrooted_newick)
        write_unrooted_top(f, src, root);
    else
        write_node(f, src, root, root, 0);
}

void write_newick_record(FILE* f, const TreeRecord* record, bool nexus_names) {
    const int root = tree.n + 1;
    if (program.unrooted_newick)
        write_newick_topology_unrooted(f, record, root, true, nexus_names);
    else
        write_newick_topology(f, record, root, nexus_names);
}

namespace {

// name in single quotes, an inner quote doubled, when `needs_quotes` holds for one of its
// characters (or the name is empty); otherwise as it is.
template <class Pred>
std::string quoted_if(const std::string& name, Pred needs_quotes) {
    bool quote = name.empty();
    for (const char c : name) quote = quote || needs_quotes(c);
    if (!quote) return name;
    std::string q = "'";
    for (const char c : name) {
        if (c == '\'') q += '\'';
        q += c;
    }
    return q + "'";
}

}  // namespace

std::string newick_name(const std::string& name) {
    return quoted_if(name, [](char c) {
        return static_cast<unsigned char>(c) <= ' ' ||
               std::string_view("()[]':;,").find(c) != std::string_view::npos;
    });
}

std::string nexus_name(const std::string& name) {
    return quoted_if(name, [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == 0x7f ||
               std::string_view("()[]{}/\\,;:=*'\"`+-<>").find(c) != std::string_view::npos;
    });
}

void write_newick_best_with_times(FILE* f, const double* times, const std::vector<std::string>& labels) {
    const int root = tree.n + 1;
    NewickSource src = best_source(true);
    src.times = times;
    src.labels = &labels;
    write_node(f, src, root, root, 0);
}
