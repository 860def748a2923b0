// Branch-length optimisation of freeml, and the optimisation of archived trees that
// makes the chosen one current.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "alignment.hpp"
#include "free.hpp"
#include "likelihood.hpp"
#include "model.hpp"
#include "optimise.hpp"
#include "program.hpp"
#include "support.hpp"
#include "tree.hpp"

namespace {

const char* const kSeqs[] = {"AAGCTTACGAACGT", "AAGCTTACGAACGT", "AGGCATTCGAATGA",
                             "AGGCATTCCAATGC", "CGGTATTAGACTAC"};
// Child rows of ((1,2)7, ((3,4)9, 5)8)6 and of (((1,3)8, (2,4)9)7, 5)6.
const int kTreeA[2][4] = {{7, 1, 9, 3}, {8, 2, 5, 4}};
const int kTreeB[2][4] = {{7, 8, 1, 2}, {5, 9, 3, 4}};

void set_up(int model, int estimate) {
    reset_all_state();
    const int n = 5, npat = static_cast<int>(strlen(kSeqs[0]));
    settings.ntaxa = n;
    settings.nsites = 0;
    settings.model = model;
    settings.estimate = estimate;
    alignment.npat = npat;
    for (int i = 0; i < n; ++i) {
        alignment.ppBase_unique.emplace_back();
        for (int p = 0; p < npat; ++p) alignment.ppBase_unique[i].push_back(base_code(kSeqs[i][p]));
    }
    for (int p = 0; p < npat; ++p) {
        alignment.site_counter.push_back(1 + p % 3);
        settings.nsites += 1 + p % 3;
    }
    static FILE* sink = fopen("/dev/null", "w");
    run_files.results = sink;
    setup_model();
    reset_tree(n);
    reset_archive(n, 2);
    reset_likelihood_tables(n, npat);
    for (int k = 0; k < 4; ++k)
        for (int r = 0; r < 2; ++r) tree.ppTwoRow[r][k] = kTreeA[r][k];
    parents_from_rows(tree.ppTwoRow, tree.parents);
    const double lengths[] = {0, 0.5, 3.0, 0.2, 0.05, 5.0, 0, 1e-3, 0.3, 0.8};
    for (int i = 0; i <= 9; ++i) tree.TimeVec[i] = lengths[i];
    program_leaf_setup();
    init_leaf_partials();
    full_pass();
    ann.lnL_cur = log_likelihood();
}

TreeRecord* add_record(const int rows[2][4], int slot, TreeRecord* next) {
    const int n = tree.n;
    for (int k = 0; k < 4; ++k) {
        archive.pppTR[slot][k] = rows[0][k];
        archive.pppTR[slot][n + k] = rows[1][k];
    }
    for (int i = 1; i <= 2 * n - 1; ++i) archive.ppTimeVec[slot][i] = 0.1;
    TreeRecord* rec = new TreeRecord;
    rec->slot = slot;
    rec->ratio = -1.0;
    rec->next = next;
    archive.head = rec;
    ++archive.archive_count;
    return rec;
}

void expect_current_everywhere(int slot) {
    const int n = tree.n;
    const std::vector<int> rows[2] = {
        {archive.pppTR[slot].begin(), archive.pppTR[slot].begin() + n},
        {archive.pppTR[slot].begin() + n, archive.pppTR[slot].end()}};
    std::vector<int> par(2 * n + 1, 0);
    parents_from_rows(rows, par);
    for (const auto* copy : {tree.ppTwoRow, tree.ppTwoRow_temp, tree.ppTwoRow_best,
                             tree.ppTwoRow_prev})
        for (int r = 0; r < 2; ++r)
            for (int k = 0; k <= n - 2; ++k) EXPECT_EQ(copy[r][k], rows[r][k]);
    for (int i = 1; i <= 2 * n - 1; ++i) {
        for (const auto* t : {&tree.TimeVec, &tree.TimeVec_temp, &tree.TimeVec_best,
                              &tree.TimeVec_prev})
            EXPECT_EQ((*t)[i], archive.ppTimeVec[slot][i]) << i;
        for (const auto* p : {&tree.parents, &tree.parents_temp, &tree.parents_best,
                              &tree.parents_prev})
            EXPECT_EQ((*p)[i], par[i]) << i;
    }
}

}  // namespace

TEST(BranchLengths, NeverNegativeAndLikelihoodRises) {
    set_up(3, 0);
    const double lnl0 = ann.lnL_cur;
    const double below = length_objective(1, -2.0);
    EXPECT_EQ(tree.TimeVec[1], 1e-6);
    full_pass();
    EXPECT_EQ(below, -log_likelihood());
    tree.TimeVec[1] = 0.5;
    full_pass();
    ASSERT_EQ(log_likelihood(), lnl0);

    const double mu0 = mp.mu, kprime0 = mp.Kprime;
    optimise_branch_lengths();
    full_pass();
    EXPECT_GT(log_likelihood(), lnl0 + 1.0);
    EXPECT_EQ(mp.mu, mu0);  // nothing is re-estimated with estimation off
    EXPECT_EQ(mp.Kprime, kprime0);
    for (int c = 1; c <= 9; ++c) {
        if (c == 6) continue;
        EXPECT_TRUE(std::isfinite(tree.TimeVec[c])) << c;
        EXPECT_GE(tree.TimeVec[c], 1e-6) << c;
    }
    // identical sequences 1 and 2: their cherry's branches end at the shortest length
    EXPECT_LT(tree.TimeVec[1] + tree.TimeVec[2], 0.01);
}

TEST(ArchivedTrees, OneRecordAndTheFallbackBecomeCurrent) {
    // one record, estimation on: it beats the entry value and is made current everywhere
    set_up(4, 1);
    TreeRecord* only = add_record(kTreeB, 1, nullptr);
    ann.lnL_cur = -1e300;
    optimise_archived_trees();
    expect_current_everywhere(1);
    EXPECT_EQ(ann.lnL_best, only->lnL);
    EXPECT_GT(only->lnL, -1e300);
    EXPECT_EQ(only->ratio, mp.ratio);
    EXPECT_NEAR(ann.lnL_cur, only->lnL, 0.1);
    for (int c = 1; c <= 9; ++c) {
        if (c != 6) {
            EXPECT_NE(archive.ppTimeVec[1][c], 0.1) << c;
        }
    }

    // two records, none above the entry value: the higher optimised one is made current,
    // and the best log-likelihood stays the entry value
    set_up(3, 0);
    TreeRecord* b = add_record(kTreeB, 2, nullptr);
    TreeRecord* a = add_record(kTreeA, 0, b);
    ann.lnL_cur = 0.0;
    optimise_archived_trees();
    EXPECT_EQ(ann.lnL_best, 0.0);
    EXPECT_EQ(a->ratio, -1.0);
    EXPECT_NE(a->lnL, b->lnL);
    TreeRecord* top = a->lnL > b->lnL ? a : b;
    expect_current_everywhere(top->slot);
    EXPECT_EQ(ann.lnL_cur, top->lnL);
}
