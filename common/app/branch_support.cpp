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
    const std::vector<BranchAlternatives> branches = program_branch_alternatives();
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
        for (int leaf : leaves) row += " " + newick_name(alignment.TaxonNames[static_cast<size_t>(leaf - 1)]);
        table += row + "\n";
        labels[static_cast<size_t>(b.node)] = label;
        if (b.partner != 0) labels[static_cast<size_t>(b.partner)] = label;
    }
    char* buf = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buf, &size);
    if (f == nullptr) return false;
    fprintf(f, "[labels: %s]\n", what.c_str());
    write_newick_best_labelled(f, labels);
    fputs(";\n", f);
    fclose(f);
    const std::string tree_text(buf, size);
    free(buf);
    if (!write_text_file("support", table) || !write_text_file("supporttree", tree_text)) {
        printf("Error writing support and supporttree\n");
        return false;
    }
    printf("  Branch support written to support and supporttree\n");
    return true;
}
