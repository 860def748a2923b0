// Analytic derivatives of the log-likelihood by the rate scale mu and the exponent factor
// Kprime, carried up the tree in the same post-order pass that recomputes the partials: for
// the branch above child c with matrix P,
//   A_c = sum_j P_ij L_c(j),  A_c^x = sum_j (P'_ij L_c(j) + P_ij D^x_c(j)),  ...
// and node v = (a, b) gets L_v = A_a A_b with the product rule for its derivatives.
#include "engine/derivatives.hpp"

#include <cmath>
#include <cstddef>
#include <vector>

#include "base/state.hpp"
#include "base/thread_pool.hpp"
#include "engine/engine_seams.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "engine/node_derivatives.hpp"
#include "engine/tree_ops.hpp"

namespace {

constexpr int kAllTables = DERIV_MU1 | DERIV_MU2 | DERIV_K1 | DERIV_K2 | DERIV_MUK;

// A second derivative is built from the first ones, and the mixed one from both.
int with_prerequisites(int which) {
    if (which & DERIV_MU2) which |= DERIV_MU1;
    if (which & DERIV_K2) which |= DERIV_K1;
    if (which & DERIV_MUK) which |= DERIV_MU1 | DERIV_K1;
    return which & kAllTables;
}

// The model's state-pair constants of the derivatives, row by row like P:
// q_ij - pi_j (factor of e1) and delta_ij - q_ij (factor of e2), q_ij = eps_ij pi_j / Pi_j.
struct PairTerms {
    double q_minus_pi[16];
    double delta_minus_q[16];
};

PairTerms pair_terms() {
    PairTerms t;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            const double q = transition_ind(i, j) * state_prob(j) / group_prob(j);
            t.q_minus_pi[4 * i + j] = q - state_prob(j);
            t.delta_minus_q[4 * i + j] = same_state(i, j) - q;
        }
    return t;
}

// One branch's matrix and the derivative matrices the set `which` needs.
void branch_terms(int which, int parent, int child, const PairTerms& pt, BranchTerms& B) {
    const double t = branch_length(parent, child, tree.cur.TimeVec.data());
    double P[16];
    transition_matrix(t, P);
    const double mu = mp.mu;
    const double e1 = exp((-mu) * t);
    for (int j = 0; j < 4; ++j) {
        const double A = exponent_factor(j);  // Kprime, or aR / aY under HKY
        const double e2 = exp(((-mu) * A) * t);
        for (int i = 0; i < 4; ++i) {
            const int k = 4 * j + i;
            const double qp = pt.q_minus_pi[4 * i + j];
            const double dq = pt.delta_minus_q[4 * i + j];
            B.P[k] = P[4 * i + j];
            if ((which & DERIV_MU1) != 0) B.mu1[k] = -t * qp * e1 - A * t * dq * e2;
            if ((which & DERIV_MU2) != 0)
                B.mu2[k] = t * t * qp * e1 + (A * t) * (A * t) * dq * e2;
            if ((which & DERIV_K1) != 0) B.k1[k] = -mu * t * dq * e2;
            if ((which & DERIV_K2) != 0) B.k2[k] = (mu * t) * (mu * t) * dq * e2;
            if ((which & DERIV_MUK) != 0) B.muk[k] = -t * (1 - mu * A * t) * dq * e2;
        }
    }
}

double* table_row(AlignedDoubles& table, int node) {
    if (table.empty()) return nullptr;
    return table.data() + static_cast<std::size_t>(node) * lik.npat * 4;
}

DerivRows node_rows(int node) {
    return DerivRows{lik_row(node),
                     table_row(lik.pppEstMu1, node),
                     table_row(lik.pppEstMu2, node),
                     table_row(lik.pppEstK1, node),
                     table_row(lik.pppEstK2, node),
                     table_row(lik.pppEstMuK, node),
                     scale_row(node)};
}

// A leaf child is looked up by pattern code in `tip`, filled here for its branch.
DerivChild child_input(int which, int c, const BranchTerms& B, ChildSums* tip) {
    DerivChild in;
    in.B = &B;
    if (c <= tree.n) {
        tip_child_sums(which, B, lik.tip_states, tip);
        in.code = tip_code_row(c);
        in.tip = tip;
    } else {
        in.rows = node_rows(c);
    }
    return in;
}

// One op's branch terms, leaf sums and rows, made before the patterns are worked through.
struct PreparedDerivOp {
    BranchTerms Ba, Bb;
    ChildSums tip_a[16], tip_b[16];
    DerivChild ca, cb;
    DerivRows v;
};

struct DerivPass {
    std::vector<PreparedDerivOp> ops;
    int which = 0;
    int chunks = 1;
};
DerivPass g_deriv;

// The rows from pattern `first` on.
DerivRows rows_from(DerivRows r, int first) {
    const std::size_t o = 4 * static_cast<std::size_t>(first);
    for (double** row : {&r.L, &r.mu1, &r.mu2, &r.k1, &r.k2, &r.muk})
        if (*row != nullptr) *row += o;
    r.scale += first;
    return r;
}

DerivChild child_from(DerivChild c, int first) {
    if (c.code != nullptr)
        c.code += first;
    else
        c.rows = rows_from(c.rows, first);
    return c;
}

void derivatives_of_chunk(int chunk, void*) {
    const PatternRange r = pattern_range(chunk, g_deriv.chunks);
    for (const PreparedDerivOp& op : g_deriv.ops)
        node_derivatives(g_deriv.which, r.count, child_from(op.ca, r.first), child_from(op.cb, r.first),
                         rows_from(op.v, r.first));
}

// Every node's partials and derivative entries from its two children, children first: the
// rates, branch terms and leaf sums of each node in order, then the patterns (in ranges
// when several threads work). Leaves do not depend on the parameters and are looked up by
// code, so their derivative rows are never read.
void post_order_pass(int which, const PairTerms& pt) {
    const int count = post_order_ops(tree.cur.ppTwoRow);
    g_deriv.ops.resize(static_cast<std::size_t>(count));
    g_deriv.which = which;
    for (int i = 0; i < count; ++i) {
        const NodeOp& op = tree.ops[i];
        PreparedDerivOp& d = g_deriv.ops[static_cast<std::size_t>(i)];
        update_child_rates(op, tree.cur.ppTwoRow);
        branch_terms(which, op.parent, op.child[0], pt, d.Ba);
        branch_terms(which, op.parent, op.child[1], pt, d.Bb);
        d.ca = child_input(which, op.child[0], d.Ba, d.tip_a);
        d.cb = child_input(which, op.child[1], d.Bb, d.tip_b);
        d.v = node_rows(op.parent);
    }
    g_deriv.chunks = pattern_chunks();
    run_chunks(g_deriv.chunks, derivatives_of_chunk, nullptr);
}

// The sums' terms of one pattern range: the log-likelihood term and the derivative terms
// in the sets of lik.site_terms.
enum TermSet { kLnL, kSmu, kHmumu, kSK, kHKK, kHmuK };
double* term_set(TermSet set) { return lik.site_terms.data() + static_cast<std::size_t>(set) * lik.npat; }

void root_terms_of_chunk(int chunk, void*) {
    const PatternRange range = pattern_range(chunk, pattern_chunks());
    const int which = g_deriv.which;
    const DerivRows root = node_rows(tree.n + 1);
    const double pi[4] = {mp.piA, mp.piG, mp.piC, mp.piT};
    for (int p = range.first; p < range.first + range.count; ++p) {
        const std::size_t o = 4 * static_cast<std::size_t>(p);
        const int n_s = alignment.site_counter[p];
        double Ls = 0.0, Lmu = 0.0, Lmumu = 0.0, LK = 0.0, LKK = 0.0, LmuK = 0.0;
        for (int i = 0; i < 4; ++i) Ls += pi[i] * root.L[o + i];
        double ls = log(Ls);
        if (root.scale[p] != 0) ls -= root.scale[p] * kLogScaleStep;
        term_set(kLnL)[p] = n_s * ls;
        if (which & DERIV_MU1) {
            for (int i = 0; i < 4; ++i) Lmu += pi[i] * root.mu1[o + i];
            term_set(kSmu)[p] = n_s * Lmu / Ls;
        }
        if (which & DERIV_MU2) {
            for (int i = 0; i < 4; ++i) Lmumu += pi[i] * root.mu2[o + i];
            term_set(kHmumu)[p] = n_s * (Lmumu / Ls - (Lmu / Ls) * (Lmu / Ls));
        }
        if (which & DERIV_K1) {
            for (int i = 0; i < 4; ++i) LK += pi[i] * root.k1[o + i];
            term_set(kSK)[p] = n_s * LK / Ls;
        }
        if (which & DERIV_K2) {
            for (int i = 0; i < 4; ++i) LKK += pi[i] * root.k2[o + i];
            term_set(kHKK)[p] = n_s * (LKK / Ls - (LK / Ls) * (LK / Ls));
        }
        if (which & DERIV_MUK) {
            for (int i = 0; i < 4; ++i) LmuK += pi[i] * root.muk[o + i];
            term_set(kHmuK)[p] = n_s * (LmuK / Ls - Lmu * LK / (Ls * Ls));
        }
    }
}

// The sum of one set of terms, in pattern order from 0.
double sum_of(TermSet set) {
    const double* t = term_set(set);
    double sum = 0.0;
    for (int p = 0; p < lik.npat; ++p) sum += t[p];
    return sum;
}

// Sums at the root, weighted by the pattern counts. The likelihood of a pattern is taken
// with its scaling count as log_likelihood takes it; the derivatives enter as ratios to it,
// in which the scaling cancels.
RootSums root_sums(int which) {
    g_deriv.which = which;
    run_chunks(pattern_chunks(), root_terms_of_chunk, nullptr);
    RootSums r;
    r.lnL = sum_of(kLnL);
    if (which & DERIV_MU1) r.S_mu = sum_of(kSmu);
    if (which & DERIV_MU2) r.H_mumu = sum_of(kHmumu);
    if (which & DERIV_K1) r.S_K = sum_of(kSK);
    if (which & DERIV_K2) r.H_KK = sum_of(kHKK);
    if (which & DERIV_MUK) r.H_muK = sum_of(kHmuK);
    return r;
}

}  // namespace

RootSums derivative_pass(int which) {
    which = with_prerequisites(which);
    const PairTerms pt = pair_terms();
    post_order_pass(which, pt);
    return root_sums(which);
}
