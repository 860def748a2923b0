// freeml's annealing step: the three gamma multipliers and whole steps over branch lengths.
#include <gtest/gtest.h>

#include "base/state.hpp"
#include "common/search_tree.hpp"
#include "search/anneal.hpp"
#include "search/proposal.hpp"
#include "search/search_seams.hpp"

TEST(FreeProposal, GammaMultipliersAndSteps) {
    FILE* results = tmpfile();
    setup_search_tree(free_shape(), 2, results);
    settings.gamma_shape = 4.0f;
    const RngState start = rng;
    float g[3];
    for (float& gi : g) gi = static_cast<float>(gen_gamma(4.0f, 4.0f));
    rng = start;
    // X = 9 under 7 (side 1) with children 2, 3 and sibling 1, moved by k = 2
    interchange_temp(9, 7, 2, 3, 1, 1, 2);
    propose_node_values(9, 7, 2, 3, 1, 1, 2);
    EXPECT_EQ(tree.temp.TimeVec[9], g[0] * tree.cur.TimeVec[9]);
    EXPECT_EQ(tree.temp.TimeVec[2], g[1] * tree.cur.TimeVec[2]);
    EXPECT_EQ(tree.temp.TimeVec[3], g[2] * tree.cur.TimeVec[3]);
    EXPECT_EQ(tree.temp.TimeVec[1], tree.cur.TimeVec[1]);
    restore_move(9, 7, 2, 3, 1);

    ann.search_on = 1;
    for (const double ci : {1e300, 0.0}) {
        for (int step = 0; step < 30; ++step) {
            ann.ci = ci;
            const double before = ann.lnL_cur;
            take_step();
            EXPECT_TRUE(temp_equals_current());
            EXPECT_TRUE(partials_match_full_pass());
            EXPECT_EQ(ann.lnL_cur, log_likelihood());
            EXPECT_TRUE(ci > 0.0 || ann.lnL_cur >= before);
        }
    }
    EXPECT_GT(ann.n_changes, 0);
    fclose(results);
}
