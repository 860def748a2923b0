// Alignments simulated with rate variation across sites, for the search benchmark: a random
// tree (unrooted with exponential branch lengths, or a clock tree), GTR with given
// frequencies, each site's rate drawn from a Gamma distribution of shape alpha (mean 1).
//
//   simulate free|clock|dated TAXA SITES ALPHA SEED PREFIX
//
// Writes PREFIX.infile (the programs' own format) and PREFIX.true.tre (the tree with its
// branch lengths in expected changes per site). The same arguments give the same files.
// `dated` is a clock tree of serially sampled tips: tips sampled evenly over the 20 years
// up to 2020, joined by a coalescent of time scale 10 years, at 0.004 changes per site per
// year; it also writes PREFIX.dates (each tip's date), PREFIX.dated.tre (lengths in years)
// and PREFIX.truth (the rate, the root's age and date).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "engine/named_model.hpp"
#include "input/model_spec.hpp"

namespace {

struct Node {
    int child[2] = {0, 0};
    double length = 0;  // of the branch above
};

std::vector<Node> g_nodes;  // 1..n leaves, then internal nodes; the last is the root

// Two lineages of `active` drawn at random joined into node `next`, which takes the second's
// place in the list; returns the new node.
int join_two(std::vector<int>& active, int& next, std::mt19937_64& g) {
    const size_t a = g() % active.size();
    const int x = active[a];
    active.erase(active.begin() + static_cast<long>(a));
    const size_t b = g() % active.size();
    const int y = active[b];
    const int v = next++;
    g_nodes[static_cast<size_t>(v)].child[0] = x;
    g_nodes[static_cast<size_t>(v)].child[1] = y;
    active[b] = v;
    return v;
}

// Random joins: a free tree with exponential lengths (mean 0.06), or a clock tree whose
// joins fall at times spaced as a coalescent's, scaled to a root-to-tip depth of 0.5.
int make_tree(bool clock, int n, std::mt19937_64& g) {
    g_nodes.assign(static_cast<size_t>(2 * n), Node{});
    std::vector<int> active;
    std::vector<double> height(static_cast<size_t>(2 * n), 0.0);
    for (int i = 1; i <= n; ++i) active.push_back(i);
    std::exponential_distribution<double> branch(1.0 / 0.06);
    double t = 0;
    int next = n + 1;
    while (active.size() > 1) {
        const double k = static_cast<double>(active.size());
        t += std::exponential_distribution<double>(k * (k - 1) / 2)(g);
        const int v = join_two(active, next, g);
        height[static_cast<size_t>(v)] = t;
    }
    const int root = next - 1;
    for (int v = 1; v < root; ++v) {
        const Node& node = g_nodes[static_cast<size_t>(v)];
        for (int c : node.child)
            if (c != 0) {
                g_nodes[static_cast<size_t>(c)].length =
                    clock ? 0.5 * (height[static_cast<size_t>(v)] - height[static_cast<size_t>(c)]) / t : branch(g);
            }
    }
    for (int c : g_nodes[static_cast<size_t>(root)].child)
        g_nodes[static_cast<size_t>(c)].length =
            clock ? 0.5 * (t - height[static_cast<size_t>(c)]) / t : branch(g);
    return root;
}

constexpr double kDatedSpan = 20, kDatedTheta = 10, kDatedRate = 0.004, kDatedLatest = 2020;

// Serially sampled tips: tip i is sampled kDatedSpan (i - 1) / (n - 1) years before the
// latest; going back in time, lineages join at the coalescent rate k (k - 1) / (2 theta)
// and the sampled tips enter as their ages are reached. Lengths in years; returns the root.
int make_dated_tree(int n, std::mt19937_64& g, std::vector<double>& age) {
    g_nodes.assign(static_cast<size_t>(2 * n), Node{});
    age.assign(static_cast<size_t>(2 * n), 0.0);
    for (int i = 1; i <= n; ++i) age[static_cast<size_t>(i)] = kDatedSpan * (i - 1) / (n - 1);
    std::vector<int> active;
    int entered = 0;
    double t = 0;
    int next = n + 1;
    while (entered < n || active.size() > 1) {
        while (entered < n && age[static_cast<size_t>(entered + 1)] <= t) active.push_back(++entered);
        const double k = static_cast<double>(active.size());
        const double wait = k >= 2 ? std::exponential_distribution<double>(k * (k - 1) / (2 * kDatedTheta))(g) : HUGE_VAL;
        if (entered < n && t + wait > age[static_cast<size_t>(entered + 1)]) {
            t = age[static_cast<size_t>(entered + 1)];
            continue;
        }
        t += wait;
        const int v = join_two(active, next, g);
        age[static_cast<size_t>(v)] = t;
    }
    const int root = next - 1;
    for (int v = n + 1; v <= root; ++v)
        for (int c : g_nodes[static_cast<size_t>(v)].child)
            g_nodes[static_cast<size_t>(c)].length = age[static_cast<size_t>(v)] - age[static_cast<size_t>(c)];
    return root;
}

std::string name(int i) {
    std::string s = "t";
    s += std::to_string(i);
    return s;
}

void write_newick_lengths(FILE* f, int v, int root) {
    const Node& node = g_nodes[static_cast<size_t>(v)];
    if (node.child[0] == 0) {
        fprintf(f, "%s", name(v).c_str());
    } else {
        fprintf(f, "(");
        write_newick_lengths(f, node.child[0], root);
        fprintf(f, ",");
        write_newick_lengths(f, node.child[1], root);
        fprintf(f, ")");
    }
    if (v != root) fprintf(f, ":%.6f", node.length);
}

int draw(const double* p, std::mt19937_64& g) {
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(g);
    double acc = 0;
    for (int b = 0; b < 3; ++b)
        if (u < (acc += p[b])) return b;
    return 3;
}

void evolve(int v, int state, double rate, std::vector<int>& leaf_state, std::mt19937_64& g) {
    const Node& node = g_nodes[static_cast<size_t>(v)];
    if (node.child[0] == 0) {
        leaf_state[static_cast<size_t>(v)] = state;
        return;
    }
    for (int c : node.child) {
        double P[16];
        named_transition_matrix(rate * g_nodes[static_cast<size_t>(c)].length, P);
        evolve(c, draw(P + 4 * state, g), rate, leaf_state, g);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        fprintf(stderr, "usage: %s free|clock|dated TAXA SITES ALPHA SEED PREFIX\n", argv[0]);
        return 1;
    }
    const bool dated = std::string(argv[1]) == "dated";
    const bool clock = std::string(argv[1]) == "clock" || dated;
    const int n = atoi(argv[2]), sites = atoi(argv[3]);
    const double alpha = atof(argv[4]);
    std::mt19937_64 g(static_cast<uint64_t>(atoll(argv[5])));
    const std::string prefix = argv[6];
    ModelSpec gtr;
    std::string why;
    parse_model_spec("GTR{1.2,4.5,0.8,1.1,6.0}+F{0.3,0.2,0.22,0.28}", gtr, why);
    setup_named_model(gtr);
    std::vector<double> age;
    const int root = dated ? make_dated_tree(n, g, age) : make_tree(clock, n, g);
    if (dated) {
        FILE* f = fopen((prefix + ".dated.tre").c_str(), "w");
        write_newick_lengths(f, root, root);
        fprintf(f, ";\n");
        fclose(f);
        f = fopen((prefix + ".dates").c_str(), "w");
        for (int i = 1; i <= n; ++i) fprintf(f, "%s\t%.4f\n", name(i).c_str(), kDatedLatest - age[static_cast<size_t>(i)]);
        fclose(f);
        f = fopen((prefix + ".truth").c_str(), "w");
        fprintf(f, "rate %g\nroot_age %.6f\nroot_date %.6f\n", kDatedRate, age[static_cast<size_t>(root)],
                kDatedLatest - age[static_cast<size_t>(root)]);
        fclose(f);
        for (int v = 1; v < root; ++v) g_nodes[static_cast<size_t>(v)].length *= kDatedRate;
    }
    std::gamma_distribution<double> rates(alpha, 1.0 / alpha);
    const double freqs[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
    std::vector<std::string> seqs(static_cast<size_t>(n + 1));
    std::vector<int> leaf_state(static_cast<size_t>(2 * n), 0);
    for (int s = 0; s < sites; ++s) {
        evolve(root, draw(freqs, g), rates(g), leaf_state, g);
        for (int i = 1; i <= n; ++i) seqs[static_cast<size_t>(i)] += "AGCT"[leaf_state[static_cast<size_t>(i)]];
    }
    FILE* f = fopen((prefix + ".infile").c_str(), "w");
    fprintf(f, "%d %d 1 0 0 0 0\n", n, sites);
    for (int i = 1; i <= n; ++i) fprintf(f, "%-10s %s\n", name(i).c_str(), seqs[static_cast<size_t>(i)].c_str());
    fclose(f);
    f = fopen((prefix + ".true.tre").c_str(), "w");
    write_newick_lengths(f, root, root);
    fprintf(f, ";\n");
    fclose(f);
    return 0;
}
