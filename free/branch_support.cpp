// freeml's nearest-neighbour alternatives of every internal branch, for SH-aLRT and aBayes
// support. A branch joins four subtrees, AB|CD; the alternatives AC|BD and AD|BC swap two
// of them, and each is scored with the branch and its four neighbours optimised (up to
// three rounds, until a round gains less than 1e-6), the other lengths and the model as
// they are. The tree itself is scored as it stands.
#include <algorithm>
#include <vector>

#include "app/app_seams.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "free.hpp"

namespace {

constexpr int kRounds = 3;
constexpr double kRoundGain = 1e-6;
constexpr double kMinLength = 1e-6;

int& child_slot(int parent, int child) {
    const int k = parent - (tree.n + 1);
    return tree.cur.ppTwoRow[0][k] == child ? tree.cur.ppTwoRow[0][k] : tree.cur.ppTwoRow[1][k];
}

int child_of(int v, int row) { return tree.cur.ppTwoRow[row][v - (tree.n + 1)]; }

int other_child(int parent, int child) {
    const int a = child_of(parent, 0);
    return a == child ? child_of(parent, 1) : a;
}

// Subtrees x and y change places (each takes the other's parent); twice restores them.
void swap_subtrees(int x, int y) {
    const int px = tree.cur.parents[x], py = tree.cur.parents[y];
    child_slot(px, x) = y;
    child_slot(py, y) = x;
    tree.cur.parents[x] = py;
    tree.cur.parents[y] = px;
}

double optimise_around(const int (&around)[5]) {
    double lnL = full_pass_log_likelihood();
    for (int round = 0; round < kRounds; ++round) {
        // Each search starts at the branch's length and walks uphill from there: the
        // alternative's own optimum, not the star tree that a bracket from zero can reach.
        for (int c : around) optimise_branch(c, std::max(kMinLength, 0.5 * tree.cur.TimeVec[c]));
        const double next = full_pass_log_likelihood();
        const bool done = !(next > lnL + kRoundGain);
        lnL = next;
        if (done) break;
    }
    return lnL;
}

void score_alternative(int x, int y, const int (&around)[5], BranchAlternatives& b, int which) {
    const std::vector<double> lengths = tree.cur.TimeVec;
    swap_subtrees(x, y);
    b.lnL[which] = optimise_around(around);
    b.pattern_lnl[which] = pattern_log_likelihoods();
    swap_subtrees(x, y);
    tree.cur.TimeVec = lengths;
}

}  // namespace

std::vector<BranchAlternatives> program_branch_alternatives() {
    const int n = tree.n, root = n + 1;
    std::vector<BranchAlternatives> all;
    const double lnL0 = full_pass_log_likelihood();
    const std::vector<double> own = pattern_log_likelihoods();
    for (int c = n + 2; c <= 2 * n - 1; ++c) {
        const int P = tree.cur.parents[c];
        const int A = child_of(c, 0), B = child_of(c, 1);
        BranchAlternatives b;
        b.node = c;
        if (P != root) {
            const int S = other_child(P, c);
            const int around[5] = {c, A, B, S, P};
            score_alternative(A, S, around, b, 1);
            score_alternative(B, S, around, b, 2);
        } else {
            // The two root branches are one edge: taken once, from the first root child,
            // when the other is not a leaf.
            const int S = other_child(root, c);
            if (c != child_of(root, 0) || S <= n) continue;
            b.partner = S;
            const int C = child_of(S, 0), D = child_of(S, 1);
            const int around[5] = {c, A, B, C, D};
            score_alternative(B, C, around, b, 1);
            score_alternative(B, D, around, b, 2);
        }
        b.lnL[0] = lnL0;
        b.pattern_lnl[0] = own;
        all.push_back(b);
    }
    full_pass();
    return all;
}
