// The annealing driver: phases, counts and the lines it writes (clockml's form).
#include <gtest/gtest.h>

#include <cmath>

#include "common/search_tree.hpp"
#include "output/reports.hpp"
#include "search/anneal.hpp"

static void search_settings(int burnin, int stop_count, int max_iter, int estimate) {
    settings.burnin_iter = burnin;
    settings.stop_count = stop_count;
    settings.max_iter = max_iter;
    settings.estimate = estimate;
    settings.beta_num = 1.0f;
    settings.beta_frac = 0.5f;
    settings.beta_len = 10.0f;
    settings.improve_tol = 0.01f;
    settings.accept_prob2 = 0.5f;
    settings.delta_lnl2 = 2.0f;
}

static bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Anneal, StopCountZeroRunsOnlyTheBurnIn) {
    FILE* results = tmpfile();
    const double lnl0 = setup_search_tree(clock_shape(), 2, results);
    const long start = ftell(results);
    search_settings(4, 0, 1000, 0);
    testing::internal::CaptureStdout();
    write_anneal_lines(anneal());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "  Beginning tree search ....\n");
    EXPECT_EQ(ann.anneal_iter, 4);
    // The temperature left by the burn-in: the starting scale over the single-precision
    // iterations * beta + 1 (a double divisor would change the last bits).
    EXPECT_EQ(ann.ci, -0.25 * lnl0 / (4 * 0.001f + 1));
    EXPECT_EQ(ann.co, ann.dlnL_max);
    EXPECT_EQ(ann.beta, 1.0f / ((1 - 0.5f) * 5 - 0.5f * 10.0f / 26));
    const std::string text = file_text(results).substr(start);
    EXPECT_EQ(text.rfind(" The likelihood at end of burnin is ", 0), 0u) << text;
    EXPECT_TRUE(contains(text, "\n\n The total number of iterations is 4\n\n Time to perform "
                               "annealing is "));
    EXPECT_TRUE(contains(text, " Time to perform tree optimization is "));
    fclose(results);
}

TEST(Anneal, SecondSearchOnlyWithEstimation) {
    FILE* results = tmpfile();
    setup_search_tree(clock_shape(), 1, results);  // HKY: estimation is switched off
    search_settings(3, 4, 12, 1);
    testing::internal::CaptureStdout();
    write_anneal_lines(anneal());
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Cannot estimate parameters in HKY model\n\n"
              "Program will proceed with no parameter estimation\n\n"
              "  Beginning tree search ....\n");
    EXPECT_EQ(settings.estimate, 1);  // the settings stay as read
    EXPECT_FALSE(estimation_on());
    EXPECT_EQ(archive.n_keep, 3);
    EXPECT_GT(ann.anneal_iter, 3);
    EXPECT_TRUE(contains(file_text(results), " The total number of iterations is " +
                                                 std::to_string(ann.anneal_iter) + "\n\n"));

    setup_search_tree(clock_shape(), 2, results);
    search_settings(3, 5, 40, 1);
    testing::internal::CaptureStdout();
    const AnnealSummary summary = anneal();
    write_anneal_lines(summary);
    EXPECT_TRUE(summary.second_ran);
    EXPECT_EQ(ann.anneal_iter, summary.first_iterations + summary.second_iterations);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "  Beginning tree search ....\n  Beginning tree optimization .... \n"
              "  Beginning second tree search .... \n");
    EXPECT_EQ(archive.n_keep, 6);
    EXPECT_EQ(ann.first_pass, 0);
    EXPECT_EQ(ann.co, (ann.beta + 1) * 2.0f / -std::log(0.5));
    EXPECT_TRUE(contains(file_text(results), " Total iterations in first anneal is "));
    fclose(results);
}
