// clockml's report blocks: run report, best-tree listing, trees and PAUP blocks.
#include <gtest/gtest.h>

#include <tuple>

#include "reports_setup.hpp"

using namespace reports_setup;

TEST(Reports, RunReportEndsWithBlankLines) {
    EXPECT_EQ(run_report(0), kReportSearch + kReportEnd + "\n\n");
    EXPECT_EQ(run_report(1), kReportSearch + kReportRatio + kReportEnd + "\n\n");
}

TEST(Reports, ListingBestFirstWithItsCount) {
    // in key order already best first, the heading counts the records listed
    two_record_archive();
    auto [besttree, treefile] = listing();
    EXPECT_EQ(besttree, expected_besttree("Max ln L for tree:  "));
    EXPECT_EQ(treefile, "[2.000000] ((C,D),(A,B));\n\n[3.500000] (D,(A,(B,C)));\n\n");
    // the first record in key order is the worse one: it goes second in both files
    two_record_archive(-20.0);
    std::tie(besttree, treefile) = listing();
    EXPECT_EQ(besttree, expected_besttree("Max ln L for tree:  ", -20.0));
    EXPECT_EQ(treefile, "[3.500000] (D,(A,(B,C)));\n\n[2.000000] ((C,D),(A,B));\n\n");
    // a tie keeps key order
    two_record_archive(-12.25);
    std::tie(besttree, treefile) = listing();
    EXPECT_EQ(besttree, expected_besttree("Max ln L for tree:  ", -12.25));
}

TEST(Reports, PaupBlockOfEveryModel) {
    expect_paup_blocks("yes");
    // archived trees are written rooted, all under one name
    two_record_archive();
    EXPECT_EQ(trees_block(),
              "Begin trees;\n\n"
              "tree mytree=[&R]((C,D),(A,B));\n\n"
              "tree mytree=[&R](D,(A,(B,C)));\n\n"
              "End;\n\n");
}
