// Clock trees with dated tips. Node times stay relative, 0 at the root and 1 at the latest
// tip; a tip sampled `a` units of time before the latest one has the time 1 - a s, where
// s = 1 / (the root's age) is estimated with the model. The scale is read off the tree
// itself (tip_scale_of), so an archived tree keeps the scale it was optimised with.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "app/app_seams.hpp"
#include "app/cli.hpp"
#include "base/fatal.hpp"
#include "base/file_io.hpp"
#include "base/state.hpp"
#include "clock.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/tip_dates.hpp"
#include "output/runlog.hpp"
#include "runs/root_to_tip.hpp"
#include "search/optimise.hpp"

namespace {

// Distance a node's time keeps from its children's, as in the node-time optimisation.
constexpr double kTipMargin = 0.001;
constexpr size_t kDatesLimit = 64u << 20;

double latest_date() {
    double latest = alignment.tip_date[0];
    for (const double d : alignment.tip_date) latest = d > latest ? d : latest;
    return latest;
}

// The oldest tip: the one whose time fixes the scale of a tree.
int oldest_tip() {
    int oldest = 1;
    for (int i = 2; i <= tree.n; ++i)
        if (alignment.tip_date[static_cast<size_t>(i - 1)] < alignment.tip_date[static_cast<size_t>(oldest - 1)]) oldest = i;
    return oldest;
}

double tip_scale_objective(int /*unused*/, double s) {
    set_tip_times(s);
    return -full_pass_log_likelihood();
}

}  // namespace

bool dated_run() { return !alignment.tip_date.empty(); }

double tip_age(int leaf) { return latest_date() - alignment.tip_date[static_cast<size_t>(leaf - 1)]; }

void set_tip_times(double s) {
    for (int i = 1; i <= tree.n; ++i) tree.cur.TimeVec[i] = tree.temp.TimeVec[i] = 1.0 - tip_age(i) * s;
}

double tip_scale_of(const std::vector<double>& times) {
    const int oldest = oldest_tip();
    return (1.0 - times[static_cast<size_t>(oldest)]) / tip_age(oldest);
}

namespace {

// What a root-age move holds fixed while Brent tries its points: every other node's age (in
// units of 1 / the entry scale) and the rate per unit of time, mu times the scale.
struct RootAgeMove {
    std::vector<double> age;  // of every node, at the entry scale
    double mu_times_scale = 0;
};
RootAgeMove g_root_move;  // scratch of one estimate_root_age call

// The root at age 1/s with every other node at its age and the rate unchanged.
double root_age_objective(int /*unused*/, double log_root_age) {
    const double s = std::exp(-log_root_age);
    for (int v = 1; v <= 2 * tree.n - 1; ++v)
        if (v != tree.n + 1) tree.cur.TimeVec[v] = tree.temp.TimeVec[v] = 1.0 - g_root_move.age[static_cast<size_t>(v)] * s;
    mp.mu = g_root_move.mu_times_scale / s;
    return -full_pass_log_likelihood();
}

// The root's age alone: the node times follow from the ages and mu from the rate, so that no
// other branch changes. Brent's method on the log of the age, from just above the older of
// the root's children to ten times the present age.
double estimate_root_age(double lnL_entry) {
    const int n = tree.n;
    const double s0 = tip_scale_of(tree.cur.TimeVec), mu0 = mp.mu;
    g_root_move.age.assign(static_cast<size_t>(2 * n), 0.0);
    for (int v = 1; v <= 2 * n - 1; ++v) g_root_move.age[static_cast<size_t>(v)] = (1.0 - tree.cur.TimeVec[v]) / s0;
    g_root_move.mu_times_scale = mu0 * s0;
    const std::vector<double> entry_times = tree.cur.TimeVec;
    double oldest_child = 0;
    for (int r = 0; r < 2; ++r)
        oldest_child = std::max(oldest_child, g_root_move.age[static_cast<size_t>(tree.cur.ppTwoRow[r][0])]);
    const double lo = std::log(oldest_child + kTipMargin / s0), here = std::log(1.0 / s0), hi = here + std::log(10.0);
    if (!(lo < here)) return lnL_entry;
    double best = here;
    const double f = brent(0, lo, here, hi, root_age_objective, 1e-6, best);
    if (!(-f > lnL_entry)) {
        tree.cur.TimeVec = entry_times;
        for (int v = 1; v <= 2 * n - 1; ++v) tree.temp.TimeVec[v] = entry_times[static_cast<size_t>(v)];
        mp.mu = mu0;
        return full_pass_log_likelihood();
    }
    return -root_age_objective(0, best);
}

// Every age scaled at once: the node times stay, the tips move with the scale. Brent's method
// on the interval where every tip stays clear of its parent; each point a full pass.
double estimate_age_scale(double lnL_entry) {
    const int n = tree.n;
    const double s0 = tip_scale_of(tree.cur.TimeVec);
    double s_max = HUGE_VAL;
    for (int i = 1; i <= n; ++i) {
        const double age = tip_age(i);
        if (age <= 0) continue;
        const double room = (1.0 - tree.cur.TimeVec[tree.cur.parents[i]] - kTipMargin) / age;
        s_max = room < s_max ? room : s_max;
    }
    if (!(s_max > 0) || !std::isfinite(s_max)) return lnL_entry;
    double start = s0 < s_max ? s0 : s_max * (1 - 1e-9);
    if (!(start > 0)) start = s_max / 2;
    double s_best = start;
    const double f = brent(0, 0.0, start, s_max, tip_scale_objective, 1e-6, s_best);
    set_tip_times(-f > lnL_entry ? s_best : s0);
    return full_pass_log_likelihood();
}

}  // namespace

// Two moves that the node-time sweeps cannot make: the root's age, and all ages at once.
double estimate_tip_scale(double lnL_entry) {
    const double lnL = estimate_root_age(lnL_entry);
    return estimate_age_scale(lnL);
}

// Start times of a freshly joined topology with dated tips: every node a share of the way
// from its parent down to its earliest tip, one share per level below it, so that each node
// lies between its parent and all of its children.
void assign_dated_start_values() {
    const int n = tree.n;
    const int root = n + 1;
    std::vector<double>& t = tree.cur.TimeVec;
    const double s = alignment.tip_scale_start;
    for (int i = 1; i <= n; ++i) t[i] = 1.0 - tip_age(i) * s;
    std::vector<double> earliest(static_cast<size_t>(2 * n), 1.0);
    std::vector<int> height(static_cast<size_t>(2 * n), 0);
    for (int i = 1; i <= n; ++i) earliest[static_cast<size_t>(i)] = t[i];
    // A joined node's children were made before it, and the root's before every other.
    const auto fold = [&](int v) {
        const int k = v - root;
        const int a = tree.cur.ppTwoRow[0][k], b = tree.cur.ppTwoRow[1][k];
        earliest[static_cast<size_t>(v)] = std::min(earliest[static_cast<size_t>(a)], earliest[static_cast<size_t>(b)]);
        height[static_cast<size_t>(v)] = 1 + std::max(height[static_cast<size_t>(a)], height[static_cast<size_t>(b)]);
    };
    for (int v = n + 2; v <= 2 * n - 1; ++v) fold(v);
    fold(root);
    t[root] = 0.0;
    const auto place = [&](int v) {
        const int k = v - root;
        for (int r = 0; r < 2; ++r) {
            const int c = tree.cur.ppTwoRow[r][k];
            if (c <= n) continue;
            t[c] = t[v] + (earliest[static_cast<size_t>(c)] - t[v]) / (height[static_cast<size_t>(c)] + 1);
        }
    };
    place(root);
    for (int v = 2 * n - 1; v >= n + 2; --v) place(v);
}

// The tip dates, from the folder's dates file or from the names, and the start: the
// root-to-tip regression of the neighbour-joining tree gives the root's age and the rate, and
// mu is set so that the start tree has that rate.
void program_tree_inputs() {
    const bool from_names = command_line.dates_from_names;
    if (!from_names && access("dates", F_OK) != 0) return;
    const char* from = "dates";
    if (from_names) {
        alignment.tip_date = tip_dates_from_names(alignment.TaxonNames);
        from = "the sequence names";
        runlog_note("tip dates     read from the ends of the sequence names (--dates-from-names)");
    } else {
        std::string text;
        FILE* f = fopen("dates", "r");
        if (f == nullptr) input_error("dates", 0, "cannot be read");
        read_input_file(f, "dates", kDatesLimit, text);
        fclose(f);
        runlog_input_file("dates", text);
        alignment.tip_date = read_tip_dates(text, "dates", alignment.TaxonNames);
    }
    check_tip_dates_usable(alignment.tip_date, from);
    const double latest = latest_date();
    const double span = tip_age(oldest_tip());
    std::vector<double> dates = alignment.tip_date;
    const RootToTip rtt = root_to_tip_regression(neighbour_joining_edges(), dates);
    double root_age = 2 * span;
    if (rtt.ok && rtt.slope > 0 && latest - rtt.root_date > span * 1.01) root_age = latest - rtt.root_date;
    alignment.tip_scale_start = 1.0 / root_age;
    if (rtt.ok && rtt.slope > 0) mp.mu *= rtt.slope * root_age / substitutions_per_unit();
    printf("  tip dates from %s: %.4f to %.4f; the start tree's root is %.4f before the latest\n", from,
           latest - span, latest, root_age);
}
