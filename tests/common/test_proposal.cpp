// The shared annealing step: interchanges, evaluation, Metropolis rule and bookkeeping.
#include <gtest/gtest.h>

#include "common/search_tree.hpp"
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
    EXPECT_EQ(evaluate_proposal(), 1);
    EXPECT_EQ(generator_position(), position);
    EXPECT_EQ(ann.lnL_cur, lnL);
    EXPECT_EQ(tree.recalc_vec[2], 6);  // 9, 7 and the root

    // A new best copies the proposed tree and the parameters in force.
    tree.temp.TimeVec[9] = 0.65;
    ann.lnL_cur = ann.lnL_best = -1e9;
    const double mu = mp.mu;
    mp.mu = 0.77;
    EXPECT_EQ(evaluate_proposal(), 1);
    mp.mu = mu;
    EXPECT_EQ(tree.best.TimeVec[9], 0.65);
    EXPECT_EQ(ann.best_mu, 0.77);
    EXPECT_EQ(ann.lnL_best, ann.lnL_cur);

    // A fall at a high temperature is accepted after exactly one draw; the best stays.
    tree.temp.TimeVec[9] = 0.9;
    ann.lnL_cur = 0.0;
    ann.ci = 1e300;
    position = generator_position();
    EXPECT_EQ(evaluate_proposal(), 1);
    EXPECT_EQ(tree.best.TimeVec[9], 0.65);
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
        ann.ci = ci;
        ann.lnL_cur = 0.0;  // above any log-likelihood: a fall
        position = generator_position();
        EXPECT_EQ(evaluate_proposal(), 0) << ci;
        EXPECT_NE(generator_position(), position);
        EXPECT_EQ(likelihood_snapshot(), partials);
        EXPECT_EQ(tree.recalc_vec[2], 0);
    }
    // Below zero (accept_prob2 above 1, or a negative beta) exp(fall / ci) exceeds 1: the
    // fall is accepted after its draw.
    ann.ci = -1.0;
    ann.lnL_cur = 0.0;
    position = generator_position();
    EXPECT_EQ(evaluate_proposal(), 1);
    EXPECT_NE(generator_position(), position);
    EXPECT_LT(ann.lnL_cur, 0.0);
    fclose(results);
}

TEST(Proposal, StepsKeepTheCopiesAndCountersInStep) {
    FILE* results = tmpfile();
    setup_search_tree(clock_shape(), 2, results);
    ann.search_on = 1;
    for (const double ci : {1e300, 0.0}) {  // hot: nearly all accepted; cold: only rises
        for (int step = 0; step < 40; ++step) {
            ann.ci = ci;
            const TreeArrays before = tree;
            const AnnealState counts = ann;
            const int hits = archive.cur_record->hits;
            propose_tree();
            EXPECT_TRUE(temp_equals_current());
            EXPECT_TRUE(partials_match_full_pass());
            EXPECT_EQ(ann.lnL_cur, log_likelihood());
            if (ann.n_accepted == counts.n_accepted) {  // rejected
                EXPECT_EQ(ann.since_unique, counts.since_unique + 1);
                EXPECT_EQ(archive.cur_record->hits, hits + 1);
                EXPECT_EQ(tree.cur.TimeVec, before.cur.TimeVec);
                continue;
            }
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
