// Whole clockml runs on the shipped examples, judged by the reference likelihood.
#include <gtest/gtest.h>

#include "whole_run_checks.hpp"

using namespace whole_run;

TEST(WholeRun, BestTreeScoresWhatTheRunReports) {
    const std::string label = "Max ln L for tree:  ";
    expect_trustworthy_run("brown_clock", {}, label);
    expect_trustworthy_run("brown_clock", {{"estimate", "0"}}, label);
    expect_trustworthy_run("brown_clock", {{"model", "1"}}, label);
    expect_trustworthy_run("brown_clock", {{"model", "4"}, {"estimate", "1"}}, label);
}

TEST(WholeRun, JcEstimatesMuButNoRatio) {
    const std::string dir = run_example("brown_clock", {{"model", "3"}, {"estimate", "1"}});
    EXPECT_EQ(mp.Kprime, 1.0);
    EXPECT_EQ(ann.best.Kprime, 1.0);
    // the second phase ran: the archive was doubled for it and mu moved from 4/3
    EXPECT_NE(ann.best.mu, 4.0 / 3.0);
    EXPECT_NEAR(reference_best_lnl(dir), ann.lnL_best, 1e-3);
    std::filesystem::remove_all(dir);
}
