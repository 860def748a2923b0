// freeml's report blocks: run report, best-tree listing, trees and PAUP blocks.
#include <gtest/gtest.h>

#include <tuple>

#include "reports_setup.hpp"

using namespace reports_setup;

TEST(FreeReports, RunReportEndsAtTheRule) {
    EXPECT_EQ(run_report(0), kReportSearch + kReportEnd);
    EXPECT_EQ(run_report(1), kReportSearch + kReportRatio + kReportEnd);
}

TEST(FreeReports, ListingBestFirstWithItsCount) {
    // in key order already best first, the heading counts the records listed
    two_record_archive();
    auto [besttree, treefile] = listing();
    EXPECT_EQ(besttree, expected_besttree("ln L at first hit:  "));
    EXPECT_EQ(treefile, "[2.000000] (A,B,(C,D));\n\n[3.500000] (A,(B,C),D);\n\n");
    // the first record in key order is the worse one: it goes second in both files
    two_record_archive(-20.0);
    std::tie(besttree, treefile) = listing();
    EXPECT_EQ(besttree, expected_besttree("ln L at first hit:  ", -20.0));
    EXPECT_EQ(treefile, "[3.500000] (A,(B,C),D);\n\n[2.000000] (A,B,(C,D));\n\n");
    // a tie keeps key order
    two_record_archive(-12.25);
    std::tie(besttree, treefile) = listing();
    EXPECT_EQ(besttree, expected_besttree("ln L at first hit:  ", -12.25));
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
