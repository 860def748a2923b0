// With the root at distance p from end a of an edge of length L, a leaf on a's side is
// b_i + p from the root and one on the other side b_i - p (b_i measured to a, the length L
// included for the far side): each divergence is linear in p, so the residual sum of
// squares of the line on the dates is a quadratic in p, least at one point of [0, L].
#include "runs/root_to_tip.hpp"

#include <cmath>
#include <algorithm>
#include <cstddef>

#include "base/file_io.hpp"
#include "base/state.hpp"
#include "input/tip_dates.hpp"
#include "output/runlog.hpp"

namespace {

struct Adjacent {
    int node;
    double length;
};

// Distances from `from` to every leaf beyond it, the walk never crossing `away`.
void leaf_distances(const std::vector<std::vector<Adjacent>>& adj, int leaves, int from, int away, double base,
                    std::vector<double>& dist, std::vector<int>& side, int side_mark) {
    std::vector<std::pair<int, int>> stack{{from, away}};
    std::vector<double> at{base};
    while (!stack.empty()) {
        const auto [v, parent] = stack.back();
        const double d = at.back();
        stack.pop_back();
        at.pop_back();
        if (v < leaves) {
            dist[static_cast<size_t>(v)] = d;
            side[static_cast<size_t>(v)] = side_mark;
            continue;
        }
        for (const Adjacent& e : adj[static_cast<size_t>(v)])
            if (e.node != parent) {
                stack.push_back({e.node, v});
                at.push_back(d + e.length);
            }
    }
}

}  // namespace

RootToTip root_to_tip_regression(const std::vector<DistanceEdge>& edges, const std::vector<double>& dates) {
    RootToTip best;
    const int leaves = static_cast<int>(dates.size());
    if (leaves < 3 || edges.empty()) return best;
    int nodes = leaves;
    for (const DistanceEdge& e : edges) nodes = std::max(nodes, std::max(e.a, e.b) + 1);
    std::vector<std::vector<Adjacent>> adj(static_cast<size_t>(nodes));
    for (const DistanceEdge& e : edges) {
        adj[static_cast<size_t>(e.a)].push_back({e.b, e.length});
        adj[static_cast<size_t>(e.b)].push_back({e.a, e.length});
    }
    const double m = leaves;
    double xbar = 0;
    for (const double x : dates) xbar += x;
    xbar /= m;
    double sxx = 0;
    for (const double x : dates) sxx += (x - xbar) * (x - xbar);
    if (!(sxx > 0)) return best;

    std::vector<double> base(static_cast<size_t>(leaves));
    std::vector<int> sign(static_cast<size_t>(leaves));
    double best_rss = HUGE_VAL;
    for (size_t k = 0; k < edges.size(); ++k) {
        const DistanceEdge& e = edges[k];
        leaf_distances(adj, leaves, e.a, e.b, 0.0, base, sign, 1);
        leaf_distances(adj, leaves, e.b, e.a, e.length, base, sign, -1);
        // y_i(p) = base_i + sign_i p
        double bbar = 0, sbar = 0;
        for (int i = 0; i < leaves; ++i) {
            bbar += base[static_cast<size_t>(i)];
            sbar += sign[static_cast<size_t>(i)];
        }
        bbar /= m;
        sbar /= m;
        double A = 0, B = 0, C = 0, D = 0, E = 0;
        for (int i = 0; i < leaves; ++i) {
            const double db = base[static_cast<size_t>(i)] - bbar, ds = sign[static_cast<size_t>(i)] - sbar;
            const double dx = dates[static_cast<size_t>(i)] - xbar;
            A += db * db;
            B += db * ds;
            C += ds * ds;
            D += dx * db;
            E += dx * ds;
        }
        // RSS(p) = A + 2Bp + Cp^2 - (D + Ep)^2 / sxx
        const double curve = C - E * E / sxx, lean = B - D * E / sxx;
        double p = curve > 0 ? -lean / curve : 0.0;
        if (!(p >= 0)) p = 0;
        if (p > e.length) p = e.length;
        const double rss = A + 2 * B * p + C * p * p - (D + E * p) * (D + E * p) / sxx;
        if (rss < best_rss) {
            best_rss = rss;
            const double syy = A + 2 * B * p + C * p * p, sxy = D + E * p;
            best.ok = true;
            best.slope = sxy / sxx;
            const double ybar = bbar + sbar * p;
            best.root_date = best.slope != 0 ? xbar - ybar / best.slope : NAN;
            best.correlation = syy > 0 ? sxy / std::sqrt(sxx * syy) : 0.0;
            best.r_squared = best.correlation * best.correlation;
            best.residual_ms = (rss > 0 ? rss : 0.0) / m;
            best.branch = static_cast<int>(k);
            best.position = p;
        }
    }
    return best;
}

void write_root_to_tip(FILE* out, const RootToTip& r, const char* tree_words) {
    if (!r.ok) return;
    fprintf(out, "Root-to-tip regression of %s on the tip dates,\nrooted where the residuals are smallest:\n", tree_words);
    fprintf(out, "  slope %.6g substitutions per site per unit of time, root date %.4f,\n"
                 "  correlation %.4f, R^2 %.4f, residual mean square %.6g\n",
            r.slope, r.root_date, r.correlation, r.r_squared, r.residual_ms);
    if (!(r.slope > 0) || r.r_squared < 0.1)
        fprintf(out, "  The divergence barely follows the dates: a rate and ages from them rest on little "
                     "temporal signal.\n");
    fputc('\n', out);
}

std::string read_run_tip_dates(bool from_names) {
    std::string from;
    if (from_names) {
        alignment.tip_date = tip_dates_from_names(alignment.TaxonNames);
        from = "the sequence names";
        runlog_note("tip dates     read from the ends of the sequence names (--dates-from-names)");
    } else if (std::string text; read_recorded_input("dates", kDatesLimit, text)) {
        alignment.tip_date = read_tip_dates(text, "dates", alignment.TaxonNames);
        from = "dates";
    }
    if (!from.empty()) check_tip_dates_usable(alignment.tip_date, from.c_str());
    return from;
}
