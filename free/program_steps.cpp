// freeml's start-up extras: no lin_info; the leaves' parsimony state sets.
#include <vector>

#include "app/app_seams.hpp"
#include "app/cli.hpp"
#include "runs/root_to_tip.hpp"
#include "base/state.hpp"
#include "free.hpp"

void program_extra_inputs() {}

void program_leaf_setup() { fill_leaf_parsimony_sets(); }

// With tip dates (a dates file in the folder, or --dates-from-names) freeml checks the
// temporal signal of its best tree: the root-to-tip regression, in results.
void program_tree_inputs() { (void)read_run_tip_dates(command_line.dates_from_names); }

bool program_extra_reports() {
    if (alignment.tip_date.empty()) return true;
    std::vector<DistanceEdge> edges;
    const int n = tree.n, root = n + 1;
    // Leaves 0..n-1, inner nodes n.. (node v > root as v - 2, the root as n); the root's two
    // branches meet at it, which the regression treats as any inner node.
    const auto id = [&](int v) { return v <= n ? v - 1 : v == root ? n : v - 2; };
    for (int v = 1; v <= 2 * n - 1; ++v)
        if (v != root) edges.push_back(DistanceEdge{id(v), id(tree.best.parents[v]), tree.best.TimeVec[v]});
    fputs("\nTEMPORAL SIGNAL\n\n", run_files.results);
    write_root_to_tip(run_files.results, root_to_tip_regression(edges, alignment.tip_date), "the best tree");
    return true;
}
