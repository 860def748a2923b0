// Where the calibrated clades are in the current tree, and what that allows a node: the
// search keeps every calibrated clade whole (a move never breaks one up) and each calibrated
// node's age within its bounds.
#include <algorithm>
#include <cmath>
#include <vector>

#include "base/state.hpp"
#include "clock.hpp"
#include "search/search_seams.hpp"

namespace {

// The current tree's child table when the node list below was made: moves that keep every
// clade whole leave the calibrated nodes where they are, so it is made again only when the
// table differs (an archived tree loaded, a topology accepted).
struct CalibratedNodes {
    std::vector<int> rows[2];
    std::vector<int> of_node;  // node -> calibration, or -1
};
CalibratedNodes g_found;

// Taxa of each calibration below v, and v's tip count, from the child table `rows`.
void count_below(const std::vector<int>* rows, int v, std::vector<std::vector<int>>& count, std::vector<int>& tips) {
    const int n = tree.n;
    const size_t k = alignment.calibrations.size();
    count[static_cast<size_t>(v)].assign(k, 0);
    if (v <= n) {
        tips[static_cast<size_t>(v)] = 1;
        for (size_t c = 0; c < k; ++c) count[static_cast<size_t>(v)][c] = alignment.calibrations[c].member[static_cast<size_t>(v - 1)];
        return;
    }
    const int a = rows[0][v - (n + 1)], b = rows[1][v - (n + 1)];
    count_below(rows, a, count, tips);
    count_below(rows, b, count, tips);
    tips[static_cast<size_t>(v)] = tips[static_cast<size_t>(a)] + tips[static_cast<size_t>(b)];
    for (size_t c = 0; c < k; ++c)
        count[static_cast<size_t>(v)][c] = count[static_cast<size_t>(a)][c] + count[static_cast<size_t>(b)][c];
}

}  // namespace

std::vector<int> calibrations_of_tree(const std::vector<int>* rows) {
    const int n = tree.n;
    std::vector<std::vector<int>> count(static_cast<size_t>(2 * n));
    std::vector<int> tips(static_cast<size_t>(2 * n), 0);
    std::vector<int> of_node(static_cast<size_t>(2 * n), -1);
    count_below(rows, n + 1, count, tips);
    for (int v = n + 1; v <= 2 * n - 1; ++v)
        for (size_t c = 0; c < alignment.calibrations.size(); ++c)
            if (count[static_cast<size_t>(v)][c] == alignment.calibrations[c].size && tips[static_cast<size_t>(v)] == alignment.calibrations[c].size)
                of_node[static_cast<size_t>(v)] = static_cast<int>(c);
    return of_node;
}

int calibration_of(int v) {
    if (alignment.calibrations.empty()) return -1;
    if (g_found.rows[0] != tree.cur.ppTwoRow[0] || g_found.rows[1] != tree.cur.ppTwoRow[1]) {
        g_found.rows[0] = tree.cur.ppTwoRow[0];
        g_found.rows[1] = tree.cur.ppTwoRow[1];
        g_found.of_node = calibrations_of_tree(tree.cur.ppTwoRow);
    }
    return g_found.of_node[static_cast<size_t>(v)];
}

void calibrated_scale_range(const TreeCopy& t, double& s_lo, double& s_hi) {
    const std::vector<int> cal = calibrations_of_tree(t.ppTwoRow);
    s_lo = 0;
    s_hi = HUGE_VAL;
    for (int v = tree.n + 1; v <= 2 * tree.n - 1; ++v) {
        const int c = cal[static_cast<size_t>(v)];
        if (c < 0) continue;
        const Calibration& k = alignment.calibrations[static_cast<size_t>(c)];
        const double room = 1.0 - t.TimeVec[static_cast<size_t>(v)];  // the node's age times s
        if (k.lo > 0) s_hi = std::min(s_hi, room / k.lo);
        if (std::isfinite(k.hi)) s_lo = std::max(s_lo, room / k.hi);
    }
}

bool node_time_window(int v, double& lo, double& hi) {
    const int c = calibration_of(v);
    if (c < 0) return false;
    const Calibration& k = alignment.calibrations[static_cast<size_t>(c)];
    const double s = tree.cur.age_scale;
    lo = std::isinf(k.hi) ? -HUGE_VAL : 1.0 - k.hi * s;
    hi = 1.0 - k.lo * s;
    return true;
}

bool clade_held(int X) { return calibration_of(X) >= 0; }

// Two subtrees of a topology being joined may be when their union splits no calibrated
// clade: for each clade it holds none of its taxa, only such taxa, or all of them.
bool join_allowed(int a, int b) {
    if (alignment.calibrations.empty()) return true;
    const int n = tree.n;
    std::vector<int> taxa;
    std::vector<int> stack{a, b};
    while (!stack.empty()) {
        const int v = stack.back();
        stack.pop_back();
        if (v <= n) {
            taxa.push_back(v);
            continue;
        }
        stack.push_back(tree.cur.ppTwoRow[0][v - (n + 1)]);
        stack.push_back(tree.cur.ppTwoRow[1][v - (n + 1)]);
    }
    for (const Calibration& c : alignment.calibrations) {
        int inside = 0;
        for (const int t : taxa) inside += c.member[static_cast<size_t>(t - 1)];
        if (inside != 0 && inside != static_cast<int>(taxa.size()) && inside != c.size) return false;
    }
    return true;
}
