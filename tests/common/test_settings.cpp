// Run files, infile header, settings (clockml order), derived counts and lin_info.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "input/infile_header.hpp"
#include "input/lin_info.hpp"
#include "input/run_files.hpp"
#include "input/settings.hpp"
#include "support.hpp"

namespace {

// Death tests match standard error; the input messages go to standard output.
#define EXPECT_INPUT_ERROR(stmt, regex)                                                 \
    EXPECT_EXIT((fflush(stdout), dup2(2, 1), (stmt)), ::testing::ExitedWithCode(1), regex)

// A clockml settings text: 22 lines of label and value.
std::string clock_settings(const std::vector<std::string>& values) {
    std::string t;
    for (size_t k = 0; k < values.size(); ++k)
        t += "label" + std::to_string(k + 1) + " " + values[k] + "\n";
    return t;
}

const std::vector<std::string> kGood = {"2", "1", "100", "0.01", "0.5", "4",  "0",   "1",
                                        "0.9", "0.25", "0.001", "5", "999", "1000", "1", "0",
                                        "0.3", "2.5", "1", "10", "11", "12"};

std::vector<std::string> with(int pos, const std::string& v) {
    std::vector<std::string> s = kGood;
    s[pos - 1] = v;
    return s;
}

}  // namespace

TEST(Settings, ReadsPositionalValuesWithFreeLabels) {
    reset_all_state();
    // Free labels, a tab, CRLF ends, a blank line, no final newline, and a 19-character
    // word whose last character is the value.
    std::string t = "Model\t2\r\nkeep-gaps 1\r\n\r\n";
    const char* rest[] = {"x 100", "x 0.01", "x 0.5", "x 4", "x 0", "x 1", "x 0.9", "x 0.25",
                          "x 0.001", "x 5", "x 999", "x 1000", "x 1", "x 0", "x 0.3",
                          "eighteen_chars_lbl2.5", "x 1", "x 10", "x 11"};
    for (const char* line : rest) t += std::string(line) + "\r\n";
    t += "seed2 12";
    parse_settings(t);
    const Settings& s = settings;
    EXPECT_EQ(s.model, 2);
    EXPECT_EQ(s.keep_gaps, 1);
    EXPECT_EQ(s.burnin_iter, 100);
    EXPECT_EQ(s.burnin_prob, 0.01f);
    EXPECT_EQ(s.trial_prob, 0.5f);
    EXPECT_EQ(s.stop_mult, 4);
    EXPECT_EQ(s.print_alignment, 1);
    EXPECT_EQ(s.beta_frac, 0.25f);
    EXPECT_EQ(s.improve_tol, 0.001f);
    EXPECT_EQ(s.n_keep, 5);
    EXPECT_EQ(s.max_iter, 999);
    EXPECT_EQ(s.beta_len, 1000.0f);
    EXPECT_EQ(s.estimate, 1);
    EXPECT_EQ(s.use_lin_info, 0);
    EXPECT_EQ(s.accept_prob2, 0.3f);
    EXPECT_EQ(s.delta_lnl2, 2.5f);
    EXPECT_EQ(s.final_opt, 1);
    EXPECT_EQ(s.nreps, 10);
    EXPECT_EQ(s.seed1, 11);
    EXPECT_EQ(s.seed2, 12);
    EXPECT_EQ(s.gamma_shape, 0.0f);
}

TEST(Settings, DerivedCounts) {
    reset_all_state();
    settings.ntaxa = 10;
    settings.nsites = 100;
    settings.stop_mult = 4;
    settings.burnin_iter = 7;
    settings.trial_prob = 0.5f;    // ln 0.5 / (10 ln 0.9) = 0.658 -> 1
    settings.burnin_prob = 0.01f;  // ln 0.01 / (10 ln 0.9) = 4.371 -> 5
    compute_derived_counts();
    EXPECT_EQ(settings.stop_count, 40);
    EXPECT_EQ(settings.min_trials, 30);
    EXPECT_EQ(settings.burnin_len, 57);

    settings.trial_prob = 1.0f;
    settings.burnin_prob = 1.0f;
    compute_derived_counts();
    EXPECT_EQ(settings.min_trials, 0);
    EXPECT_EQ(settings.burnin_len, 7);

    settings.stop_mult = 300000000;
    EXPECT_INPUT_ERROR(compute_derived_counts(), "^Error in settings: the number of iterations "
                       "after the last unique tree \\(3000000000\\) is too large");
}

TEST(SettingsDeathTest, BadSettingsStopTheRun) {
    reset_all_state();
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(3, "12abc"))),
                       "^Error in settings, line 3: setting 3 \\(burnin_iter\\) is '12abc', "
                       "not an integer\n$");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(9, "fast"))),
                       "line 9: setting 9 \\(beta_num\\) is 'fast', not a number");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(21, "3000000000"))),
                       "line 21: setting 21 \\(seed1\\) is 3000000000, out of range");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(4, "0"))),
                       "line 4: burnin_prob is 0; it must lie in \\(0, 1\\]");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(5, "1.5"))),
                       "line 5: trial_prob is 1.5; it must lie in \\(0, 1\\]");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(12, "-1"))),
                       "line 12: n_keep is -1; it cannot be negative");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(6, "-2"))),
                       "line 6: stop_mult is -2; it cannot be negative");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(13, "-1"))),
                       "line 13: max_iter is -1; it cannot be negative");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(17, "1"))),
                       "line 17: accept_prob2 is 1; it must lie in \\(0, 1\\)");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(17, "0"))), "accept_prob2 is 0;");
    // Each setting's range, with the value quoted as written.
    const struct {
        int pos;
        const char* value;
        const char* message;
    } kOutOfRange[] = {
        {2, "2", "line 2: keep_gaps is 2; it must be 0 or 1"},
        {3, "-100", "line 3: burnin_iter is -100; it cannot be negative"},
        {7, "3", "line 7: print_patterns is 3; it must be 0 or 1"},
        {8, "-1", "line 8: print_alignment is -1; it must be 0 or 1"},
        {9, "-0.5", "line 9: beta_num is -0.5; it cannot be negative"},
        {10, "1", "line 10: beta_frac is 1; it must lie in \\[0, 1\\)"},
        {11, "-1e-3", "line 11: improve_tol is -1e-3; it cannot be negative"},
        {14, "-5", "line 14: beta_len is -5; it cannot be negative"},
        {15, "2", "line 15: estimate is 2; it must be 0 or 1"},
        {15, "-1", "line 15: estimate is -1; it must be 0 or 1"},
        {16, "2", "line 16: use_lin_info is 2; it must be 0 or 1"},
        {18, "0", "line 18: delta_lnl2 is 0; it must be positive"},
        {18, "1e-300", "line 18: setting 18 \\(delta_lnl2\\) is 1e-300, too small for a "
                       "single-precision number"},
        {19, "7", "line 19: final_opt is 7; it must be 0 or 1"},
        {21, "0", "line 21: seed1 is 0; it must lie in 1 to 2147483562"},
        {22, "2147483399", "line 22: seed2 is 2147483399; it must lie in 1 to 2147483398"},
    };
    for (const auto& c : kOutOfRange)
        EXPECT_INPUT_ERROR(parse_settings(clock_settings(with(c.pos, c.value))), c.message)
            << c.pos << " " << c.value;
    // Combinations with the alignment's size: a cooling constant that is negative, and a
    // second search that would start at an infinite temperature.
    settings.ntaxa = 5;
    settings.nsites = 100;
    parse_settings(clock_settings(with(14, "1e6")));
    EXPECT_INPUT_ERROR(compute_derived_counts(),
                       "^Error in settings, line 14: beta_len is 1e6; with beta_frac 0.25, 5 "
                       "sequences and 100 sites the cooling constant");
    parse_settings(clock_settings(with(18, "3e38")));
    EXPECT_INPUT_ERROR(compute_derived_counts(),
                       "^Error in settings, line 18: delta_lnl2 is 3e38; .* temperature is inf");
    std::vector<std::string> short_file(kGood.begin(), kGood.begin() + 20);
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(short_file)),
                       "^Error in settings: only 20 of the 22 settings lines are present\n$");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(short_file) + "seed1"),
                       "line 21: setting 21 \\(seed1\\) has no value");
    // The optional line local_opt: 0 or 1, once.
    parse_settings(clock_settings(kGood) + "local_opt 1\n");
    EXPECT_EQ(settings.local_opt, 1);
    parse_settings(clock_settings(kGood));
    EXPECT_EQ(settings.local_opt, 0);
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(kGood) + "local_opt 2\n"),
                       "line 23: local_opt is '2'; it must be 0 or 1");
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(kGood) + "local_opt 1\nlocal_opt 0\n"),
                       "line 24: local_opt is given twice");
    // newton_guard likewise, beside local_opt in either order.
    parse_settings(clock_settings(kGood) + "newton_guard 1\nlocal_opt 1\n");
    EXPECT_EQ(settings.newton_guard, 1);
    EXPECT_EQ(settings.local_opt, 1);
    EXPECT_INPUT_ERROR(parse_settings(clock_settings(kGood) + "local_opt 1\nnewton_guard x\n"),
                       "line 24: newton_guard is 'x'; it must be 0 or 1");
}

TEST(InfileHeader, ReadsSevenIntegers) {
    reset_all_state();
    const std::string t = "4 6\n1 0\r\n0 0 0\nA ACGTAC\nB ACGTAC\nC ACGTAC\nD ACGTAC\n";
    const size_t off = parse_infile_header(t);
    EXPECT_EQ(t.substr(off, 3), "\nA ");
    EXPECT_EQ(settings.ntaxa, 4);
    EXPECT_EQ(settings.nsites, 6);
    EXPECT_EQ(settings.layout, 1);
    EXPECT_EQ(settings.block_width, 6);  // layout 1 reads each sequence as one block

    reset_all_state();
    parse_infile_header("3 25 2 3 10 5 5 " + std::string(100, ' '));
    EXPECT_EQ(settings.nblocks, 3);
    EXPECT_EQ(settings.block_width, 10);
    EXPECT_EQ(settings.group_width, 5);
    EXPECT_EQ(settings.last_width, 5);
}

TEST(InfileHeaderDeathTest, BadHeadersStopTheRun) {
    reset_all_state();
    const std::string pad(200, ' ');
    EXPECT_INPUT_ERROR(parse_infile_header("3 10 3 0 0 0 0" + pad),
                       "^Error in data format specification\n$");
    EXPECT_INPUT_ERROR(parse_infile_header("2 10 1 0 0 0 0" + pad), "line 1: ntaxa is 2");
    EXPECT_INPUT_ERROR(parse_infile_header("3 0 1 0 0 0 0" + pad), "line 1: nsites is 0");
    EXPECT_INPUT_ERROR(parse_infile_header("3 10\n1 0 0"),
                       "line 2: the header ends before field 6 \\(group_width\\)");
    EXPECT_INPUT_ERROR(parse_infile_header("3 10 x 0 0 0 0" + pad),
                       "header field 3 \\(layout\\) is 'x', not an integer");
    EXPECT_INPUT_ERROR(parse_infile_header("3 10 1 0 0 0 4294967296" + pad),
                       "header field 7 \\(last_width\\) is 4294967296, out of range");
    EXPECT_INPUT_ERROR(parse_infile_header("3 10 2 1 10 5 10" + pad), "nblocks is 1");
    EXPECT_INPUT_ERROR(parse_infile_header("3 10 2 2 0 5 10" + pad), "block_width is 0");
    EXPECT_INPUT_ERROR(parse_infile_header("3 10 2 2 5 -5 5" + pad), "group_width is -5");
    EXPECT_INPUT_ERROR(parse_infile_header("3 10 2 2 5 5 0" + pad), "last_width is 0");
    EXPECT_INPUT_ERROR(parse_infile_header("3 25 2 3 10 5 4" + pad),
                       "the blocks hold \\(3 - 1\\) \\* 10 \\+ 4 = 24 sites, but nsites is 25");
    EXPECT_INPUT_ERROR(parse_infile_header("100000 100000 1 0 0 0 0\n"),
                       "100000 sequences of 100000 sites cannot fit in a file of 24 bytes");
}

TEST(LinInfo, ReadsOneLinePerSequence) {
    reset_all_state();
    parse_lin_info("1 2.5 0.5\r\n\n2\t1 0.25\n3 4 8", 3);
    ASSERT_EQ(alignment.lin_array.size(), 3u);
    EXPECT_EQ(alignment.lin_array[0][0], 2.5);
    EXPECT_EQ(alignment.lin_array[1][1], 0.25);
    EXPECT_EQ(alignment.lin_array[2][1], 8.0);
    // Values are single precision as read.
    parse_lin_info("1 0.1 0.1\n2 1 1\n3 1 1\n", 3);
    EXPECT_EQ(alignment.lin_array[0][0], static_cast<double>(0.1f));

    EXPECT_INPUT_ERROR(parse_lin_info("1 1 1\n2 1 1\n", 3),
                       "^Error in lin_info: there is no line for sequence 3; 3 lines are "
                       "needed\n$");
    EXPECT_INPUT_ERROR(parse_lin_info("1 1 1\n2 1x 1\n3 1 1\n", 3),
                       "line 2: expected an integer and two numbers for sequence 2");
    EXPECT_INPUT_ERROR(parse_lin_info("1 1 1\n2 1 1 1\n3 1 1\n", 3), "line 2: expected");
    EXPECT_INPUT_ERROR(parse_lin_info("1 1 1\n2 1 1\n3 1 0\n", 3),
                       "line 3: the values of sequence 3 must be positive");
}

TEST(RunFiles, OpensInOrderAndNamesTheFirstMissing) {
    reset_all_state();
    char dir_template[] = "/tmp/runfilesXXXXXX";
    ASSERT_NE(mkdtemp(dir_template), nullptr);
    const std::string dir = dir_template;
    char old_dir[4096];
    ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    fclose(fopen("infile", "w"));

    testing::internal::CaptureStdout();
    const bool opened = open_run_files();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open settings: No such file or directory\n");
    EXPECT_FALSE(opened);

    fclose(fopen("settings", "w"));
    EXPECT_TRUE(open_run_files());
    EXPECT_NE(run_files.paupfile, nullptr);
    EXPECT_EQ(access("paupfile.nex.part", F_OK), 0);  // renamed only when complete
    EXPECT_NE(access("paupfile.nex", F_OK), 0);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(open_lin_info());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Can't open lin_info: No such file or directory\n");
    for (FILE* f : {run_files.infile, run_files.settings, run_files.treefile, run_files.besttree,
                    run_files.results, run_files.paupfile})
        fclose(f);
    reset_run_files();
    for (const char* f : {"infile", "settings", "treefile.part", "besttree.part", "results.part",
                          "paupfile.nex.part"})
        unlink(f);
    EXPECT_EQ(chdir(old_dir), 0);
    rmdir(dir.c_str());
}
