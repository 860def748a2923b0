// The shared annealing step: interchanges, evaluation, Metropolis rule and bookkeeping.
#include <gtest/gtest.h>

#include "common/search_tree.hpp"
#include "search/anneal.hpp"
#include "search/proposal.hpp"

static std::vector<int> children(const std::vector<int>* rows, int v) {
    return {rows[0][v - 6], rows[1][v - 6]};
}

TEST(Proposal, InterchangesEditOnlyTheTemporaryTree) {
    FILE* results = tmpfile();
    setup_search_tree(clock_shape(), 2, results);
    struct Case {
        int X, P, A, B, S, side, k;
        std::vector<int> P_children, X_children;
    };
    const Case cases[] = {
        {9, 7, 2, 3, 1, 1, 2, {9, 3}, {1, 2}},  // side 1: A moves to X's second position
        {9, 7, 2, 3, 1, 1, 3, {9, 2}, {1, 3}},
        {7, 6, 1, 9, 8, 0, 2, {9, 7}, {1, 8}},
        {7, 6, 1, 9, 8, 0, 3, {1, 7}, {9, 8}},
    };
    for (const Case& c : cases) {
        interchange_temp(c.X, c.P, c.A, c.B, c.S, c.side, c.k);
        EXPECT_EQ(children(tree.temp.ppTwoRow, c.P), c.P_children) << c.X << " k " << c.k;
        EXPECT_EQ(children(tree.temp.ppTwoRow, c.X), c.X_children) << c.X << " k " << c.k;
        std::vector<int> expected(11, 0);
        parents_from_rows(tree.temp.ppTwoRow, expected);
        expected[6] = tree.temp.parents[6];
        EXPECT_EQ(tree.temp.parents, expected);

        tree.temp.TimeVec[c.X] = 0.123;
        tree.temp.TimeVec[c.A] = 0.7;
        restore_move(c.X, c.P, c.A, c.B, c.S);
        EXPECT_TRUE(temp_equals_current());
    }
    fclose(results);
}

TEST(Proposal, EvaluationAcceptsByTheMetropolisRule) {
    FILE* results = tmpfile();
    const double lnL = setup_search_tree(clock_shape(), 2, results);
    const std::string partials = likelihood_snapshot();

    // An equal log-likelihood is accepted without a draw.
    tree.recalc_vec[0] = 9;
    tree.recalc_vec[1] = 7;
    auto position = generator_position();
    ProposalResult r = evaluate_proposal(lnL, 0.0);
    EXPECT_TRUE(r.accepted && r.uphill);
    EXPECT_EQ(generator_position(), position);
    EXPECT_EQ(r.lnL, lnL);
    EXPECT_EQ(r.change, 0.0);
    EXPECT_EQ(tree.recalc_vec[2], 6);  // 9, 7 and the root

    // A fall at a high temperature is accepted after exactly one draw.
    tree.temp.TimeVec[9] = 0.9;
    position = generator_position();
    r = evaluate_proposal(0.0, 1e300);
    EXPECT_TRUE(r.accepted && !r.uphill);
    EXPECT_EQ(r.change, -r.lnL);
    const auto after = generator_position();
    std::tie(rng.cg1[1], rng.cg2[1]) = position;
    uniform01();
    EXPECT_EQ(generator_position(), after);

    // A rejection (also at no temperature) draws once and puts back the current tree's
    // partials bit for bit; with X under the root the path is X and the root only.
    tree.temp.TimeVec[9] = tree.cur.TimeVec[9];
    full_pass();
    interchange_temp(7, 6, 1, 9, 8, 0, 2);
    tree.temp.TimeVec[7] = 0.05;
    tree.recalc_vec[0] = 7;
    tree.recalc_vec[1] = 6;
    for (const double ci : {1e-300, 0.0}) {
        position = generator_position();
        r = evaluate_proposal(0.0, ci);  // 0 is above any log-likelihood: a fall
        EXPECT_FALSE(r.accepted) << ci;
        EXPECT_EQ(r.lnL, 0.0);  // the current tree's stands
        EXPECT_NE(generator_position(), position);
        EXPECT_EQ(likelihood_snapshot(), partials);
        EXPECT_EQ(tree.recalc_vec[2], 0);
    }
    // Below zero (accept_prob2 above 1, or a negative beta) exp(fall / ci) exceeds 1: the
    // fall is accepted after its draw.
    position = generator_position();
    r = evaluate_proposal(0.0, -1.0);
    EXPECT_TRUE(r.accepted);
    EXPECT_NE(generator_position(), position);
    EXPECT_LT(r.lnL, 0.0);
    fclose(results);
}

TEST(Proposal, StepsKeepTheCopiesAndCountersInStep) {
    FILE* results = tmpfile();
    setup_search_tree(clock_shape(), 2, results);
    ann.search_on = 1;
    ann.lnL_best = -1e9;  // every rise makes a new best tree at first
    for (const double ci : {1e300, 0.0}) {  // hot: nearly all accepted; cold: only rises
        for (int step = 0; step < 40; ++step) {
            ann.ci = ci;
            const TreeArrays before = tree;
            const AnnealState counts = ann;
            const int hits = archive.cur_record->hits;
            const ProposalResult r = take_step();
            EXPECT_TRUE(temp_equals_current());
            EXPECT_TRUE(partials_match_full_pass());
            EXPECT_EQ(ann.lnL_cur, log_likelihood());
            EXPECT_EQ(ann.lnL_cur, r.lnL);
            // A rise above the best makes the proposed tree the best, with the parameters
            // in force; anything else leaves the best as it was.
            if (r.accepted && r.uphill && r.lnL > counts.lnL_best) {
                EXPECT_EQ(ann.lnL_best, r.lnL);
                EXPECT_EQ(tree.best.TimeVec, tree.temp.TimeVec);
                EXPECT_EQ(tree.best.ppTwoRow[0], tree.temp.ppTwoRow[0]);
                EXPECT_EQ(ann.best.mu, mp.mu);
            } else {
                EXPECT_EQ(ann.lnL_best, counts.lnL_best);
                EXPECT_EQ(tree.best.TimeVec, before.best.TimeVec);
            }
            if (!r.accepted) {
                EXPECT_EQ(ann.n_accepted, counts.n_accepted);
                EXPECT_EQ(ann.since_unique, counts.since_unique + 1);
                EXPECT_EQ(archive.cur_record->hits, hits + 1);
                EXPECT_EQ(tree.cur.TimeVec, before.cur.TimeVec);
                continue;
            }
            EXPECT_EQ(ann.n_accepted, counts.n_accepted + 1);
            if (ci == 0.0) {
                EXPECT_GE(ann.lnL_cur, counts.lnL_cur);
            }
            if (tree.cur.ppTwoRow[0] != before.cur.ppTwoRow[0]) {  // a new topology is archived
                EXPECT_EQ(ann.n_changes, counts.n_changes + 1);
                EXPECT_EQ(archive.pppTR[archive.cur_record->slot][2], tree.cur.ppTwoRow[0][2]);
            }
        }
    }
    EXPECT_GT(archive.archive_count, 1);
    fclose(results);
}
