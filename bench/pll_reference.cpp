// libpll numbers its states A, C, G, T and normalises its rate matrix to one substitution
// per unit time; ours are A, G, C, T with the rate scale mu. Branch lengths are converted
// with the mean rate of our matrix.
#include "pll_reference.hpp"

#include <string>

#include "base/base_codes.hpp"
#include "base/state.hpp"
#include "engine/engine_seams.hpp"
#include "input/alignment.hpp"

namespace {

// Our relative rate from state i to j (A, G, C, T), apart from mu * pi_j: 1 for a
// transversion, 1 + (A_j - 1) / Pi_j for a transition (A_j the exponent factor).
double pair_rate(int i, int j) {
    if ((i < 2) != (j < 2)) return 1.0;
    const double A = mp.model == 1 ? (j < 2 ? mp.aR : mp.aY) : mp.Kprime;
    return 1.0 + (A - 1.0) / mp.group[j];
}

void post_order(int v, int n, std::vector<int>& order) {
    if (v <= n) return;
    const int k = v - (n + 1);
    post_order(tree.cur.ppTwoRow[0][k], n, order);
    post_order(tree.cur.ppTwoRow[1][k], n, order);
    order.push_back(v);
}

}  // namespace

unsigned pll_fastest_attributes() {
    pll_hardware_probe();
    unsigned arch = PLL_ATTRIB_ARCH_CPU;
    if (pll_hardware.sse3_present) arch = PLL_ATTRIB_ARCH_SSE;
    if (pll_hardware.avx_present) arch = PLL_ATTRIB_ARCH_AVX;
    if (pll_hardware.avx2_present) arch = PLL_ATTRIB_ARCH_AVX2;
    return arch | PLL_ATTRIB_PATTERN_TIP;
}

bool pll_build(PllReference& r, unsigned attributes) {
    const int n = tree.n;
    const int npat = alignment.npat;
    const ModelParams::Named& named = mp.named;
    const int ncat = named.on ? named.ncat : 1;
    r.n = n;
    r.part = pll_partition_create(n, n - 1, 4, npat, 1, 2 * n - 1, static_cast<unsigned>(ncat),
                                  n - 1, attributes);
    if (!r.part) return false;

    // ACGT order: AC, AG, AT, CG, CT, GT; ours index A 0, G 1, C 2, T 3.
    const int ours[4] = {0, 2, 1, 3};
    double rates[6];
    int q = 0;
    for (int x = 0; x < 4; ++x)
        for (int y = x + 1; y < 4; ++y, ++q) rates[q] = named.on ? named.exch[q] : pair_rate(ours[x], ours[y]);
    const double freqs[4] = {mp.piA, mp.piC, mp.piG, mp.piT};
    pll_set_subst_params(r.part, 0, rates);
    pll_set_frequencies(r.part, 0, freqs);
    // libpll divides the category rates by 1 - pinv itself.
    std::vector<double> cat(static_cast<size_t>(ncat), 1.0);
    for (int c = 0; named.on && c < ncat; ++c) cat[static_cast<size_t>(c)] = named.cat_rate[c] * (1.0 - named.pinv);
    pll_set_category_rates(r.part, cat.data());
    std::vector<unsigned> w(alignment.site_counter.begin(), alignment.site_counter.end());
    pll_set_pattern_weights(r.part, w.data());
    for (int m = 1; m <= n; ++m) {
        std::string seq;
        for (int code : alignment.ppBase_unique[m - 1]) seq += base_letter(code);
        if (!pll_set_tip_states(r.part, m - 1, pll_map_nt, seq.c_str())) return false;
    }
    if (named.on && named.invariant) {
        pll_update_invariant_sites(r.part);
        pll_update_invariant_sites_proportion(r.part, 0, named.pinv);
    }

    std::vector<int> order;
    post_order(n + 1, n, order);
    r.ops.clear();
    for (int v : order) {
        const int k = v - (n + 1);
        const int c0 = tree.cur.ppTwoRow[0][k], c1 = tree.cur.ppTwoRow[1][k];
        pll_operation_t op;
        op.parent_clv_index = v - 1;
        op.parent_scaler_index = k;
        op.child1_clv_index = c0 - 1;
        op.child1_matrix_index = c0 - 1;
        op.child1_scaler_index = c0 <= n ? PLL_SCALE_BUFFER_NONE : c0 - (n + 1);
        op.child2_clv_index = c1 - 1;
        op.child2_matrix_index = c1 - 1;
        op.child2_scaler_index = c1 <= n ? PLL_SCALE_BUFFER_NONE : c1 - (n + 1);
        r.ops.push_back(op);
    }
    return true;
}

void pll_full_pass(PllReference& r) {
    // Mean substitution rate of our matrix at mu = 1, which libpll's normalised matrix
    // takes as its time unit.
    // A named model's matrix is scaled the same way already.
    double mean = 0.0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (i != j) mean += mp.pi[i] * mp.pi[j] * pair_rate(i, j);
    if (mp.named.on) mean = 1.0;
    r.matrix_index.clear();
    r.lengths.clear();
    for (const pll_operation_t& op : r.ops) {
        const int v = static_cast<int>(op.parent_clv_index) + 1;
        for (unsigned c : {op.child1_clv_index, op.child2_clv_index}) {
            const double t = branch_length(v, static_cast<int>(c) + 1, tree.cur.TimeVec.data());
            r.matrix_index.push_back(c);
            r.lengths.push_back(t * mp.mu * mean);
        }
    }
    r.params_index.assign(static_cast<size_t>(mp.named.on ? mp.named.ncat : 1), 0);
    pll_update_eigen(r.part, 0);
    pll_update_prob_matrices(r.part, r.params_index.data(), r.matrix_index.data(),
                             r.lengths.data(), static_cast<unsigned>(r.lengths.size()));
    pll_update_partials(r.part, r.ops.data(), static_cast<unsigned>(r.ops.size()));
}

double pll_root_lnl(PllReference& r) {
    const std::vector<unsigned> freqs_index(r.part->rate_cats, 0);  // one per category
    return pll_compute_root_loglikelihood(r.part, r.n, 0, freqs_index.data(), nullptr);
}

void pll_release(PllReference& r) {
    if (r.part) pll_partition_destroy(r.part);
    r.part = nullptr;
}
