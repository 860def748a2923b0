#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "input/calibrations.hpp"
#include "input/tip_dates.hpp"
#include "runs/newick_read.hpp"
#include "runs/root_to_tip.hpp"

// Decimal years as written; calendar dates from the middle of their day, leap years
// counted; what is neither refused.
TEST(TipDates, DecimalAndCalendarDates) {
    double y = 0;
    ASSERT_TRUE(parse_date("2003.42", y));
    EXPECT_DOUBLE_EQ(y, 2003.42);
    ASSERT_TRUE(parse_date("-1200", y));
    EXPECT_DOUBLE_EQ(y, -1200);
    ASSERT_TRUE(parse_date("2003-01-01", y));
    EXPECT_DOUBLE_EQ(y, 2003 + 0.5 / 365);
    ASSERT_TRUE(parse_date("2004-12-31", y));  // day 366 of a leap year
    EXPECT_DOUBLE_EQ(y, 2004 + 365.5 / 366);
    ASSERT_TRUE(parse_date("2000-03-01", y));  // 2000 is a leap year: 31 + 29 + 1
    EXPECT_DOUBLE_EQ(y, 2000 + 60.5 / 366);
    for (const char* bad : {"", "2003-02-29", "1900-02-29", "2003-13-01", "2003-1", "0x7d3", "1e3", "2003.4.2", "nan"})
        EXPECT_FALSE(parse_date(bad, y)) << bad;
}

// A header line is passed over, a comma, a tab or blanks separate, and names may hold
// blanks where a comma separates.
TEST(TipDates, FileForms) {
    const std::vector<std::string> names = {"A one", "B", "C      "};
    const std::vector<double> d = read_tip_dates("strain,date\n# note\nC\t2001.5\nA one,2000-07-02\n\nB   1999\n", "dates", names);
    EXPECT_DOUBLE_EQ(d[0], 2000 + 183.5 / 366);
    EXPECT_DOUBLE_EQ(d[1], 1999);
    EXPECT_DOUBLE_EQ(d[2], 2001.5);
    const std::vector<double> e = tip_dates_from_names({"x|2001.25", "A/Perth/16_2009-01-01", "q_1999"});
    EXPECT_DOUBLE_EQ(e[0], 2001.25);
    EXPECT_DOUBLE_EQ(e[1], 2009 + 0.5 / 365);
    EXPECT_DOUBLE_EQ(e[2], 1999);
}

// Tips whose divergence grows exactly with their dates: the regression finds the root that
// makes the line exact, the slope, the root's date and a correlation of 1.
TEST(RootToTip, ExactClockIsRecovered) {
    // Leaves 0..3 joined as ((0,1),(2,3)) through inner nodes 4 (0,1), 5 (2,3), edge 4-5.
    // Rate 0.01 per year, root in 1990 on edge 4-5 at 1 from node 4: divergences 0.10 (2000),
    // 0.12 (2002), 0.15 (2005), 0.20 (2010).
    const std::vector<DistanceEdge> edges = {{4, 0, 0.09}, {4, 1, 0.11}, {5, 2, 0.11}, {5, 3, 0.16}, {4, 5, 0.05}};
    const std::vector<double> dates = {2000, 2002, 2005, 2010};
    const RootToTip r = root_to_tip_regression(edges, dates);
    ASSERT_TRUE(r.ok);
    EXPECT_NEAR(r.slope, 0.01, 1e-12);
    EXPECT_NEAR(r.root_date, 1990, 1e-9);
    EXPECT_NEAR(r.correlation, 1, 1e-12);
    EXPECT_EQ(r.branch, 4);
    EXPECT_NEAR(r.position, 0.01, 1e-12);
    EXPECT_NEAR(r.residual_ms, 0, 1e-20);
}

// Nested clades: each clade's least age comes from its bound, its tips and the clades inside.
TEST(Calibrations, LeastAgesAndNesting) {
    const std::vector<std::string> names = {"a", "b", "c", "d"};
    const std::vector<Calibration> c =
        read_calibrations("a,b  3..\n# root\na,b,c,d ..50\na, b, c 10\n", "calibrations", names);
    ASSERT_EQ(c.size(), 3u);
    EXPECT_EQ(c[0].size, 2);
    EXPECT_EQ(c[0].lo, 3);
    EXPECT_TRUE(std::isinf(c[0].hi));
    EXPECT_EQ(c[1].hi, 50);
    EXPECT_EQ(c[2].lo, 10);
    EXPECT_EQ(c[2].hi, 10);
    EXPECT_EQ(enclosing_calibrations(c), (std::vector<int>{2, -1, 1}));
    const std::vector<double> least = least_calibrated_ages(c, {0, 4, 0, 12});
    EXPECT_EQ(least, (std::vector<double>{4, 12, 10}));
}

// The comment after a node is kept with it (the ages of dated.tre).
TEST(NewickRead, CommentsKept) {
    NewickTree t;
    std::string why;
    ASSERT_TRUE(read_newick("[&R] ((a:1,b:1)[&age=2.5]:0.5,c:3)[&age=3];", t, why)) << why;
    EXPECT_EQ(t.nodes[1].comment, "&age=2.5");
    EXPECT_EQ(t.nodes[0].comment, "&age=3");
    EXPECT_EQ(t.nodes[2].comment, "");
}
