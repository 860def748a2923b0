// Distance trees. The Jukes-Cantor distance of two sequences is -3/4 ln(1 - 4p/3), p the
// share of differing bases over the sites where both have an unambiguous base (5 when p
// reaches 3/4 or no site compares them). Neighbour joining (Saitou and Nei 1987) joins the
// pair with the smallest Q = (r - 2) d_ij - R_i - R_j; UPGMA the pair with the smallest
// distance, clusters averaged by size. Ties go to the first pair in sequence order, so the
// tree depends on the alignment alone.
#include "runs/start_tree.hpp"

#include <cmath>
#include <cstddef>
#include <vector>

#include "base/state.hpp"
#include "output/newick.hpp"

namespace {

constexpr double kFarApart = 5.0;

std::vector<std::vector<double>> jc_distances() {
    const int n = settings.ntaxa;
    const Alignment& a = alignment;
    std::vector<std::vector<double>> d(static_cast<size_t>(n), std::vector<double>(static_cast<size_t>(n), 0.0));
    for (int i = 0; i < n; ++i)
        for (int j = i + 1; j < n; ++j) {
            long compared = 0, differ = 0;
            const int* x = a.ppBase_unique[static_cast<size_t>(i)].data();
            const int* y = a.ppBase_unique[static_cast<size_t>(j)].data();
            for (int p = 0; p < a.npat; ++p) {
                if (x[p] < 0 || x[p] > 3 || y[p] < 0 || y[p] > 3) continue;
                compared += a.site_counter[static_cast<size_t>(p)];
                if (x[p] != y[p]) differ += a.site_counter[static_cast<size_t>(p)];
            }
            const double share = compared > 0 ? static_cast<double>(differ) / compared : 1.0;
            const double dist = share < 0.75 - 1e-9 ? -0.75 * std::log(1 - 4 * share / 3) : kFarApart;
            d[static_cast<size_t>(i)][static_cast<size_t>(j)] = d[static_cast<size_t>(j)][static_cast<size_t>(i)] = dist;
        }
    return d;
}

// One join of the distance tree: clusters in slots i and j (of the sequences' order) make
// the cluster that takes slot i; li and lj are the neighbour-joining lengths to them.
struct Join {
    size_t i, j;
    double li, lj;
};

// The joins down to the last two (rooted) or three (unrooted) clusters, whose slots are
// returned in `live`; `d` holds the distances between the clusters left.
std::vector<Join> join_clusters(bool rooted, std::vector<std::vector<double>>& d, std::vector<int>& live) {
    const int n = settings.ntaxa;
    std::vector<double> size(static_cast<size_t>(n), 1.0);
    std::vector<Join> joins;
    live.clear();
    for (int k = 0; k < n; ++k) live.push_back(k);
    const size_t last = rooted ? 2 : 3;
    while (live.size() > last) {
        const size_t r = live.size();
        std::vector<double> row_sum(r, 0.0);
        for (size_t x = 0; x < r; ++x)
            for (size_t y = 0; y < r; ++y) row_sum[x] += d[static_cast<size_t>(live[x])][static_cast<size_t>(live[y])];
        size_t bi = 0, bj = 1;
        double best = HUGE_VAL;
        for (size_t x = 0; x < r; ++x)
            for (size_t y = x + 1; y < r; ++y) {
                const double dxy = d[static_cast<size_t>(live[x])][static_cast<size_t>(live[y])];
                const double q = rooted ? dxy : (static_cast<double>(r) - 2) * dxy - row_sum[x] - row_sum[y];
                if (q < best) {
                    best = q;
                    bi = x;
                    bj = y;
                }
            }
        const size_t i = static_cast<size_t>(live[bi]), j = static_cast<size_t>(live[bj]);
        const double li = 0.5 * d[i][j] + (row_sum[bi] - row_sum[bj]) / (2 * (static_cast<double>(r) - 2));
        joins.push_back(Join{i, j, li, d[i][j] - li});
        // The joined cluster takes i's place.
        for (size_t x = 0; x < r; ++x) {
            const size_t k = static_cast<size_t>(live[x]);
            if (k == i || k == j) continue;
            const double v = rooted ? (size[i] * d[i][k] + size[j] * d[j][k]) / (size[i] + size[j])
                                    : 0.5 * (d[i][k] + d[j][k] - d[i][j]);
            d[i][k] = d[k][i] = v;
        }
        size[i] += size[j];
        live.erase(live.begin() + static_cast<std::ptrdiff_t>(bj));
    }
    return joins;
}

}  // namespace

std::string distance_tree_newick(bool rooted) {
    const int n = settings.ntaxa;
    std::vector<std::vector<double>> d = jc_distances();
    std::vector<std::string> label;
    for (int k = 0; k < n; ++k) label.push_back(newick_name(alignment.TaxonNames[static_cast<size_t>(k)]));
    std::vector<int> live;
    for (const Join& j : join_clusters(rooted, d, live)) label[j.i] = "(" + label[j.i] + "," + label[j.j] + ")";
    std::string text = "(";
    for (size_t x = 0; x < live.size(); ++x) text += (x ? "," : "") + label[static_cast<size_t>(live[x])];
    return text + ");";
}

std::vector<DistanceEdge> neighbour_joining_edges() {
    const int n = settings.ntaxa;
    std::vector<std::vector<double>> d = jc_distances();
    std::vector<int> node(static_cast<size_t>(n));  // the tree node of each slot's cluster
    for (int k = 0; k < n; ++k) node[static_cast<size_t>(k)] = k;
    std::vector<DistanceEdge> edges;
    int next = n;
    std::vector<int> live;
    for (const Join& j : join_clusters(false, d, live)) {
        edges.push_back(DistanceEdge{next, node[j.i], j.li > 0 ? j.li : 0.0});
        edges.push_back(DistanceEdge{next, node[j.j], j.lj > 0 ? j.lj : 0.0});
        node[j.i] = next++;
    }
    if (live.size() == 3) {  // the centre: each length by the three-point formula
        const size_t a = static_cast<size_t>(live[0]), b = static_cast<size_t>(live[1]), c = static_cast<size_t>(live[2]);
        const double la = 0.5 * (d[a][b] + d[a][c] - d[b][c]);
        const double lb = d[a][b] - la, lc = d[a][c] - la;
        for (const auto& [slot, len] : {std::pair<size_t, double>{a, la}, {b, lb}, {c, lc}})
            edges.push_back(DistanceEdge{next, node[slot], len > 0 ? len : 0.0});
    } else if (live.size() == 2) {
        edges.push_back(DistanceEdge{node[static_cast<size_t>(live[0])], node[static_cast<size_t>(live[1])],
                                     d[static_cast<size_t>(live[0])][static_cast<size_t>(live[1])]});
    }
    return edges;
}
