// Node-time optimisation of clockml on a five-taxon tree.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/state.hpp"
#include "clock.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "search/tree.hpp"
#include "support.hpp"

namespace {

const std::vector<std::string> kSeqs = {"AAGCTTACGAACGT", "AAGCTTACGGACGT", "AGGCATTCGAATGA",
                                       "AGGCATTCCAATGC", "CGGTATTAGACTAC"};

// ((1,2)7, ((3,4)9, 5)8)6, with node 8 squeezed between the root and node 9.
void set_up(int model, int estimate) {
    reset_all_state();
    set_columns(kSeqs, model, estimate);
    reset_tree(5);
    tree.cur.ppTwoRow[0] = {7, 1, 9, 3, 0, 0, 0, 0, 0, 0};
    tree.cur.ppTwoRow[1] = {8, 2, 5, 4, 0, 0, 0, 0, 0, 0};
    parents_from_rows(tree.cur.ppTwoRow, tree.cur.parents);
    tree.cur.TimeVec = {0, 1, 1, 1, 1, 1, 0.0, 0.6, 0.0002, 0.0005, 0};
    ann.lnL_cur = start_likelihood();
}

}  // namespace

TEST(NodeTimes, ObjectiveKeepsTheNodeInsideItsInterval) {
    set_up(3, 0);
    // no room between parent and child: the node keeps its time and does not settle
    EXPECT_FALSE(optimise_node_time(8, 0.0));
    EXPECT_EQ(tree.cur.TimeVec[8], 0.0002);
    const double below = time_objective(7, -1.0);
    EXPECT_EQ(tree.cur.TimeVec[7], 0.001);
    full_pass();
    EXPECT_EQ(below, -log_likelihood());
    time_objective(7, 2.0);
    EXPECT_EQ(tree.cur.TimeVec[7], 1.0 - 0.001);
    time_objective(9, 0.0);
    EXPECT_EQ(tree.cur.TimeVec[9], 0.0002 + 0.001);
}

TEST(NodeTimes, OptimisationRaisesLikelihoodAndKeepsClockTree) {
    for (int estimate = 0; estimate <= 1; ++estimate) {
        set_up(estimate == 1 ? 2 : 3, estimate);
        const double before = ann.lnL_cur, mu0 = mp.mu;
        optimise_node_times(ann.lnL_cur);
        full_pass();
        EXPECT_GT(log_likelihood(), before + 1.0);
        EXPECT_NE(mp.mu, mu0);  // mu is re-estimated between sweeps in either case
        EXPECT_EQ(tree.cur.TimeVec[6], 0.0);
        for (int i = 1; i <= 5; ++i) EXPECT_EQ(tree.cur.TimeVec[i], 1.0);
        for (int c = 7; c <= 9; ++c) {
            EXPECT_GT(tree.cur.TimeVec[c], tree.cur.TimeVec[tree.cur.parents[c]]) << c;
            for (int r = 0; r < 2; ++r)
                EXPECT_LT(tree.cur.TimeVec[c], tree.cur.TimeVec[tree.cur.ppTwoRow[r][c - 6]]) << c;
        }
    }
}
