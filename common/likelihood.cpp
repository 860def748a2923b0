// Felsenstein's pruning over the tree arrays: leaf rows, the node step, full and path
// passes, and the log-likelihood at the root. Branch lengths come from the program's
// branch_length, so the same code serves clock times and free branch lengths.
#include "likelihood.hpp"

#include <cmath>

#include "alignment.hpp"
#include "fatal.hpp"
#include "model.hpp"
#include "program.hpp"

LikelihoodTables lik;

void reset_likelihood_tables(int n, int npat) {
    lik.nodes = 2 * n + 1;
    lik.npat = npat;
    const std::size_t cells = static_cast<std::size_t>(lik.nodes) * npat;
    lik.pppLik.assign(cells * 4, 0.0);
    lik.scale.assign(cells, 0);
    for (AlignedDoubles* t : {&lik.pppEstMu1, &lik.pppEstMu2, &lik.pppEstK1, &lik.pppEstK2,
                              &lik.pppEstMuK})
        t->assign(cells * 4, 0.0);
}

void init_leaf_partials() {
    const int n = tree.n;
    for (int m = 1; m <= n; ++m) {
        const std::vector<int>& codes = alignment.ppBase_unique[m - 1];
        double* row = lik_row(m);
        int* sc = scale_row(m);
        for (int p = 0; p < lik.npat; ++p) {
            const int* in = code_states(codes[p]);
            for (int a = 0; a < 4; ++a) row[4 * p + a] = in[a] ? 1.0 : 0.0;
            sc[p] = 0;
        }
    }
}

void branch_matrix(int parent, int child, const double* times, double* P) {
    transition_matrix(branch_length(parent, child, times), P);
}

double node_partial(int c0, int c1, int p, int a, const double* times, int v) {
    double P0[16], P1[16];
    branch_matrix(v, c0, times, P0);
    branch_matrix(v, c1, times, P1);
    const double* l0 = lik_row(c0) + 4 * p;
    const double* l1 = lik_row(c1) + 4 * p;
    double s0 = 0.0, s1 = 0.0;
    for (int b = 0; b < 4; ++b) s0 += P0[4 * a + b] * l0[b];
    for (int b = 0; b < 4; ++b) s1 += P1[4 * a + b] * l1[b];
    return s0 * s1;
}

// The two-child product over all patterns: for each pattern the four states are summed
// side by side, each over b = A, G, C, T in order, from 0.0. Compiled twice, for AVX2 and
// for any x86-64, and picked when the program starts; without contraction into fused
// multiply-adds both give the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
static void two_child_product(int npat, const double* __restrict Q0, const double* __restrict Q1,
                              const double* __restrict x0, const double* __restrict x1,
                              const int* __restrict k0, const int* __restrict k1,
                              double* __restrict out, int* __restrict kv) {
    for (int p = 0; p < npat; ++p) {
        const double* l0 = x0 + 4 * p;
        const double* l1 = x1 + 4 * p;
        double r[4];
        for (int a = 0; a < 4; ++a) {
            double s0 = 0.0;
            s0 += Q0[a] * l0[0];
            s0 += Q0[4 + a] * l0[1];
            s0 += Q0[8 + a] * l0[2];
            s0 += Q0[12 + a] * l0[3];
            double s1 = 0.0;
            s1 += Q1[a] * l1[0];
            s1 += Q1[4 + a] * l1[1];
            s1 += Q1[8 + a] * l1[2];
            s1 += Q1[12 + a] * l1[3];
            r[a] = s0 * s1;
        }
        // rescale_pattern's rule, written without a branch so that the loop vectorises:
        // f is exactly 1.0 or exactly 2^256 (1 + 2^256 rounds to 2^256), and multiplying
        // by 1.0 leaves an unscaled pattern's bits as they are.
        const int small = (r[0] < kScaleThreshold) & (r[1] < kScaleThreshold) &
                          (r[2] < kScaleThreshold) & (r[3] < kScaleThreshold);
        const double f = 1.0 + small * kScaleFactor;
        for (int a = 0; a < 4; ++a) out[4 * p + a] = r[a] * f;
        kv[p] = k0[p] + k1[p] + small;
    }
}

void update_node(int v, const std::vector<int>* rows, const double* times) {
    const int k = v - (tree.n + 1);
    const int c0 = rows[0][k];
    const int c1 = rows[1][k];
    // Row 0's branch first: clockml's branch_length brings the children's rates up to date
    // in this order.
    double P0[16], P1[16];
    branch_matrix(v, c0, times, P0);
    branch_matrix(v, c1, times, P1);
    // Column-major copies, so that the four states of one pattern are summed side by side.
    alignas(32) double Q0[16], Q1[16];
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 4; ++b) {
            Q0[4 * b + a] = P0[4 * a + b];
            Q1[4 * b + a] = P1[4 * a + b];
        }
    two_child_product(lik.npat, Q0, Q1, lik_row(c0), lik_row(c1), scale_row(c0), scale_row(c1),
                      lik_row(v), scale_row(v));
}

// Sweeps over the internal nodes in table order until every one is done; a node waits
// until both its children are, so a parent listed before its child needs a later sweep.
void full_pass() {
    const int n = tree.n;
    std::vector<int>& done_flag = tree.recalced;
    for (int v = 0; v <= n; ++v) done_flag[v] = 1;
    for (int v = n + 1; v <= 2 * n - 1; ++v) done_flag[v] = 0;
    int done = 0;
    while (done < n - 1) {
        const int before = done;
        for (int k = 0; k <= n - 2; ++k) {
            const int v = n + 1 + k;
            const int c0 = tree.ppTwoRow[0][k];
            const int c1 = tree.ppTwoRow[1][k];
            if (done_flag[c0] == 1 && done_flag[c1] == 1 && done_flag[v] == 0) {
                update_node(v, tree.ppTwoRow, tree.TimeVec.data());
                done_flag[v] = 1;
                ++done;
            }
        }
        // A sweep that completes nothing would repeat for ever: the table is not a tree.
        if (done == before) fatal("Error in full_pass: the child table is not a tree\n");
    }
}

void path_pass(const int* nodes, int count, const std::vector<int>* rows, const double* times) {
    for (int i = 0; i < count; ++i) {
        // A leaf has no partials to recompute; its parent is the next node listed.
        if (nodes[i] <= tree.n) continue;
        update_node(nodes[i], rows, times);
    }
}

double log_likelihood() {
    const int root = tree.n + 1;
    const double* L = lik_row(root);
    const int* sc = scale_row(root);
    double lnL = 0.0;
    for (int p = 0; p < lik.npat; ++p) {
        const double* l = L + 4 * p;
        double s = 0.0;
        s += mp.piA * l[0];
        s += mp.piG * l[1];
        s += mp.piC * l[2];
        s += mp.piT * l[3];
        double ls = log(s);
        // Only scaled patterns are touched, so unscaled ones keep the plain formula's bits.
        if (sc[p] != 0) ls -= sc[p] * kLogScaleStep;
        lnL += alignment.site_counter[p] * ls;
    }
    return lnL;
}

// Every pattern's probability at its observed frequency among all declared sites; sites
// excluded for gaps still count in the denominator.
double max_unconstrained_lnl() {
    const double N = settings.nsites;
    double lnL = 0.0;
    for (int p = 0; p < alignment.npat; ++p) {
        const int np = alignment.site_counter[p];
        lnL += np * log(np / N);
    }
    return lnL;
}
