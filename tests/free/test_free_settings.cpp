// freeml reads settings lines 16-18 as accept_prob2, delta_lnl2 and gamma_shape.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "input/settings.hpp"
#include "support.hpp"

TEST(FreeSettings, LinesSixteenToEighteen) {
    reset_all_state();
    const char* values[22] = {"3",   "0", "10", "0.5",  "0.5", "2", "0",   "0",  "1", "0.5", "0.01",
                              "4",   "50", "100", "0",   "0.2", "1.5", "0.75", "0", "0", "5", "6"};
    std::string t;
    for (const char* v : values) t += std::string("lbl ") + v + "\n";
    parse_settings(t);
    EXPECT_EQ(settings.estimate, 0);
    EXPECT_EQ(settings.accept_prob2, 0.2f);
    EXPECT_EQ(settings.delta_lnl2, 1.5f);
    EXPECT_EQ(settings.gamma_shape, 0.75f);
    EXPECT_EQ(settings.use_lin_info, 0);
    EXPECT_EQ(settings.final_opt, 0);
    EXPECT_EQ(settings.seed1, 5);
    EXPECT_EQ(settings.seed2, 6);

    // Line 16 is a real here, so "0.2" where clockml has an integer is fine, and a word is not.
    t.replace(t.find("lbl 0.2"), 7, "lbl abc");
    EXPECT_EXIT((fflush(stdout), dup2(2, 1), parse_settings(t)), ::testing::ExitedWithCode(1),
                "line 16: setting 16 \\(accept_prob2\\) is 'abc', not a number");
    // The gamma multipliers need a positive shape.
    t.replace(t.find("lbl abc"), 7, "lbl 0.2");
    t.replace(t.find("lbl 0.75"), 8, "lbl 0");
    EXPECT_EXIT((fflush(stdout), dup2(2, 1), parse_settings(t)), ::testing::ExitedWithCode(1),
                "line 18: gamma_shape is 0; it must be positive");
}
