// Whole freeml runs on the shipped examples, judged by the reference likelihood.
#include <gtest/gtest.h>

#include "whole_run_checks.hpp"

using namespace whole_run;

TEST(FreeWholeRun, BestTreeScoresWhatTheRunReports) {
    const std::string label = "ln L at first hit:  ";
    expect_trustworthy_run("brown_free", {}, label);
    expect_trustworthy_run("brown_free", {{"estimate", "0"}, {"model", "1"}}, label);
    expect_trustworthy_run("dna_free", {{"max_iter", "3000"}}, label);
    expect_trustworthy_run("dna_free", {{"max_iter", "3000"}, {"estimate", "0"}}, label);
}

TEST(FreeWholeRun, JcKeepsKprimeOne) {
    const std::string dir = run_example("brown_free", {{"model", "3"}, {"estimate", "1"}});
    EXPECT_EQ(mp.Kprime, 1.0);
    EXPECT_EQ(ann.best.Kprime, 1.0);
    EXPECT_NEAR(reference_best_lnl(dir), ann.lnL_best, 1e-3);
    std::filesystem::remove_all(dir);
}
