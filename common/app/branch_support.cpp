// Branch support of the best tree. The best tree is made current with the model values it
// was found with; the program scores each internal branch's two nearest-neighbour
// alternatives, and the SH-aLRT and aBayes values come from those scores (runs/tree_tests).
// The RELL draws of SH-aLRT come from one stream of the settings seeds, branch after branch
// in node order, so that the values depend on the inputs alone.
#include "app/branch_support.hpp"

#include <cstdio>
#include <string>
#include <vector>

#include "app/app_seams.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "output/newick.hpp"
#include "runs/tree_tests.hpp"
#include "search/tree.hpp"

namespace {

// One internal branch of the current tree and its two nearest-neighbour interchanges: the
// node whose branch it is (above it), and for the tree itself and each alternative the
// log-likelihood and the log-likelihood of one site of each pattern.
struct BranchAlternatives {
    int node = 0;
    int partner = 0;  // the other root child when an unrooted branch runs through the root
    double lnL[3] = {};
    std::vector<double> pattern_lnl[3];
};

int& child_slot(int parent, int child) {
    const int k = parent - (tree.n + 1);
    return tree.cur.ppTwoRow[0][k] == child ? tree.cur.ppTwoRow[0][k] : tree.cur.ppTwoRow[1][k];
}

int child_of(int v, int row) { return tree.cur.ppTwoRow[row][v - (tree.n + 1)]; }

int other_child(int parent, int child) {
    const int a = child_of(parent, 0);
    return a == child ? child_of(parent, 1) : a;
}

// Subtrees x and y change places (each takes the other's parent); twice restores them.
void swap_subtrees(int x, int y) {
    const int px = tree.cur.parents[x], py = tree.cur.parents[y];
    child_slot(px, x) = y;
    child_slot(py, y) = x;
    tree.cur.parents[x] = py;
    tree.cur.parents[y] = px;
}

void score_alternative(int x, int y, const int (&around)[5], BranchAlternatives& b, int which) {
    const std::vector<double> values = tree.cur.TimeVec;
    swap_subtrees(x, y);
    b.lnL[which] = program_fit_alternative(around);
    b.pattern_lnl[which] = pattern_log_likelihoods();
    swap_subtrees(x, y);
    tree.cur.TimeVec = values;
}

// A branch joins four subtrees, AB|CD; the alternatives AC|BD and AD|BC swap two of them,
// and the program fits each (the tree itself is scored as it stands). The branches of a
// rooted tree are those above every internal node but the root; in an unrooted tree the
// two root branches are one, taken once from the first root child when the other is not a
// leaf. The tree, its values and its partials are as before afterwards.
std::vector<BranchAlternatives> branch_alternatives() {
    const int n = tree.n, root = n + 1;
    std::vector<BranchAlternatives> all;
    const double lnL0 = full_pass_log_likelihood();
    const std::vector<double> own = pattern_log_likelihoods();
    for (int c = n + 2; c <= 2 * n - 1; ++c) {
        const int P = tree.cur.parents[c];
        const int A = child_of(c, 0), B = child_of(c, 1);
        BranchAlternatives b;
        b.node = c;
        if (P != root || !program.unrooted_newick) {
            const int S = other_child(P, c);
            const int around[5] = {c, A, B, S, P};
            score_alternative(A, S, around, b, 1);
            score_alternative(B, S, around, b, 2);
        } else {
            const int S = other_child(root, c);
            if (c != child_of(root, 0) || S <= n) continue;
            b.partner = S;
            const int C = child_of(S, 0), D = child_of(S, 1);
            const int around[5] = {c, A, B, C, D};
            score_alternative(B, C, around, b, 1);
            score_alternative(B, D, around, b, 2);
        }
        b.lnL[0] = lnL0;
        b.pattern_lnl[0] = own;
        all.push_back(b);
    }
    full_pass();
    return all;
}

// The names below node v, in leaf order.
void names_below(int v, std::vector<int>& leaves) {
    if (v <= tree.n) {
        leaves.push_back(v);
        return;
    }
    const int k = v - (tree.n + 1);
    names_below(tree.cur.ppTwoRow[0][k], leaves);
    names_below(tree.cur.ppTwoRow[1][k], leaves);
}

}  // namespace

bool write_branch_support(int alrt_replicates, bool abayes) {
    copy_tree_best_to_current();
    restore_estimates(ann.best);
    full_pass();
    printf("  Branch support of the best tree (%s%s%s) ....\n", alrt_replicates > 0 ? "SH-aLRT" : "",
           alrt_replicates > 0 && abayes ? ", " : "", abayes ? "aBayes" : "");
    fflush(stdout);
    const std::vector<BranchAlternatives> branches = branch_alternatives();
    uint64_t stream = ((static_cast<uint64_t>(static_cast<uint32_t>(settings.seed1)) << 32) |
                       static_cast<uint32_t>(settings.seed2)) ^ 0x414C5254ULL;
    std::vector<int> weights(alignment.site_counter.begin(), alignment.site_counter.begin() + alignment.npat);
    std::vector<std::string> labels(static_cast<size_t>(2 * tree.n), "");
    std::string what = alrt_replicates > 0 ? "SH-aLRT (%, " + std::to_string(alrt_replicates) + " resamplings)" : "";
    if (abayes) {
        if (!what.empty()) what += '/';
        what += "aBayes";
    }
    std::string table = "Branch support of the best tree (" + std::string(program.name) + "): " + what +
                        "\nEach internal branch against its two nearest-neighbour alternatives, scored with the\n"
                        "branch and its four neighbours optimised; the split is named by the taxa on one side.\n\n";
    table += std::string(alrt_replicates > 0 ? " SH-aLRT" : "") + (abayes ? "   aBayes" : "") +
             "  lnL(tree)-lnL(best alternative)  taxa on one side\n";
    for (const BranchAlternatives& b : branches) {
        const std::vector<double>* l[3] = {&b.pattern_lnl[0], &b.pattern_lnl[1], &b.pattern_lnl[2]};
        std::string label, row;
        char buf[64];
        if (alrt_replicates > 0) {
            const double sh = 100 * sh_alrt_support(l, b.lnL, weights, alrt_replicates, stream);
            snprintf(buf, sizeof buf, "%.1f", sh);
            label += buf;
            snprintf(buf, sizeof buf, "%8.1f", sh);
            row += buf;
        }
        if (abayes) {
            const double ab = abayes_support(b.lnL);
            snprintf(buf, sizeof buf, "%.4g", ab);
            if (!label.empty()) label += '/';
            label += buf;
            snprintf(buf, sizeof buf, "%9.4f", ab);
            row += buf;
        }
        const double gap = b.lnL[0] - (b.lnL[1] > b.lnL[2] ? b.lnL[1] : b.lnL[2]);
        snprintf(buf, sizeof buf, "  %31.4f ", gap);
        row += buf;
        std::vector<int> leaves;
        names_below(b.node, leaves);
        for (int leaf : leaves) {
            row += ' ';
            row += newick_name(alignment.TaxonNames[static_cast<size_t>(leaf - 1)]);
        }
        table += row + "\n";
        labels[static_cast<size_t>(b.node)] = label;
        if (b.partner != 0) labels[static_cast<size_t>(b.partner)] = label;
    }
    const std::string tree_text = "[labels: " + what + "]\n" +
                                  text_written_by([&](FILE* f) { write_newick_best_labelled(f, labels); }) + ";\n";
    if (!write_text_file("support", table) || !write_text_file("supporttree", tree_text)) {
        printf("Error writing support and supporttree\n");
        return false;
    }
    printf("  Branch support written to support and supporttree\n");
    return true;
}
