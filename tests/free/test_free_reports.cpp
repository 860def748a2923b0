// freeml's report blocks: run report, best-tree listing, trees and PAUP blocks.
#include <gtest/gtest.h>

#include "reports_setup.hpp"

using namespace reports_setup;

TEST(FreeReports, RunReportEndsAtTheRule) {
    EXPECT_EQ(run_report(0), kReportSearch + kReportEnd);
    EXPECT_EQ(run_report(1), kReportSearch + kReportRatio + kReportEnd);
}

TEST(FreeReports, ListingHeadingShowsCapacity) {
    two_record_archive();
    const auto [besttree, treefile] = listing();
    // the heading shows the capacity, the entries are the two records
    EXPECT_EQ(besttree, expected_besttree("ln L at first hit:  "));
    EXPECT_EQ(treefile, "[2.000000] (A,B,(C,D));\n\n[3.500000] (A,(B,C),D);\n\n");
}

TEST(FreeReports, PaupBlockOfEveryModel) {
    expect_paup_blocks("no");
    // archived trees are written unrooted, all under one name
    two_record_archive();
    EXPECT_EQ(trees_block(),
              "Begin trees;\n\n"
              "tree mytree=[&U](A,B,(C,D));\n\n"
              "tree mytree=[&U](A,(B,C),D);\n\n"
              "End;\n\n");
}
