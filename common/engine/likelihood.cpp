// Felsenstein's pruning over the tree arrays: leaf rows, the node step, full and path
// passes, and the log-likelihood at the root. Branch lengths come from the program's
// branch_length, so the same code serves clock times and free branch lengths.
#include "engine/likelihood.hpp"

#include <cmath>
#include <utility>

#include "base/state.hpp"
#include "base/thread_pool.hpp"
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

// The branch matrix above child c of node v, stored by column (Q[16 * cat + 4 * b + a] is
// the probability of a to b), so that the four states of one pattern are summed side by
// side.
void branch_columns(int v, int c, const double* times, double* Q) {
    double P[16 * kMaxRateCategories];
    branch_matrix(v, c, times, P);
    for (int cat = 0; cat < lik.ncat; ++cat)
        for (int a = 0; a < 4; ++a)
            for (int b = 0; b < 4; ++b) Q[16 * cat + 4 * b + a] = P[16 * cat + 4 * a + b];
}

// A leaf child's sums depend only on its code: 16 of them, written to tip, instead of one
// per pattern, and the leaf's row is never read.
ChildInput child_input(int v, int c, const double* times, double* Q, double* tip) {
    branch_columns(v, c, times, Q);
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

namespace {

// The row the site terms are made from: the root's, or a branch's product (run_products).
const double* g_terms_row = nullptr;
const int* g_terms_scale = nullptr;

// With rate categories or invariable sites: a pattern's likelihood is the sum over the
// categories (in order, each summed over the states A, G, C, T) times the category weight,
// plus pinv times the base frequencies of the states it allows at every leaf. The
// categories' scale factor 2^(256 s) is taken off before the invariable part is added.
void named_terms(int chunk, void*) {
    const PatternRange r = pattern_range(chunk, pattern_chunks());
    const ModelParams::Named& m = mp.named;
    const int ncat = lik.ncat;
    const double* L = g_terms_row;
    const int* sc = g_terms_scale;
    for (int p = r.first; p < r.first + r.count; ++p) {
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
        lik.site_terms[p] = alignment.site_counter[p] * ls;
    }
}

// One rate category: sum_a pi_a L(a) at the root, its logarithm less the scaling.
void plain_terms(int chunk, void*) {
    const PatternRange r = pattern_range(chunk, pattern_chunks());
    const double* L = g_terms_row;
    const int* sc = g_terms_scale;
    for (int p = r.first; p < r.first + r.count; ++p) {
        const double* l = L + 4 * p;
        double s = 0.0;
        s += mp.piA * l[0];
        s += mp.piG * l[1];
        s += mp.piC * l[2];
        s += mp.piT * l[3];
        double ls = log(s);
        // Only scaled patterns are touched, so unscaled ones keep the plain formula's bits.
        if (sc[p] != 0) ls -= sc[p] * kLogScaleStep;
        lik.site_terms[p] = alignment.site_counter[p] * ls;
    }
}

void (*site_terms_routine())(int, void*) {
    g_terms_row = lik_row(tree.n + 1);
    g_terms_scale = scale_row(tree.n + 1);
    const bool named = mp.named.on && (lik.ncat > 1 || mp.named.invariant);
    return named ? named_terms : plain_terms;
}

double sum_site_terms() {
    double lnL = 0.0;
    for (int p = 0; p < lik.npat; ++p) lnL += lik.site_terms[p];
    return lnL;
}

}  // namespace

// The node updates of a pass: every op's branch matrices and leaf sums are made first, in
// op order (the rate step of one op reads the rates the ops before it set), then the
// products run over the patterns, split into ranges when several threads work.
namespace {

struct Pass {
    const ProductOp* ops = nullptr;
    int count = 0;
    int chunks = 1;
    // When the pass also yields the log-likelihood: each chunk's site terms, made by the
    // thread that has just made the chunk's root rows.
    void (*terms)(int chunk, void* context) = nullptr;
};
Pass g_pass;
std::vector<ProductOp> g_ops;

// Space for one op's two matrices and two leaf tables.
std::size_t terms_per_op() { return static_cast<std::size_t>(2 * 16 + 2 * 64) * lik.ncat; }

void prepare_ops(int count, const double* times) {
    const std::size_t per = terms_per_op();
    if (lik.pass_terms.size() < per * count) lik.pass_terms.resize(per * count);
    g_ops.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const NodeOp& op = tree.ops[i];
        update_child_rates(op, tree.cur.ppTwoRow);
        double* q0 = lik.pass_terms.data() + per * i;
        double* q1 = q0 + 16 * lik.ncat;
        double* t0 = q1 + 16 * lik.ncat;
        double* t1 = t0 + 64 * lik.ncat;
        ProductOp& p = g_ops[static_cast<std::size_t>(i)];
        p.in0 = child_input(op.parent, op.child[0], times, q0, t0);
        p.in1 = child_input(op.parent, op.child[1], times, q1, t1);
        p.out = lik_row(op.parent);
        p.kv = scale_row(op.parent);
    }
}

// The child seen from pattern `first` on.
ChildInput from_pattern(ChildInput c, int first) {
    const std::size_t width = static_cast<std::size_t>(4) * lik.ncat;
    if (c.code != nullptr) {
        c.code += first;
    } else {
        c.x += width * first;
        c.k += first;
    }
    return c;
}

void products_of_chunk(int chunk, void*) {
    const PatternRange r = pattern_range(chunk, g_pass.chunks);
    const std::size_t width = static_cast<std::size_t>(4) * lik.ncat;
    for (int i = 0; i < g_pass.count; ++i) {
        const ProductOp& p = g_pass.ops[i];
        node_product(r.count, lik.ncat, from_pattern(p.in0, r.first), from_pattern(p.in1, r.first),
                     p.out + width * r.first, p.kv + r.first);
    }
    if (g_pass.terms != nullptr) g_pass.terms(chunk, nullptr);
}

// The products of `count` ops; with_lnl: the log-likelihood too, in the same parallel
// region, which spares the threads a second meeting per pass.
double run_ops(int count, const double* times, bool with_lnl) {
    prepare_ops(count, times);
    const int root = tree.n + 1;
    return run_products(count, g_ops.data(), with_lnl ? lik_row(root) : nullptr, scale_row(root));
}

}  // namespace

double run_products(int count, const ProductOp* ops, const double* terms_row, const int* terms_scale) {
    g_pass.ops = ops;
    g_pass.count = count;
    g_pass.chunks = pattern_chunks();
    g_pass.terms = nullptr;
    if (terms_row != nullptr) {
        g_pass.terms = site_terms_routine();
        g_terms_row = terms_row;
        g_terms_scale = terms_scale;
    }
    run_chunks(g_pass.chunks, products_of_chunk, nullptr);
    return terms_row != nullptr ? sum_site_terms() : 0.0;
}

int pattern_chunks() {
    const int t = thread_count();
    return t < lik.npat ? t : (lik.npat > 0 ? lik.npat : 1);
}

PatternRange pattern_range(int chunk, int chunks) {
    const long long npat = lik.npat;
    const int first = static_cast<int>(npat * chunk / chunks);
    const int end = static_cast<int>(npat * (chunk + 1) / chunks);
    return PatternRange{first, end - first};
}

void full_pass() { run_ops(post_order_ops(tree.cur.ppTwoRow), tree.cur.TimeVec.data(), false); }

double full_pass_log_likelihood() {
    return run_ops(post_order_ops(tree.cur.ppTwoRow), tree.cur.TimeVec.data(), true);
}

void path_pass(const int* nodes, int count, const std::vector<int>* rows, const double* times) {
    run_ops(path_ops(nodes, count, rows), times, false);
}

double path_pass_log_likelihood(const int* nodes, int count, const std::vector<int>* rows,
                                const double* times) {
    return run_ops(path_ops(nodes, count, rows), times, true);
}

// The live and spare rows of the listed internal nodes change places.
static void swap_path_rows(const int* nodes, int count) {
    for (int i = 0; i < count; ++i)
        if (nodes[i] > tree.n) std::swap(lik.live[nodes[i]], lik.spare[nodes[i]]);
}

double proposed_path_pass_log_likelihood(const int* nodes, int count,
                                         const std::vector<int>* rows, const double* times) {
    swap_path_rows(nodes, count);
    return path_pass_log_likelihood(nodes, count, rows, times);
}

void drop_proposed_path(const int* nodes, int count) { swap_path_rows(nodes, count); }

double log_likelihood() {
    run_chunks(pattern_chunks(), site_terms_routine(), nullptr);
    return sum_site_terms();
}

std::vector<double> pattern_log_likelihoods() {
    // The site terms are the pattern weights times these values: with every weight 1 they
    // are the values themselves, to the bit.
    const std::vector<int> weights = alignment.site_counter;
    for (int p = 0; p < alignment.npat; ++p) alignment.site_counter[static_cast<size_t>(p)] = 1;
    run_chunks(pattern_chunks(), site_terms_routine(), nullptr);
    std::vector<double> values(lik.site_terms.begin(), lik.site_terms.begin() + alignment.npat);
    alignment.site_counter = weights;
    return values;
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
