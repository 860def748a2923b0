// Felsenstein's pruning over the tree arrays: leaf rows, the node step, full and path
// passes, and the log-likelihood at the root. Branch lengths come from the program's
// branch_length, so the same code serves clock times and free branch lengths.
#include "engine/likelihood.hpp"

#include <cmath>
#include <utility>

#include "base/state.hpp"
#include "engine/engine_seams.hpp"
#include "base/base_codes.hpp"
#include "engine/model.hpp"
#include "engine/named_model.hpp"
#include "engine/node_product.hpp"
#include "engine/tree_ops.hpp"
#include "input/alignment.hpp"

void init_leaf_partials() {
    const int n = tree.n, ncat = lik.ncat;
    for (int p = 0; p < lik.npat; ++p) lik.constant_states[p] = 15;
    for (int m = 1; m <= n; ++m) {
        const std::vector<int>& codes = alignment.ppBase_unique[m - 1];
        double* row = lik_row(m);
        int* sc = scale_row(m);
        unsigned char* tc = lik.tip_code.data() + static_cast<std::size_t>(m) * lik.npat;
        for (int p = 0; p < lik.npat; ++p) {
            // code_states reads any code outside 0..15 as missing data.
            const int code = codes[p] >= 0 && codes[p] < 16 ? codes[p] : 15;
            for (int c = 0; c < ncat; ++c)
                for (int a = 0; a < 4; ++a) row[4 * (p * ncat + c) + a] = lik.tip_states[4 * code + a];
            sc[p] = 0;
            tc[p] = static_cast<unsigned char>(code);
            const int* in = code_states(code);
            lik.constant_states[p] &= static_cast<unsigned char>(in[0] | in[1] << 1 | in[2] << 2 | in[3] << 3);
        }
    }
}

void branch_matrix(int parent, int child, const double* times, double* P) {
    const double t = branch_length(parent, child, times);
    if (!mp.named.on) {
        transition_matrix(t, P);
        return;
    }
    // One matrix per rate category, each for the branch at its category's rate.
    for (int c = 0; c < lik.ncat; ++c)
        named_transition_matrix(mp.mu * mp.named.cat_rate[c] * t, P + 16 * c);
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

// Child c of node v seen through its branch: Q receives the branch matrix stored by column,
// so that the four states of one pattern are summed side by side. A leaf child's sums
// depend only on its code: 16 of them, written to tip, instead of one per pattern, and the
// leaf's row is never read.
static ChildInput child_input(int v, int c, const double* times, double* Q, double* tip) {
    double P[16 * kMaxRateCategories];
    branch_matrix(v, c, times, P);
    for (int cat = 0; cat < lik.ncat; ++cat)
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) Q[16 * cat + 4 * b + a] = P[16 * cat + 4 * a + b];
    ChildInput in{Q};
    if (c <= tree.n) {
        tip_sums(Q, lik.tip_states, tip, lik.ncat);
        in.code = tip_code_row(c);
        in.tip = tip;
    } else {
        in.x = lik_row(c);
        in.k = scale_row(c);
    }
    return in;
}

void update_node(const NodeOp& op, const double* times) {
    update_child_rates(op, tree.cur.ppTwoRow);
    alignas(32) double Q0[16 * kMaxRateCategories], Q1[16 * kMaxRateCategories];
    alignas(32) double T0[64 * kMaxRateCategories], T1[64 * kMaxRateCategories];
    const ChildInput in0 = child_input(op.parent, op.child[0], times, Q0, T0);
    const ChildInput in1 = child_input(op.parent, op.child[1], times, Q1, T1);
    node_product(lik.npat, lik.ncat, in0, in1, lik_row(op.parent), scale_row(op.parent));
}

void full_pass() {
    const int count = post_order_ops(tree.cur.ppTwoRow);
    for (int i = 0; i < count; ++i) update_node(tree.ops[i], tree.cur.TimeVec.data());
}

void path_pass(const int* nodes, int count, const std::vector<int>* rows, const double* times) {
    const int m = path_ops(nodes, count, rows);
    for (int i = 0; i < m; ++i) update_node(tree.ops[i], times);
}

// The live and spare rows of the listed internal nodes change places.
static void swap_path_rows(const int* nodes, int count) {
    for (int i = 0; i < count; ++i)
        if (nodes[i] > tree.n) std::swap(lik.live[nodes[i]], lik.spare[nodes[i]]);
}

void proposed_path_pass(const int* nodes, int count, const std::vector<int>* rows,
                        const double* times) {
    swap_path_rows(nodes, count);
    path_pass(nodes, count, rows, times);
}

void drop_proposed_path(const int* nodes, int count) { swap_path_rows(nodes, count); }

// With rate categories or invariable sites: a pattern's likelihood is the sum over the
// categories (in order, each summed over the states A, G, C, T) times the category weight,
// plus pinv times the base frequencies of the states it allows at every leaf. The
// categories' scale factor 2^(256 s) is taken off before the invariable part is added.
static double named_log_likelihood() {
    const ModelParams::Named& m = mp.named;
    const int root = tree.n + 1, ncat = lik.ncat;
    const double* L = lik_row(root);
    const int* sc = scale_row(root);
    double lnL = 0.0;
    for (int p = 0; p < lik.npat; ++p) {
        const double* l = L + static_cast<std::size_t>(p) * ncat * 4;
        double s = 0.0;
        for (int c = 0; c < ncat; ++c) {
            double sc_c = 0.0;
            for (int a = 0; a < 4; ++a) sc_c += mp.pi[a] * l[4 * c + a];
            s += sc_c;
        }
        const double variable = s * m.cat_weight;
        double ls;
        const int allowed = m.invariant ? lik.constant_states[p] : 0;
        if (allowed == 0) {
            ls = log(variable);
            if (sc[p] != 0) ls -= sc[p] * kLogScaleStep;
        } else {
            double constant = 0.0;
            for (int a = 0; a < 4; ++a)
                if (allowed & (1 << a)) constant += mp.pi[a];
            ls = log(std::ldexp(variable, -256 * sc[p]) + m.pinv * constant);
        }
        lnL += alignment.site_counter[p] * ls;
    }
    return lnL;
}

double log_likelihood() {
    if (mp.named.on && (lik.ncat > 1 || mp.named.invariant)) return named_log_likelihood();
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

#ifdef ZELVO_CHECKS
void check_current_lnl(double held, const char* where) {
    const AlignedDoubles partials = lik.pppLik;
    const std::vector<int, AlignedAllocator<int>> counts = lik.scale;
    const std::vector<double> rates = tree.cur.RateVec;
    full_pass();
    const double fresh = log_likelihood();
    lik.pppLik = partials;
    lik.scale = counts;
    tree.cur.RateVec = rates;
    const bool both_nan = std::isnan(fresh) && std::isnan(held);
    if (both_nan || std::fabs(fresh - held) <= 1e-9 * std::fabs(fresh)) return;
    fprintf(stderr, "internal check failed after the %s: the held log-likelihood is %.17g, a full pass gives %.17g\n",
            where, held, fresh);
    abort();
}
#endif
