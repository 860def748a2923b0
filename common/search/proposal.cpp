// One annealing iteration, shared by both programs: pick a non-root internal node X,
// possibly swap one of its children with its sibling, let the program draw the new node
// values, evaluate the proposal along the path to the root and keep or undo it.
#include "search/proposal.hpp"

#include <cmath>

#include "base/fatal.hpp"
#include "base/program_info.hpp"
#include "base/rng.hpp"
#include "base/state.hpp"
#include "engine/engine_seams.hpp"
#include "engine/likelihood.hpp"
#include "search/archive.hpp"
#include "search/search_seams.hpp"
#include "search/tree.hpp"

namespace {

// Current <- temporary for the entries a move edits.
void accept_move(int X, int P, int A, int B, int S) {
    const int kP = P - (tree.n + 1), kX = X - (tree.n + 1);
    for (int r = 0; r < 2; ++r) {
        tree.cur.ppTwoRow[r][kP] = tree.temp.ppTwoRow[r][kP];
        tree.cur.ppTwoRow[r][kX] = tree.temp.ppTwoRow[r][kX];
    }
    for (int v : {X, A, B}) tree.cur.TimeVec[v] = tree.temp.TimeVec[v];
    for (int v : {A, B, S}) tree.cur.parents[v] = tree.temp.parents[v];
}

// A hit of the current record by a move that kept the topology: a tree seen fewer than
// min_trials times is still worth searching around.
StopCount add_hit_to_current_record() {
    if (archive.cur_record == nullptr) return StopCount::kKeep;
    archive.cur_record->hits += 1;
    return archive.cur_record->hits < settings.min_trials ? StopCount::kReset : StopCount::kKeep;
}

}  // namespace

// The nearest-neighbour interchange of move k in the temporary tree: k = 2 swaps B with
// S, k = 3 swaps A with S. The child that moves up takes P's position `side` and X takes
// P's other position; under X the child that stays takes position `side` and S the other.
void interchange_temp(int X, int P, int A, int B, int S, int side, int k) {
    const int kP = P - (tree.n + 1), kX = X - (tree.n + 1);
    const int up = k == 2 ? B : A;    // the child of X that moves up to P
    const int stay = k == 2 ? A : B;  // the child of X that stays
    tree.temp.ppTwoRow[side][kP] = up;
    tree.temp.ppTwoRow[1 - side][kP] = X;
    tree.temp.ppTwoRow[side][kX] = stay;
    tree.temp.ppTwoRow[1 - side][kX] = S;
    tree.temp.parents[up] = P;
    tree.temp.parents[S] = X;
}

void restore_move(int X, int P, int A, int B, int S) {
    const int kP = P - (tree.n + 1), kX = X - (tree.n + 1);
    for (int r = 0; r < 2; ++r) {
        tree.temp.ppTwoRow[r][kP] = tree.cur.ppTwoRow[r][kP];
        tree.temp.ppTwoRow[r][kX] = tree.cur.ppTwoRow[r][kX];
    }
    for (int v : {X, A, B}) tree.temp.TimeVec[v] = tree.cur.TimeVec[v];
    for (int v : {A, B, S}) tree.temp.parents[v] = tree.cur.parents[v];
}

ProposalResult evaluate_proposal(double lnL_cur, double temperature) {
    const int n = tree.n;
    std::vector<int>& path = tree.recalc_vec;
    for (int i = 2; i <= n - 2; ++i) path[i] = 0;
    // X and P are in place; climb from P to the root (P's ancestors are the same in the
    // current and the proposed tree), which ends up at position h.
    int h = 1;
    while (path[h] > n + 1 && h + 1 < static_cast<int>(path.size())) {
        path[h + 1] = tree.cur.parents[path[h]];
        ++h;
    }
    // A leaf at the start has no partials of its own to recompute.
    const int start = path[0] <= n ? 1 : 0;
    const int count = h + 1 - start;
    ProposalResult r;
    r.lnL = proposed_path_pass_log_likelihood(path.data() + start, count, tree.temp.ppTwoRow,
                                              tree.temp.TimeVec.data());
    r.change = std::fabs(r.lnL - lnL_cur);
    r.uphill = r.lnL >= lnL_cur;
    if (r.uphill) {
        r.accepted = true;
        return r;
    }

    // A fall is accepted with probability exp(fall / temperature). The draw is made whatever
    // the temperature so that the random stream does not depend on it; at a temperature of
    // zero (no burn-in) every fall is rejected. A negative temperature (settings that ask
    // for an acceptance probability above 1, or a negative cooling constant) makes the
    // exponential exceed 1, and every fall is accepted.
    const double u = uniform01();
    if (temperature != 0.0 && std::exp((r.lnL - lnL_cur) / temperature) >= u) {
        r.accepted = true;
        return r;
    }
    // The current tree's rows were never written. Where the rates of a pass follow the
    // current child table, though, the proposed pass has moved some of them, and the rows
    // are recomputed with the rates as they now stand, exactly as a pass over the current
    // tree would.
    drop_proposed_path(path.data() + start, count);
    if (rates_follow_current_rows())
        path_pass(path.data() + start, count, tree.cur.ppTwoRow, tree.cur.TimeVec.data());
    r.lnL = lnL_cur;
    return r;
}

ProposalResult propose_tree(double lnL_cur, double temperature) {
    const int n = tree.n;
    const int X = n + 2 + static_cast<int>(uniform01() * (n - 2));
    const int P = tree.cur.parents[X];
    const int kX = X - (n + 1), kP = P - (n + 1);
    const int A = tree.cur.ppTwoRow[0][kX], B = tree.cur.ppTwoRow[1][kX];
    const int side = tree.cur.ppTwoRow[0][kP] == X ? 0 : 1;
    const int S = tree.cur.ppTwoRow[1 - side][kP];
    tree.recalc_vec[0] = X;
    tree.recalc_vec[1] = P;

    int k = static_cast<int>(uniform01() * 3) + 1;
    if (k < 1 || k > 3)
        fatal("There was an index generating problem in file trbldg at line=%d\n\n",
              program.trbldg_line);
    if (k != 1 && clade_held(X)) k = 1;
    if (k != 1) interchange_temp(X, P, A, B, S, side, k);

    propose_node_values(X, P, A, B, S, side, k);

    ProposalResult r = evaluate_proposal(lnL_cur, temperature);
    if (!r.accepted) {
        restore_move(X, P, A, B, S);
        if (archive.cur_record != nullptr) archive.cur_record->hits += 1;
        r.stop = StopCount::kStep;
        return r;
    }

    accept_move(X, P, A, B, S);
    if (k == 1) {
        r.stop = add_hit_to_current_record();
        return r;
    }
    r.topology_changed = true;
    if (archive.n_keep == 0) r.stop = StopCount::kReset;
    if (ann.search_on && archive.n_keep > 0) {
        const ArchiveEntry entry = archive_current_tree(r.lnL);
        archive.cur_record = entry.record;
        r.stop = entry.resets_stop_count ? StopCount::kReset : StopCount::kKeep;
        for (int i = 0; i <= 2 * n - 1; ++i) tree.cur.TimeVec[i] = tree.temp.TimeVec[i];
    }
    return r;
}
