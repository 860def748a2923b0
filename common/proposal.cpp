// One annealing iteration, shared by both programs: pick a non-root internal node X,
// possibly swap one of its children with its sibling, let the program draw the new node
// values, evaluate the proposal along the path to the root and keep or undo it.
#include "proposal.hpp"

#include <cmath>

#include "archive.hpp"
#include "fatal.hpp"
#include "likelihood.hpp"
#include "program.hpp"
#include "rng.hpp"

namespace {

// Previous <- current: child rows of all internal nodes, node values and parents 0..2n-1.
void copy_current_to_prev() {
    const int n = tree.n;
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k <= n - 2; ++k) tree.ppTwoRow_prev[r][k] = tree.ppTwoRow[r][k];
    for (int i = 0; i <= 2 * n - 1; ++i) {
        tree.TimeVec_prev[i] = tree.TimeVec[i];
        tree.parents_prev[i] = tree.parents[i];
    }
}

// Best <- temporary, the whole tree.
void copy_temp_to_best() {
    const int n = tree.n;
    for (int r = 0; r < 2; ++r)
        for (int k = 0; k <= n - 2; ++k) tree.ppTwoRow_best[r][k] = tree.ppTwoRow_temp[r][k];
    for (int i = 0; i <= 2 * n - 1; ++i) {
        tree.TimeVec_best[i] = tree.TimeVec_temp[i];
        tree.RateVec_best[i] = tree.RateVec_temp[i];
        tree.parents_best[i] = tree.parents_temp[i];
    }
}

// Current <- temporary for the entries a move edits.
void accept_move(int X, int P, int A, int B, int S) {
    const int kP = P - (tree.n + 1), kX = X - (tree.n + 1);
    for (int r = 0; r < 2; ++r) {
        tree.ppTwoRow[r][kP] = tree.ppTwoRow_temp[r][kP];
        tree.ppTwoRow[r][kX] = tree.ppTwoRow_temp[r][kX];
    }
    for (int v : {X, A, B}) tree.TimeVec[v] = tree.TimeVec_temp[v];
    for (int v : {A, B, S}) tree.parents[v] = tree.parents_temp[v];
}

void add_hit_to_current_record() {
    if (archive.cur_record == nullptr) return;
    archive.cur_record->hits += 1;
    if (archive.cur_record->hits < settings.min_trials) ann.since_unique = 1;
}

}  // namespace

// The nearest-neighbour interchange of move k in the temporary tree: k = 2 swaps B with
// S, k = 3 swaps A with S. The child that moves up takes P's position `side` and X takes
// P's other position; under X the child that stays takes position `side` and S the other.
void interchange_temp(int X, int P, int A, int B, int S, int side, int k) {
    const int kP = P - (tree.n + 1), kX = X - (tree.n + 1);
    const int up = k == 2 ? B : A;    // the child of X that moves up to P
    const int stay = k == 2 ? A : B;  // the child of X that stays
    tree.ppTwoRow_temp[side][kP] = up;
    tree.ppTwoRow_temp[1 - side][kP] = X;
    tree.ppTwoRow_temp[side][kX] = stay;
    tree.ppTwoRow_temp[1 - side][kX] = S;
    tree.parents_temp[up] = P;
    tree.parents_temp[S] = X;
}

void restore_move(int X, int P, int A, int B, int S) {
    const int kP = P - (tree.n + 1), kX = X - (tree.n + 1);
    for (int r = 0; r < 2; ++r) {
        tree.ppTwoRow_temp[r][kP] = tree.ppTwoRow[r][kP];
        tree.ppTwoRow_temp[r][kX] = tree.ppTwoRow[r][kX];
    }
    for (int v : {X, A, B}) tree.TimeVec_temp[v] = tree.TimeVec[v];
    for (int v : {A, B, S}) tree.parents_temp[v] = tree.parents[v];
}

int evaluate_proposal() {
    const int n = tree.n;
    std::vector<int>& path = tree.recalc_vec;
    for (int i = 2; i <= n - 2; ++i) path[i] = 0;
    // X and P are in place; climb from P to the root (P's ancestors are the same in the
    // current and the proposed tree), which ends up at position h.
    int h = 1;
    while (path[h] > n + 1 && h + 1 < static_cast<int>(path.size())) {
        path[h + 1] = tree.parents[path[h]];
        ++h;
    }
    // A leaf at the start has no partials of its own to recompute.
    const int start = path[0] <= n ? 1 : 0;
    const int count = h + 1 - start;
    path_pass(path.data() + start, count, tree.ppTwoRow_temp, tree.TimeVec_temp.data());
    const double lnL_new = log_likelihood();
    ann.dlnL_abs = std::fabs(lnL_new - ann.lnL_cur);

    if (lnL_new >= ann.lnL_cur) {
        if (lnL_new > ann.lnL_best) {
            ann.lnL_best = lnL_new;
            ann.best_mu = mp.mu;
            ann.best_Kprime = mp.Kprime;
            copy_temp_to_best();
        }
        ann.lnL_prev = ann.lnL_cur;
        ann.lnL_cur = lnL_new;
        return 1;
    }

    // A fall is accepted with probability exp(fall / ci). The draw is made whatever the
    // temperature so that the random stream does not depend on it; at a temperature of
    // zero (no burn-in) every fall is rejected. A negative temperature (settings that ask
    // for an acceptance probability above 1, or a negative cooling constant) makes the
    // exponential exceed 1, and every fall is accepted.
    const double u = uniform01();
    if (ann.ci != 0.0 && std::exp((lnL_new - ann.lnL_cur) / ann.ci) >= u) {
        ann.lnL_prev = ann.lnL_cur;
        ann.lnL_cur = lnL_new;
        return 1;
    }
    path_pass(path.data() + start, count, tree.ppTwoRow, tree.TimeVec.data());
    return 0;
}

void propose_tree() {
    const int n = tree.n;
    const int X = n + 2 + static_cast<int>(uniform01() * (n - 2));
    const int P = tree.parents[X];
    const int kX = X - (n + 1), kP = P - (n + 1);
    const int A = tree.ppTwoRow[0][kX], B = tree.ppTwoRow[1][kX];
    const int side = tree.ppTwoRow[0][kP] == X ? 0 : 1;
    const int S = tree.ppTwoRow[1 - side][kP];
    tree.recalc_vec[0] = X;
    tree.recalc_vec[1] = P;

    const int k = static_cast<int>(uniform01() * 3) + 1;
    if (k < 1 || k > 3)
        fatal("There was an index generating problem in file trbldg at line=%d\n\n",
              program.trbldg_line);
    if (k != 1) interchange_temp(X, P, A, B, S, side, k);

    propose_node_values(X, P, A, B, S, side, k);

    if (evaluate_proposal() == 0) {
        restore_move(X, P, A, B, S);
        if (archive.cur_record != nullptr) archive.cur_record->hits += 1;
        ann.since_unique += 1;
        return;
    }

    copy_current_to_prev();
    accept_move(X, P, A, B, S);
    ann.n_accepted += 1;
    if (k == 1) {
        add_hit_to_current_record();
        return;
    }
    ann.n_changes += 1;
    if (archive.n_keep == 0) ann.since_unique = 1;
    if (ann.search_on && archive.n_keep > 0) {
        archive.cur_record = archive_current_tree(ann.lnL_cur);
        for (int i = 0; i <= 2 * n - 1; ++i) tree.TimeVec[i] = tree.TimeVec_temp[i];
    }
}
