#include "sim_case.hpp"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/alignment.hpp"
#include "input/model_spec.hpp"
#include "search/tree.hpp"

namespace {

// Random joins of the active lineages; the k-th join happens at time 1 - (k+1)/(n-1), so
// the root (the last join, node n+1) sits at 0 and the leaves at 1.
void random_clock_tree(int n, std::mt19937& gen) {
    reset_tree(n);
    std::vector<int> active;
    for (int m = 1; m <= n; ++m) {
        active.push_back(m);
        tree.cur.TimeVec[m] = 1.0;
    }
    int next = n + 2;
    for (int k = 0; k < n - 1; ++k) {
        const int v = k == n - 2 ? n + 1 : next++;
        std::uniform_int_distribution<int> pick(0, static_cast<int>(active.size()) - 1);
        const int i = pick(gen);
        const int a = active[i];
        active.erase(active.begin() + i);
        std::uniform_int_distribution<int> pick2(0, static_cast<int>(active.size()) - 1);
        const int j = pick2(gen);
        const int b = active[j];
        active[j] = v;
        tree.cur.ppTwoRow[0][v - (n + 1)] = a;
        tree.cur.ppTwoRow[1][v - (n + 1)] = b;
        tree.cur.TimeVec[v] = 1.0 - static_cast<double>(k + 1) / (n - 1);
    }
    for (int m = 1; m <= n; ++m) tree.cur.RateVec[m] = 1.0;
    parents_from_rows(tree.cur.ppTwoRow, tree.cur.parents);
    copy_tree_current_to_temp();
    copy_tree_current_to_best();
}

int draw_state(const double* p, std::mt19937& gen) {
    const double u = std::uniform_real_distribution<double>(0.0, 1.0)(gen);
    double acc = 0.0;
    for (int b = 0; b < 3; ++b) {
        acc += p[b];
        if (u < acc) return b;
    }
    return 3;
}

}  // namespace

void make_sim_case(int n, int npat, int model, double ambiguous, uint32_t seed, const char* named) {
    std::mt19937 gen(seed);
    settings.ntaxa = n;
    settings.nsites = 0;
    settings.model = model;
    random_clock_tree(n, gen);

    // Sequences evolve under equal frequencies and a transition bias; the model fitted
    // later takes its own frequencies from them.
    mp.model = 2;
    mp.mu = 1.0;
    mp.Kprime = 3.0;
    mp.piA = mp.piG = mp.piC = mp.piT = 0.25;
    mp.pi_r = mp.pi_y = 0.5;
    derive_model_constants();
    std::vector<std::vector<int>> state(2 * n + 1, std::vector<int>(npat));
    const double root_freq[4] = {0.3, 0.2, 0.2, 0.3};
    for (int p = 0; p < npat; ++p) state[n + 1][p] = draw_state(root_freq, gen);
    // Parents before children: internal nodes from the root down by time.
    std::vector<int> order{n + 1};
    for (std::size_t i = 0; i < order.size(); ++i) {
        const int v = order[i];
        if (v <= n) continue;
        for (int r = 0; r < 2; ++r) {
            const int c = tree.cur.ppTwoRow[r][v - (n + 1)];
            double P[16];
            transition_matrix(0.5 * (tree.cur.TimeVec[c] - tree.cur.TimeVec[v]), P);
            for (int p = 0; p < npat; ++p) state[c][p] = draw_state(P + 4 * state[v][p], gen);
            order.push_back(c);
        }
    }
    alignment.ppBase_unique.assign(n, std::vector<int>(npat));
    alignment.site_counter.assign(npat, 1);
    alignment.npat = npat;
    std::uniform_real_distribution<double> u01(0.0, 1.0);
    std::uniform_int_distribution<int> ambig_code(4, 15);
    for (int m = 1; m <= n; ++m)
        for (int p = 0; p < npat; ++p)
            alignment.ppBase_unique[m - 1][p] =
                u01(gen) < ambiguous ? ambig_code(gen) : state[m][p];
    for (int p = 0; p < npat; ++p) {
        alignment.site_counter[p] = 1 + static_cast<int>(gen() % 3);
        settings.nsites += alignment.site_counter[p];
    }

    reset_model_params();
    settings.model_spec = ModelSpec{};
    std::string why;
    if (named != nullptr && !parse_model_spec(named, settings.model_spec, why))
        fprintf(stderr, "sim_case: %s: %s\n", named, why.c_str());
    setup_model();
    reset_likelihood_tables(n, npat, mp.named.on ? mp.named.ncat : 1, !mp.named.on);
    init_leaf_partials();
}
