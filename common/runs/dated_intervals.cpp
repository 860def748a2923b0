// A clade's interval is taken over the replicates whose best tree holds it: the values
// sorted, the 95% interval runs from the value of rank ceil(0.025 m) to that of rank
// ceil(0.975 m) (nearest rank, m values), so that it is a pair of replicate values.
#include "runs/dated_intervals.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "base/file_io.hpp"
#include "runs/newick_read.hpp"
#include "runs/splits.hpp"

namespace {

struct DatedRun {
    NewickTree tree;
    std::vector<Split> of_node;
    double rate = NAN, root_age = NAN;
};

double number_after(const std::string& text, const std::string& key) {
    const size_t at = text.find(key);
    if (at == std::string::npos) return NAN;
    return std::strtod(text.c_str() + at + key.size(), nullptr);
}

bool read_dated_run(const std::string& folder, const std::vector<std::string>& names, DatedRun& run) {
    std::string tree_text, results, why;
    if (!read_text_file(folder + "/dated.tre", tree_text) || !read_text_file(folder + "/results", results) ||
        !read_newick(tree_text, run.tree, why))
        return false;
    std::vector<std::string> sorted = run.tree.leaves;
    std::sort(sorted.begin(), sorted.end());
    if (sorted != names) return false;
    tree_splits(run.tree, names, true, &run.of_node);
    run.rate = number_after(results, "The estimated substitution rate is ");
    run.root_age = number_after(results, "The root age is ");
    return true;
}

double node_age(const NewickNode& v) { return number_after(v.comment, "age="); }

struct Interval {
    double lo = NAN, hi = NAN;
    int count = 0;
};

Interval interval_of(std::vector<double> values) {
    Interval r;
    values.erase(std::remove_if(values.begin(), values.end(), [](double x) { return !std::isfinite(x); }), values.end());
    r.count = static_cast<int>(values.size());
    if (values.empty()) return r;
    std::sort(values.begin(), values.end());
    const double m = static_cast<double>(values.size());
    const auto at_rank = [&](double share) {
        size_t rank = static_cast<size_t>(std::ceil(share * m - 1e-9));
        rank = std::clamp<size_t>(rank, 1, values.size());
        return values[rank - 1];
    };
    r.lo = at_rank(0.025);
    r.hi = at_rank(0.975);
    return r;
}

std::string clade_text(const Split& split, const std::vector<std::string>& names) {
    std::string s;
    for (size_t k = 0; k < split.size(); ++k)
        if (split[k] == '1') s += (s.empty() ? "" : " ") + names[k];
    return s;
}

}  // namespace

bool write_dated_intervals(const std::string& top, const std::vector<std::string>& boots,
                           const std::vector<std::string>& sorted_names) {
    DatedRun best;
    if (!read_dated_run(top, sorted_names, best)) return true;
    std::vector<DatedRun> reps;
    for (const std::string& folder : boots) {
        DatedRun r;
        if (read_dated_run(folder, sorted_names, r)) reps.push_back(std::move(r));
    }
    if (reps.empty()) return true;
    std::map<Split, std::vector<double>> ages;
    std::vector<double> rates, root_ages;
    for (const DatedRun& r : reps) {
        rates.push_back(r.rate);
        root_ages.push_back(r.root_age);
        for (size_t v = 0; v < r.of_node.size(); ++v)
            if (!r.of_node[v].empty()) ages[r.of_node[v]].push_back(node_age(r.tree.nodes[v]));
    }
    const int m = static_cast<int>(reps.size());
    char line[640];
    std::string s;
    snprintf(line, sizeof line, "Ages of the best tree (%s) over %d bootstrap replicates: each value's 95%% "
             "interval over the replicates\n(nearest rank), and for a clade the percentage of replicates "
             "whose best tree holds it.\n\n", top.c_str(), m);
    s += line;
    const Interval ri = interval_of(rates), ai = interval_of(root_ages);
    snprintf(line, sizeof line, "substitution rate  %.6g  [%.6g, %.6g]\n", best.rate, ri.lo, ri.hi);
    s += line;
    snprintf(line, sizeof line, "root age           %.4f  [%.4f, %.4f]\n\n", best.root_age, ai.lo, ai.hi);
    s += line;
    s += "        age    95% interval of the age      in %  clade\n";
    std::vector<std::string> labels(best.tree.nodes.size());
    for (size_t v = 1; v < best.of_node.size(); ++v) {
        if (best.of_node[v].empty()) continue;
        const std::vector<double>& held = ages[best.of_node[v]];
        const Interval iv = interval_of(held);
        const int percent = whole_percent(static_cast<int>(held.size()), m);
        const double age = node_age(best.tree.nodes[v]);
        snprintf(line, sizeof line, "%11.4f  [%11.4f, %11.4f]  %6d  ", age, iv.lo, iv.hi, percent);
        s += line + clade_text(best.of_node[v], sorted_names) + "\n";
        snprintf(line, sizeof line, "[&age=%.6f,age_95%%={%.6f,%.6f},support=%d]", age, iv.lo, iv.hi, percent);
        labels[v] = line;
    }
    std::string tree = write_newick_labelled(best.tree, labels, false);
    snprintf(line, sizeof line, "[&age=%.6f,age_95%%={%.6f,%.6f}]", best.root_age, ai.lo, ai.hi);
    const size_t semi = tree.rfind(';');
    if (semi != std::string::npos) tree.insert(semi, line);
    return write_text_file("age_intervals", s) && write_text_file("dated.tre", tree + "\n");
}
