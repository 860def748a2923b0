// Branch-length optimisation of freeml, and the optimisation of archived trees that makes
// the chosen one current.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "free.hpp"
#include "search/optimise.hpp"
#include "search/tree.hpp"
#include "support.hpp"

namespace {

// sequences 1 and 2 are identical
const std::vector<std::string> kSeqs = {"AAGCTTACGAACGT", "AAGCTTACGAACGT", "AGGCATTCGAATGA",
                                       "AGGCATTCCAATGC", "CGGTATTAGACTAC"};
// Child rows of ((1,2)7, ((3,4)9, 5)8)6 and of (((1,3)8, (2,4)9)7, 5)6.
const std::vector<int> kTreeA[2] = {{7, 1, 9, 3, 0}, {8, 2, 5, 4, 0}};
const std::vector<int> kTreeB[2] = {{7, 8, 1, 2, 0}, {5, 9, 3, 4, 0}};

void set_up(int model, int estimate) {
    reset_all_state();
    set_columns(kSeqs, model, estimate);
    reset_tree(5);
    reset_archive(5, 2);
    for (int r = 0; r < 2; ++r)
        std::copy(kTreeA[r].begin(), kTreeA[r].end(), tree.cur.ppTwoRow[r].begin());
    parents_from_rows(tree.cur.ppTwoRow, tree.cur.parents);
    tree.cur.TimeVec = {0, 0.5, 3.0, 0.2, 0.05, 5.0, 0, 1e-3, 0.3, 0.8, 0};
    ann.lnL_cur = start_likelihood();
}

// A record of the tree with child rows `rows` in `slot`, put at the head of the list.
TreeRecord* add_record(const std::vector<int>* rows, int slot) {
    for (int k = 0; k < 5; ++k) {
        archive.pppTR[slot][k] = rows[0][k];
        archive.pppTR[slot][5 + k] = rows[1][k];
    }
    archive.ppTimeVec[slot].assign(11, 0.1);
    archive.head = new TreeRecord{"", 0, 0, 0.0, -1.0, 0, slot, archive.head, current_estimates()};
    ++archive.archive_count;
    return archive.head;
}

void expect_current_everywhere(const std::vector<int>* rows, int slot) {
    std::vector<int> par(11, 0);
    parents_from_rows(rows, par);
    for (const auto* copy :
         {tree.cur.ppTwoRow, tree.temp.ppTwoRow, tree.best.ppTwoRow})
        for (int r = 0; r < 2; ++r)
            for (int k = 0; k < 4; ++k) EXPECT_EQ(copy[r][k], rows[r][k]);
    for (int i = 1; i <= 9; ++i) {
        for (const auto* t :
             {&tree.cur.TimeVec, &tree.temp.TimeVec, &tree.best.TimeVec})
            EXPECT_EQ((*t)[i], archive.ppTimeVec[slot][i]) << i;
        for (const auto* p :
             {&tree.cur.parents, &tree.temp.parents, &tree.best.parents})
            EXPECT_EQ((*p)[i], par[i]) << i;
    }
}

}  // namespace

TEST(BranchLengths, NeverNegativeAndLikelihoodRises) {
    set_up(3, 0);
    const double lnl0 = ann.lnL_cur, mu0 = mp.mu, kprime0 = mp.Kprime;
    const double below = length_objective(1, -2.0);
    EXPECT_EQ(tree.cur.TimeVec[1], 1e-6);
    full_pass();
    EXPECT_EQ(below, -log_likelihood());
    tree.cur.TimeVec[1] = 0.5;
    full_pass();

    optimise_branch_lengths(ann.lnL_cur);
    full_pass();
    EXPECT_GT(log_likelihood(), lnl0 + 1.0);
    EXPECT_TRUE(mp.mu == mu0 && mp.Kprime == kprime0);  // estimation off: nothing moves
    for (int c = 1; c <= 9; ++c)  // every branch; 6 is the root
        EXPECT_TRUE(c == 6 || (tree.cur.TimeVec[c] >= 1e-6 && std::isfinite(tree.cur.TimeVec[c]))) << c;
    // the identical leaves' branches end next to the shortest length
    EXPECT_LT(tree.cur.TimeVec[1] + tree.cur.TimeVec[2], 1e-4);
}

TEST(ArchivedTrees, OneRecordAndTheFallbackBecomeCurrent) {
    // one record, estimation on: it beats the entry value and becomes current everywhere
    set_up(4, 1);
    TreeRecord* only = add_record(kTreeB, 1);
    const ArchiveOptimisation one = optimise_archived_trees(-1e300);
    expect_current_everywhere(kTreeB, 1);
    EXPECT_TRUE(one.best_made_current && one.lnL_best == only->lnL && only->lnL > -1e300);
    EXPECT_EQ(only->ratio, mp.ratio);
    EXPECT_NEAR(one.lnL, only->lnL, 0.1);
    EXPECT_NE(archive.ppTimeVec[1][5], 0.1);  // the optimised lengths were stored back

    // none beats the entry value: the higher optimised one becomes current, and the best
    // log-likelihood stays the entry value
    set_up(3, 0);
    TreeRecord* b = add_record(kTreeB, 2);
    TreeRecord* a = add_record(kTreeA, 0);
    const ArchiveOptimisation none = optimise_archived_trees(0.0);
    EXPECT_EQ(none.lnL_best, 0.0);
    EXPECT_EQ(a->ratio, -1.0);
    ASSERT_NE(a->lnL, b->lnL);
    TreeRecord* top = a->lnL > b->lnL ? a : b;
    expect_current_everywhere(top == a ? kTreeA : kTreeB, top->slot);
    EXPECT_EQ(none.lnL, top->lnL);
}
