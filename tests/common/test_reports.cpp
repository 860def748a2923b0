// clockml's report blocks: run report, best-tree listing, trees and PAUP blocks.
#include <gtest/gtest.h>

#include "reports_setup.hpp"

using namespace reports_setup;

TEST(Reports, RunReportEndsWithBlankLines) {
    EXPECT_EQ(run_report(0), kReportSearch + kReportEnd + "\n\n");
    EXPECT_EQ(run_report(1), kReportSearch + kReportRatio + kReportEnd + "\n\n");
}

TEST(Reports, ListingHeadingShowsCapacity) {
    two_record_archive();
    const auto [besttree, treefile] = listing();
    // the heading shows the capacity, the entries are the two records
    EXPECT_EQ(besttree, expected_besttree("Max ln L for tree:  "));
    EXPECT_EQ(treefile, "[2.000000] ((C,D),(A,B));\n\n[3.500000] (D,(A,(B,C)));\n\n");
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
