// Scores a fixed topology on an alignment, so that trees from any program can be compared
// on one scale: F84 with a transition/transversion ratio of 2.0 and empirical base
// frequencies, sites with gaps kept as missing data, and the branch lengths (score_tree_free)
// or the node times and rate scale (score_tree_clock) optimised by the programs' own final
// optimisation, repeated until it gains less than 1e-6.
//
//   score_tree_free ALIGNMENT TREE      (unrooted Newick; a rooted one is unrooted)
//   score_tree_clock ALIGNMENT TREE     (rooted Newick)
//
// ALIGNMENT is in the programs' infile format; TREE holds one Newick tree whose names are
// those of the alignment (branch lengths and support values are ignored). Prints the lnL.
// A third argument names another model (GTR+F+G4, HKY{4}+G4{0.5}, ...): its free parameters
// are estimated with the lengths or times, and a second line gives their estimates. With a
// fourth argument --fixed (score_tree_free), the tree's own branch lengths and the model's
// values are taken as they are: the lnL of exactly that tree, model and values.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_seams.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/alignment.hpp"
#include "input/infile_header.hpp"
#include "input/model_spec.hpp"
#include "input/settings.hpp"
#include "input/site_patterns.hpp"
#include "output/runlog.hpp"
#include "search/search_seams.hpp"
#include "search/tree.hpp"

namespace {

[[noreturn]] void die(const char* what, const std::string& detail) {
    fprintf(stderr, "score_tree: %s%s\n", what, detail.c_str());
    exit(1);
}

std::string read_text(const char* path) {
    FILE* f = fopen(path, "rb");
    if (f == nullptr) die("cannot open ", path);
    std::string text;
    if (!read_whole_file(f, text)) die("cannot read ", path);
    fclose(f);
    return text;
}

// A parsed Newick node: a leaf index (1..n) or a list of children.
struct Node {
    int leaf = 0;
    std::vector<int> kids;
    double length = 0;  // of the branch above, as written (0 when none)
};

struct Parser {
    const std::string& s;
    size_t i = 0;
    std::vector<Node> nodes;

    void skip() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t')) ++i;
        // A bracketed comment (IQ-TREE and PAUP write some) is skipped too.
        if (i < s.size() && s[i] == '[') {
            while (i < s.size() && s[i] != ']') ++i;
            ++i;
            skip();
        }
    }
    std::string word() {
        skip();
        std::string w;
        if (i < s.size() && s[i] == '\'') {
            for (++i; i < s.size(); ++i) {
                if (s[i] == '\'' && i + 1 < s.size() && s[i + 1] == '\'') {
                    w += '\'';
                    ++i;
                } else if (s[i] == '\'') {
                    ++i;
                    break;
                } else {
                    w += s[i];
                }
            }
            return w;
        }
        while (i < s.size() && std::strchr("(),:;[ \t\r\n", s[i]) == nullptr) w += s[i++];
        return w;
    }
    int parse() {
        skip();
        const int me = static_cast<int>(nodes.size());
        nodes.emplace_back();
        if (i < s.size() && s[i] == '(') {
            ++i;
            for (;;) {
                const int kid = parse();
                nodes[static_cast<size_t>(me)].kids.push_back(kid);
                skip();
                if (i < s.size() && s[i] == ',') {
                    ++i;
                    continue;
                }
                if (i < s.size() && s[i] == ')') {
                    ++i;
                    break;
                }
                die("malformed Newick near offset ", std::to_string(i));
            }
            (void)word();  // an internal label (support value)
        } else {
            const std::string name = word();
            int leaf = 0;
            for (int k = 0; k < settings.ntaxa; ++k)
                if (alignment.TaxonNames[static_cast<size_t>(k)] == name) leaf = k + 1;
            if (leaf == 0) die("the tree names a taxon not in the alignment: ", name);
            nodes[static_cast<size_t>(me)].leaf = leaf;
        }
        skip();
        if (i < s.size() && s[i] == ':') {
            ++i;
            nodes[static_cast<size_t>(me)].length = atof(word().c_str());
        }
        return me;
    }
};

// Node numbers as the programs give them: leaves 1..n, the root n+1, the other internal
// nodes n+2.. in post-order, so that every child is numbered below its parent.
struct Builder {
    std::vector<Node>& nodes;
    int next = 0;

    int number(int v) {
        Node& node = nodes[static_cast<size_t>(v)];
        if (node.leaf != 0) {
            tree.cur.TimeVec[node.leaf] = node.length;
            return node.leaf;
        }
        const int a = number(node.kids[0]);
        const int b = number(node.kids[1]);
        const int m = next++;
        link(m, a, b);
        tree.cur.TimeVec[m] = node.length;
        return m;
    }
    void link(int m, int a, int b) {
        const int k = m - (tree.n + 1);
        tree.cur.ppTwoRow[0][k] = a;
        tree.cur.ppTwoRow[1][k] = b;
        tree.cur.parents[a] = m;
        tree.cur.parents[b] = m;
    }
};

void build_tree(const std::string& text) {
    Parser p{text, 0, {}};
    int top = p.parse();
    std::vector<Node>& nodes = p.nodes;
    // A three-way split at the top becomes a root with one subtree on one side and the
    // other two joined on the other; any other multifurcation is an error.
    Node& root = nodes[static_cast<size_t>(top)];
    if (root.kids.size() == 3) {
        Node joined;
        joined.kids = {root.kids[1], root.kids[2]};
        nodes.push_back(joined);
        nodes[static_cast<size_t>(top)].kids = {nodes[static_cast<size_t>(top)].kids[0],
                                                 static_cast<int>(nodes.size()) - 1};
    }
    int leaves = 0;
    for (const Node& v : nodes) {
        if (v.leaf != 0) ++leaves;
        else if (v.kids.size() != 2) die("the tree is not binary", "");
    }
    if (leaves != tree.n) die("the tree does not hold every taxon of the alignment", "");
    Builder b{nodes, tree.n + 2};
    const Node& r = nodes[static_cast<size_t>(top)];
    const int a = b.number(r.kids[0]);
    const int c = b.number(r.kids[1]);
    b.link(tree.n + 1, a, c);
    tree.cur.parents[tree.n + 1] = 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 5 || (argc == 5 && std::strcmp(argv[4], "--fixed") != 0)) {
        fprintf(stderr, "usage: %s ALIGNMENT TREE [MODEL [--fixed]]\n", argv[0]);
        return 1;
    }
    const bool fixed = argc == 5;
    reset_all_records();
    reset_runlog();
    run_files.results = fopen("/dev/null", "w");
    run_files.paupfile = fopen("/dev/null", "w");
    const std::string data = read_text(argv[1]);
    const size_t offset = parse_infile_header(data);
    Settings& s = settings;
    s.model = 2;
    s.keep_gaps = 1;
    s.estimate = 0;  // the ratio stays at 2.0; clockml's optimisation still fits its rate scale
    s.use_lin_info = 0;
    s.n_keep = 1;
    const int n = s.ntaxa;
    reset_tree(n);
    reset_archive(n, 1);
    parse_sequences(data, offset);
    build_patterns();
    std::string why;
    if (argc >= 4 && !parse_model_spec(argv[3], s.model_spec, why)) {
        fprintf(stderr, "%s: %s\n", argv[3], why.c_str());
        return 1;
    }
    setup_model();
    reset_likelihood_tables(n, alignment.npat, mp.named.on ? mp.named.ncat : 1, !mp.named.on);

    for (int i = 0; i <= 2 * n - 1; ++i) tree.cur.TimeVec[i] = 0.0;
    build_tree(read_text(argv[2]));
    if (fixed) {
        if (!program.unrooted_newick) die("--fixed takes the branch lengths of an unrooted tree", "");
        tree.cur.TimeVec[tree.n + 1] = 0.0;
        copy_tree_current_to_temp();
        program_leaf_setup();
        init_leaf_partials();
        full_pass();
        printf("%.6f\n", log_likelihood());
        return 0;
    }
    // The tree's own lengths are not starting values: clock start times must come from
    // the topology alone (lengths read into the times leave a tree that is not a clock tree).
    for (int i = 0; i <= 2 * n - 1; ++i) tree.cur.TimeVec[i] = 0.0;
    assign_start_values();
    for (int leaf = 1; leaf <= n; ++leaf)
        if (!program.unrooted_newick) tree.cur.TimeVec[leaf] = 1.0;
    for (int i = 1; i <= 2 * n - 1; ++i) tree.temp.parents[i] = tree.cur.parents[i];
    copy_tree_current_to_temp();
    program_leaf_setup();
    init_leaf_partials();
    prepare_loaded_tree();
    full_pass();
    double lnL = log_likelihood();
    for (int round = 0; round < 200; ++round) {
        optimise_tree_values(lnL);
        full_pass();
        const double next = log_likelihood();
        const bool done = !(next > lnL + 1e-6);
        lnL = next > lnL ? next : lnL;
        if (done) break;
    }
    printf("%.6f\n", lnL);
    if (mp.named.on) {
        const ModelParams::Named& m = mp.named;
        printf("estimates:");
        for (int k = 0; k < exchange_parameter_count(m.kind); ++k) printf(" %.6f", m.xp[k]);
        printf(" alpha %.6f pinv %.6f mu %.6f\n", m.alpha, m.pinv, mp.mu);
    }
    return std::isfinite(lnL) ? 0 : 1;
}
