// The reports of a dated clock tree: dated.tre (the best tree in units of the dates, each
// inner node with its age and date as a comment FigTree and treeio read), and in results
// the rate, the root's age, the root-to-tip regression and a table of the node ages.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_seams.hpp"
#include "app/cli.hpp"
#include "base/file_io.hpp"
#include "base/state.hpp"
#include "base/text_reader.hpp"
#include "clock.hpp"
#include "engine/model.hpp"
#include "output/newick.hpp"
#include "runs/root_to_tip.hpp"

namespace {

// The first tip of a subtree in the order the tree is written (row 0 first).
int first_tip(int v) {
    while (v > tree.n) v = tree.best.ppTwoRow[0][v - (tree.n + 1)];
    return v;
}

std::string tip_name(int leaf) { return trimmed(alignment.TaxonNames[static_cast<size_t>(leaf - 1)]); }

int tips_below(int v) {
    if (v <= tree.n) return 1;
    const int k = v - (tree.n + 1);
    return tips_below(tree.best.ppTwoRow[0][k]) + tips_below(tree.best.ppTwoRow[1][k]);
}

// Without dated tips the likelihood is the same for every stretch of all ages (with the rate
// shrunk alike): the calibrations alone bound it. The range of root ages they allow the tree.
void scale_range(double& lo_age, double& hi_age) {
    double s_lo = 0, s_hi = 0;
    calibrated_scale_range(tree.best, s_lo, s_hi);
    lo_age = 1.0 / s_hi;
    hi_age = s_lo > 0 ? 1.0 / s_lo : HUGE_VAL;
}

}  // namespace

bool program_extra_reports() {
    if (!dated_run()) return true;
    const int n = tree.n;
    const std::vector<double>& t = tree.best.TimeVec;
    const bool tips = dated_tips();
    // Without dated tips every stretch of the ages within the calibrations' range fits alike;
    // the ages reported are those at the range's geometric middle, wherever the search ended.
    double range_lo = 0, range_hi = 0;
    if (!tips) scale_range(range_lo, range_hi);
    double s = tree.best.age_scale;
    if (!tips && std::isfinite(range_hi) && range_hi > range_lo * (1 + 1e-9)) s = 1.0 / std::sqrt(range_lo * range_hi);
    const double root_age = 1.0 / s;
    const double latest = tips ? latest_date() : 0.0;
    const double rate = substitutions_per_unit() * s;
    FILE* out = run_files.results;
    std::string sources;
    if (tips) sources = std::string("tip dates from ") + (command_line.dates_from_names ? "the sequence names" : "dates");
    if (!alignment.calibrations.empty())
        sources += std::string(tips ? ", " : "") + std::to_string(alignment.calibrations.size()) + " calibrated clade" +
                   (alignment.calibrations.size() == 1 ? "" : "s") + " from calibrations";
    if (tips)
        fprintf(out, "\nDATED TREE (%s; ages count back from the latest tip, %.4f)\n\n", sources.c_str(), latest);
    else
        fprintf(out, "\nDATED TREE (%s; ages count back from the present, where the tips are)\n\n", sources.c_str());
    fprintf(out, "The estimated substitution rate is %.6g substitutions per site per unit of time\n", rate);
    if (tips)
        fprintf(out, "The root age is %.4f (date %.4f)\n\n", root_age, latest - root_age);
    else
        fprintf(out, "The root age is %.4f\n\n", root_age);
    if (!tips && range_hi > range_lo * (1 + 1e-9))
        fprintf(out, "Without tip dates the calibrations alone fix the time scale: every age stretched alike, with the\n"
                     "rate shrunk alike, fits as well while the root age lies from %.4f to %.4f; the ages here are\n"
                     "those of the middle of that range (its geometric mean)%s.\n\n", range_lo, range_hi,
                std::isfinite(range_hi) ? "" : ", or, the range being open, those the search ended at");

    if (tips)
        write_root_to_tip(out, root_to_tip_regression(neighbour_joining_edges(), alignment.tip_date),
                          "the neighbour-joining tree (Jukes-Cantor distances)");

    // Node times in units of the dates, counted from the root, for the edges of dated.tre.
    std::vector<double> forward(t.size(), 0.0);
    std::vector<std::string> labels(t.size());
    std::vector<int> inner;
    for (int v = n + 1; v <= 2 * n - 1; ++v) {
        forward[static_cast<size_t>(v)] = t[static_cast<size_t>(v)] * root_age;
        const double age = (1.0 - t[static_cast<size_t>(v)]) * root_age;
        char buf[96];
        if (tips)
            snprintf(buf, sizeof buf, "[&age=%.6f,date=%.6f]", age, latest - age);
        else
            snprintf(buf, sizeof buf, "[&age=%.6f]", age);
        labels[static_cast<size_t>(v)] = buf;
        inner.push_back(v);
    }
    for (int i = 1; i <= n; ++i) forward[static_cast<size_t>(i)] = t[static_cast<size_t>(i)] * root_age;
    std::stable_sort(inner.begin(), inner.end(), [&](int a, int b) { return t[static_cast<size_t>(a)] < t[static_cast<size_t>(b)]; });
    const std::vector<int> cal = calibrations_of_tree(tree.best.ppTwoRow);
    fprintf(out, "Node ages (oldest first), each node the most recent common ancestor of the two tips named%s:\n\n",
            alignment.calibrations.empty() ? "" : "\n(calibrated nodes marked with their line of calibrations)");
    fprintf(out, tips ? "        age          date   tips  between\n" : "        age   tips  between\n");
    for (const int v : inner) {
        const int k = v - (n + 1);
        const double age = (1.0 - t[static_cast<size_t>(v)]) * root_age;
        if (tips)
            fprintf(out, "%11.4f  %12.4f  %5d  ", age, latest - age, tips_below(v));
        else
            fprintf(out, "%11.4f  %5d  ", age, tips_below(v));
        fprintf(out, "%s and %s", tip_name(first_tip(tree.best.ppTwoRow[0][k])).c_str(),
                tip_name(first_tip(tree.best.ppTwoRow[1][k])).c_str());
        const int c = cal[static_cast<size_t>(v)];
        if (c >= 0) fprintf(out, "  (calibrations line %d)", alignment.calibrations[static_cast<size_t>(c)].line);
        fputc('\n', out);
    }
    fputs("\nThe dated tree is in dated.tre (branch lengths in units of the dates).\n\n", out);

    const std::string text = text_written_by([&](FILE* f) {
        write_newick_best_with_times(f, forward.data(), labels);
        fputs(";\n", f);
    });
    if (text.empty() || !write_text_file("dated.tre", text)) {
        printf("Error writing dated.tre: %s\n", text.empty() ? "no memory for it" : strerror(errno));
        return false;
    }
    return true;
}
