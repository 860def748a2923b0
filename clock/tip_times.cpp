// Clock trees in units of time. Node times stay relative, 0 at the root and 1 at the latest
// tip; with the scale s = 1 / (the root's age), a node of age h has the time 1 - h s. A tip
// sampled `a` units before the latest one has the time 1 - a s; without dates every tip is
// at 1 and calibrations alone give the ages. Each tree copy carries its scale (age_scale).
// The scale moves with two steps the node-time sweeps cannot make: the root's age alone
// (every other age and the rate kept), and, with dated tips, every age stretched above the
// oldest tip below it with the rate shrunk alike.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <utility>
#include <string>

#include "app/app_seams.hpp"
#include "app/cli.hpp"
#include "base/fatal.hpp"
#include "base/file_io.hpp"
#include "base/state.hpp"
#include "clock.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/calibrations.hpp"
#include "input/tip_dates.hpp"
#include "output/runlog.hpp"
#include "runs/root_to_tip.hpp"
#include "search/optimise.hpp"

namespace {

// Distance a node's time keeps from its children's, as in the node-time optimisation.
constexpr double kTipMargin = 0.001;

// The oldest tip: the one whose time fixes the scale of a tree with dated tips.
int oldest_tip() {
    int oldest = 1;
    for (int i = 2; i <= tree.n; ++i)
        if (tip_age(i) > tip_age(oldest)) oldest = i;
    return oldest;
}

// What a root-age move holds fixed while Brent tries its points: every other node's age (in
// units of 1 / the entry scale) and the rate per unit of time, mu times the scale.
struct RootAgeMove {
    std::vector<double> age;
    double mu_times_scale = 0;
};
RootAgeMove g_root_move;  // scratch of one estimate_root_age call

void set_ages(double s) {
    for (int v = 1; v <= 2 * tree.n - 1; ++v)
        if (v != tree.n + 1) tree.cur.TimeVec[v] = tree.temp.TimeVec[v] = 1.0 - g_root_move.age[static_cast<size_t>(v)] * s;
    tree.cur.age_scale = tree.temp.age_scale = s;
}

double root_age_objective(int /*unused*/, double log_root_age) {
    const double s = std::exp(-log_root_age);
    set_ages(s);
    mp.mu = g_root_move.mu_times_scale / s;
    return -full_pass_log_likelihood();
}

// The root's bounds: its calibration, if any.
void root_bounds(double& lo, double& hi) {
    lo = 0;
    hi = HUGE_VAL;
    const int c = calibration_of(tree.n + 1);
    if (c < 0) return;
    lo = alignment.calibrations[static_cast<size_t>(c)].lo;
    hi = alignment.calibrations[static_cast<size_t>(c)].hi;
}

// The root's age alone, by Brent's method on its logarithm: from just above the older of its
// children (and its lower bound) to ten times its present age (and its upper bound).
double estimate_root_age(double lnL_entry) {
    const int n = tree.n;
    const double s0 = tree.cur.age_scale, mu0 = mp.mu;
    g_root_move.age.assign(static_cast<size_t>(2 * n), 0.0);
    for (int v = 1; v <= 2 * n - 1; ++v) g_root_move.age[static_cast<size_t>(v)] = (1.0 - tree.cur.TimeVec[v]) / s0;
    g_root_move.mu_times_scale = mu0 * s0;
    double oldest_child = 0;
    for (int r = 0; r < 2; ++r)
        oldest_child = std::max(oldest_child, g_root_move.age[static_cast<size_t>(tree.cur.ppTwoRow[r][0])]);
    double lo_age = 0, hi_age = 0;
    root_bounds(lo_age, hi_age);
    const double here = std::log(1.0 / s0);
    const double lo = std::log(std::max(oldest_child + kTipMargin / s0, lo_age));
    const double hi = std::min(here + std::log(10.0), std::log(hi_age));
    if (!(lo < here && here <= hi) && !(lo <= here && here < hi)) return lnL_entry;
    const std::vector<double> entry_times = tree.cur.TimeVec;
    double best = here;
    const double f = brent(0, lo, here, hi, root_age_objective, 1e-6, best);
    if (-f > lnL_entry) return -root_age_objective(0, best);
    tree.cur.TimeVec = entry_times;
    tree.temp.TimeVec = entry_times;
    tree.cur.age_scale = tree.temp.age_scale = s0;
    mp.mu = mu0;
    return full_pass_log_likelihood();
}

// The ages stretched above their floors (dated tips only): each node's age above the age of
// the oldest tip below it is multiplied by c and the rate divided by c, so that the tree
// trades time for rate along the ridge the tip dates leave. Shrinking (c < 1) never makes a
// node pass its parent, which no tip blocks; stretching is bounded where the first would,
// and calibrations bound c. Brent's method on log c within a factor of 5 either way.
struct StretchMove {
    std::vector<double> age, floor;  // at the entry scale
    double mu = 0, s = 0;  // the entry mu and scale
};
StretchMove g_stretch;  // scratch of one estimate_age_stretch call

double stretch_objective(int /*unused*/, double log_c) {
    const int n = tree.n, root = n + 1;
    const double c = std::exp(log_c);
    const StretchMove& m = g_stretch;
    const auto stretched = [&](int v) {
        return m.floor[static_cast<size_t>(v)] + c * (m.age[static_cast<size_t>(v)] - m.floor[static_cast<size_t>(v)]);
    };
    const double s = 1.0 / stretched(root);
    for (int v = 1; v <= 2 * n - 1; ++v)
        tree.cur.TimeVec[v] = tree.temp.TimeVec[v] = v <= n ? 1.0 - tip_age(v) * s : 1.0 - stretched(v) * s;
    tree.cur.TimeVec[root] = tree.temp.TimeVec[root] = 0.0;
    tree.cur.age_scale = tree.temp.age_scale = s;
    // mu such that mu's rate per unit of time, S(mu) s, is the entry rate over c
    mp.mu = m.mu * (m.s / s) / c;
    return -full_pass_log_likelihood();
}

double estimate_age_stretch(double lnL_entry) {
    const int n = tree.n, root = n + 1;
    StretchMove& m = g_stretch;
    m.s = tree.cur.age_scale;
    m.mu = mp.mu;
    m.age.assign(static_cast<size_t>(2 * n), 0.0);
    m.floor.assign(static_cast<size_t>(2 * n), 0.0);
    for (int v = 1; v <= 2 * n - 1; ++v) m.age[static_cast<size_t>(v)] = (1.0 - tree.cur.TimeVec[v]) / m.s;
    m.age[static_cast<size_t>(root)] = 1.0 / m.s;
    for (int i = 1; i <= n; ++i) m.age[static_cast<size_t>(i)] = m.floor[static_cast<size_t>(i)] = tip_age(i);
    // Floors from the tips up: a node's children are below it in every tree.
    const auto floor_of = [&](auto& self, int v) -> double {
        if (v <= n) return m.floor[static_cast<size_t>(v)];
        const int k = v - root;
        const double f = std::max(self(self, tree.cur.ppTwoRow[0][k]), self(self, tree.cur.ppTwoRow[1][k]));
        m.floor[static_cast<size_t>(v)] = f;
        return f;
    };
    floor_of(floor_of, root);
    double lo = std::log(0.2), hi = std::log(5.0);
    // Stretching older moves a node by (c - 1) times its age above its floor: a child higher
    // above a lower floor than its parent would pass it. c stays below where the first would.
    for (int v = 1; v <= 2 * n - 1; ++v) {
        if (v == root) continue;
        const size_t V = static_cast<size_t>(v), P = static_cast<size_t>(tree.cur.parents[v]);
        const double floor_gap = m.floor[P] - m.floor[V], age_gap = m.age[P] - m.age[V];
        if (floor_gap > age_gap) hi = std::min(hi, std::log(floor_gap / (floor_gap - age_gap)) - 1e-6);
    }
    for (int v = n + 1; v <= 2 * n - 1; ++v) {
        const int c = calibration_of(v);
        if (c < 0) continue;
        const Calibration& k = alignment.calibrations[static_cast<size_t>(c)];
        const double above = m.age[static_cast<size_t>(v)] - m.floor[static_cast<size_t>(v)];
        if (!(above > 0)) continue;
        if (std::isfinite(k.hi)) hi = std::min(hi, std::log((k.hi - m.floor[static_cast<size_t>(v)]) / above));
        if (k.lo > m.floor[static_cast<size_t>(v)]) lo = std::max(lo, std::log((k.lo - m.floor[static_cast<size_t>(v)]) / above));
    }
    if (!(lo < 0 && 0 < hi)) return lnL_entry;
    const std::vector<double> entry_times = tree.cur.TimeVec;
    double best = 0;
    const double f = brent(0, lo, 0.0, hi, stretch_objective, 1e-6, best);
    if (-f > lnL_entry) return -stretch_objective(0, best);
    tree.cur.TimeVec = entry_times;
    tree.temp.TimeVec = entry_times;
    tree.cur.age_scale = tree.temp.age_scale = m.s;
    mp.mu = m.mu;
    return full_pass_log_likelihood();
}

}  // namespace

bool dated_tips() { return !alignment.tip_date.empty(); }

bool dated_run() { return dated_tips() || !alignment.calibrations.empty(); }

double latest_date() {
    double latest = alignment.tip_date[0];
    for (const double d : alignment.tip_date) latest = std::max(latest, d);
    return latest;
}

double tip_age(int leaf) { return dated_tips() ? latest_date() - alignment.tip_date[static_cast<size_t>(leaf - 1)] : 0.0; }

void set_tip_times(double s) {
    for (int i = 1; i <= tree.n; ++i) tree.cur.TimeVec[i] = tree.temp.TimeVec[i] = 1.0 - tip_age(i) * s;
    tree.cur.age_scale = tree.temp.age_scale = s;
}

double estimate_tip_scale(double lnL_entry) {
    const double lnL = estimate_root_age(lnL_entry);
    return dated_tips() ? estimate_age_stretch(lnL) : lnL;
}

// A tree from the archive brings its own times. With dated tips they fix its scale; without,
// the calibrations allow a range of scales (every age may be stretched alike), and the one
// nearest the present scale is taken.
void settle_loaded_scale() {
    if (dated_tips()) {
        const int oldest = oldest_tip();
        tree.cur.age_scale = tree.temp.age_scale = (1.0 - tree.cur.TimeVec[oldest]) / tip_age(oldest);
        return;
    }
    double s_lo = 0, s_hi = 0;
    calibrated_scale_range(tree.cur, s_lo, s_hi);
    if (s_lo <= s_hi) tree.cur.age_scale = tree.temp.age_scale = std::clamp(tree.cur.age_scale, s_lo, s_hi);
}

namespace {

// The neighbour-joining tree rooted where the root-to-tip regression puts its root, as the
// start topology of a run with dated tips: a random topology mixes old and young tips under
// nodes that must be older than all of them, which the search is slow to undo. Each inner
// node's age is read off the regression line at its divergence from the root (into
// `target`, by our node number), as TempEst dates a tree.
void use_regression_rooted_topology(std::vector<double>& target) {
    const int n = tree.n;
    const std::vector<DistanceEdge> edges = neighbour_joining_edges();
    const RootToTip rtt = root_to_tip_regression(edges, alignment.tip_date);
    if (!rtt.ok) return;
    std::vector<std::vector<int>> adj(static_cast<size_t>(2 * n));
    for (const DistanceEdge& e : edges) {
        adj[static_cast<size_t>(e.a)].push_back(e.b);
        adj[static_cast<size_t>(e.b)].push_back(e.a);
    }
    std::map<std::pair<int, int>, double> length;
    for (const DistanceEdge& e : edges) length[{std::min(e.a, e.b), std::max(e.a, e.b)}] = e.length;
    const auto edge_length = [&](int u, int w) { return length[{std::min(u, w), std::max(u, w)}]; };
    std::vector<int> rows[2] = {tree.cur.ppTwoRow[0], tree.cur.ppTwoRow[1]};
    std::vector<double> ages(static_cast<size_t>(2 * n), NAN);
    const double latest = latest_date();
    int next = n + 2;
    bool ok = true;
    // Our number of the subtree at v seen from `from` (leaves 0..n-1 are 1..n), v's
    // divergence from the root being `div`.
    const auto build = [&](auto& self, int v, int from, double div) -> int {
        if (v < n) return v + 1;
        std::vector<int> below;
        for (const int w : adj[static_cast<size_t>(v)])
            if (w != from) below.push_back(w);
        if (below.size() != 2 || next > 2 * n - 1) {
            ok = false;
            return 1;
        }
        const int a = self(self, below[0], v, div + edge_length(v, below[0]));
        const int b = self(self, below[1], v, div + edge_length(v, below[1]));
        const int m = next++;
        rows[0][m - (n + 1)] = a;
        rows[1][m - (n + 1)] = b;
        if (rtt.slope > 0) ages[static_cast<size_t>(m)] = latest - (rtt.root_date + div / rtt.slope);
        return m;
    };
    const DistanceEdge& e = edges[static_cast<size_t>(rtt.branch)];
    const int a = build(build, e.a, e.b, rtt.position), b = build(build, e.b, e.a, e.length - rtt.position);
    rows[0][0] = a;
    rows[1][0] = b;
    if (!ok || next != 2 * n) return;
    // A calibrated clade the distance tree splits leaves the random start, which keeps it.
    std::vector<int> found = calibrations_of_tree(rows);
    std::vector<char> held(alignment.calibrations.size(), 0);
    for (const int c : found)
        if (c >= 0) held[static_cast<size_t>(c)] = 1;
    for (const char h : held)
        if (!h) return;
    tree.cur.ppTwoRow[0] = rows[0];
    tree.cur.ppTwoRow[1] = rows[1];
    target = ages;
}

}  // namespace

// Start ages of a freshly joined topology (with dated tips, the regression-rooted
// neighbour-joining tree in its place, when it keeps every calibrated clade): each node's least age (older than its children,
// at least its lower bound) from the tips up, its greatest (younger than its parent, at most
// its upper bound) from the root down; the root at the age the start asks for, and every
// other node at the regression's age for it or else a share of the way from its oldest tip up
// to its parent, one share per level below it, kept within its least and greatest ages.
void assign_dated_start_values() {
    const int n = tree.n, root = n + 1;
    std::vector<double> regression_age(static_cast<size_t>(2 * n), NAN);
    if (dated_tips()) use_regression_rooted_topology(regression_age);
    const std::vector<int> cal = calibrations_of_tree(tree.cur.ppTwoRow);
    const auto lo_of = [&](int v) { return cal[static_cast<size_t>(v)] < 0 ? 0.0 : alignment.calibrations[static_cast<size_t>(cal[static_cast<size_t>(v)])].lo; };
    const auto hi_of = [&](int v) { return cal[static_cast<size_t>(v)] < 0 ? HUGE_VAL : alignment.calibrations[static_cast<size_t>(cal[static_cast<size_t>(v)])].hi; };
    double unit = 0;  // the scale of the ages given
    for (int i = 1; i <= n; ++i) unit = std::max(unit, tip_age(i));
    for (const Calibration& c : alignment.calibrations) unit = std::max(unit, std::isfinite(c.hi) ? c.hi : c.lo);
    const double eps = 1e-4 * (unit > 0 ? unit : 1.0);
    std::vector<double> least(static_cast<size_t>(2 * n), 0.0), greatest(static_cast<size_t>(2 * n), HUGE_VAL),
        base(static_cast<size_t>(2 * n), 0.0), age(static_cast<size_t>(2 * n), 0.0);
    std::vector<int> height(static_cast<size_t>(2 * n), 0);
    for (int i = 1; i <= n; ++i) least[static_cast<size_t>(i)] = base[static_cast<size_t>(i)] = age[static_cast<size_t>(i)] = tip_age(i);
    // A joined node's children were made before it, and the root's before every other.
    const auto fold = [&](int v) {
        const int a = tree.cur.ppTwoRow[0][v - root], b = tree.cur.ppTwoRow[1][v - root];
        const size_t V = static_cast<size_t>(v), A = static_cast<size_t>(a), B = static_cast<size_t>(b);
        least[V] = std::max(std::max(least[A], least[B]) + eps, lo_of(v));
        base[V] = std::max(base[A], base[B]);
        height[V] = 1 + std::max(height[A], height[B]);
    };
    for (int v = n + 2; v <= 2 * n - 1; ++v) fold(v);
    fold(root);
    greatest[static_cast<size_t>(root)] = hi_of(root);
    double target = dated_tips() ? 1.0 / alignment.tip_scale_start : 0.0;
    if (!dated_tips()) {  // twice the oldest age the calibrations name, or the root's middle
        for (const Calibration& c : alignment.calibrations) target = std::max(target, 2 * (c.lo > 0 ? c.lo : c.hi / 2));
        if (std::isfinite(hi_of(root))) target = (lo_of(root) + hi_of(root)) / 2;
    }
    age[static_cast<size_t>(root)] = std::min(std::max(target, least[static_cast<size_t>(root)]), greatest[static_cast<size_t>(root)]);
    const auto place = [&](int v) {
        for (int r = 0; r < 2; ++r) {
            const int c = tree.cur.ppTwoRow[r][v - root];
            if (c <= n) continue;
            const size_t C = static_cast<size_t>(c), V = static_cast<size_t>(v);
            greatest[C] = std::min(hi_of(c), age[V] - eps);
            const double share = std::isfinite(regression_age[C]) ? regression_age[C]
                                                           : base[C] + (age[V] - base[C]) * height[C] / (height[C] + 1);
            age[C] = std::min(std::max(share, least[C]), greatest[C]);
        }
    };
    place(root);
    for (int v = 2 * n - 1; v >= n + 2; --v) place(v);
    const double s = 1.0 / age[static_cast<size_t>(root)];
    for (int v = 1; v <= 2 * n - 1; ++v) tree.cur.TimeVec[v] = 1.0 - age[static_cast<size_t>(v)] * s;
    tree.cur.age_scale = s;
}


// The tip dates (the dates file, or the ends of the names) and the calibrations, checked
// together; then the start: with dated tips the root-to-tip regression of the
// neighbour-joining tree gives the root's age and the rate, and mu is set to that rate.
void program_tree_inputs() {
    std::string text;
    const std::string from = read_run_tip_dates(command_line.dates_from_names);
    if (read_recorded_input("calibrations", kDatesLimit, text)) {
        alignment.calibrations = read_calibrations(text, "calibrations", alignment.TaxonNames);
        std::vector<double> ages;
        for (int i = 1; i <= settings.ntaxa; ++i) ages.push_back(tip_age(i));
        check_calibrations(alignment.calibrations, ages, "calibrations");
        printf("  %zu calibrated clade%s read from calibrations\n", alignment.calibrations.size(),
               alignment.calibrations.size() == 1 ? "" : "s");
    }
    if (!dated_tips()) return;
    const double latest = latest_date();
    const double span = tip_age(oldest_tip());
    const RootToTip rtt = root_to_tip_regression(neighbour_joining_edges(), alignment.tip_date);
    double root_age = 2 * span;
    if (rtt.ok && rtt.slope > 0 && latest - rtt.root_date > span * 1.01) root_age = latest - rtt.root_date;
    alignment.tip_scale_start = 1.0 / root_age;
    if (rtt.ok && rtt.slope > 0) mp.mu *= rtt.slope * root_age / substitutions_per_unit();
    printf("  tip dates from %s: %.4f to %.4f\n", from.c_str(), latest - span, latest);
}
