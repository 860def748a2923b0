// The command line answers and rejects without starting a run; the status line keeps
// its fields and never outgrows the terminal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "app/cli.hpp"
#include "search/progress.hpp"
#include "support.hpp"

namespace {

struct CliResult {
    int status;
    std::string out, err;
};

CliResult call(const std::vector<const char*>& args) {
    std::vector<const char*> argv = {"clockml"};
    argv.insert(argv.end(), args.begin(), args.end());
    CliResult r{};
    r.out = capture([&](FILE* out) {
        r.err = capture([&](FILE* err) {
            r.status = handle_command_line(static_cast<int>(argv.size()), argv.data(), out, err);
        });
    });
    return r;
}

}  // namespace

TEST(CommandLine, AnswersRejectsOrRuns) {
    CliResult none = call({});
    EXPECT_EQ(none.status, kRunProgram);
    EXPECT_EQ(none.out + none.err, "");

    CliResult help = call({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: clockml [--help | --version | --write-settings | --replicates R [--jobs J]]\n", 0), 0u);
    for (const char* file : {"infile", "settings", "lin_info", "results", "besttree", "treefile",
                             "paupfile.nex", "doc/input.md"})
        EXPECT_NE(help.out.find(file), std::string::npos) << file;
    EXPECT_EQ(help.err, "");

    CliResult version = call({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("clockml 1.0", 0), 0u);

    // An unknown word anywhere wins over a known one: one line naming it, nothing else.
    CliResult bad = call({"--help", "-v"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "");
    EXPECT_EQ(bad.err, "clockml: unknown argument '-v' (try 'clockml --help')\n");

    // Replicate options take a count from 1 to 999, and --jobs needs --replicates.
    CliResult reps = call({"--replicates", "4", "--jobs", "2"});
    EXPECT_EQ(reps.status, kRunReplicates);
    EXPECT_EQ(command_line.replicates, 4);
    EXPECT_EQ(command_line.jobs, 2);
    for (const std::vector<const char*>& args :
         {std::vector<const char*>{"--replicates", "0"}, {"--replicates", "1000"},
          {"--replicates"}, {"--jobs", "2"}, {"--replicates", "2", "--replicates", "3"}})
        EXPECT_EQ(call(args).status, 1) << args[0];
    // An option given twice is named as such, not as a bad value.
    EXPECT_EQ(call({"--replicates", "2", "--replicates", "3"}).err,
              "clockml: --replicates is given twice; give it once (try 'clockml --help')\n");
}

TEST(ProgressLine, FieldsAndWidth) {
    char buf[256];
    size_t n = progress_format(buf, sizeof buf, kPhaseSecondSearch, 123456, -12345.678,
                               -12340.5, 0.0123, 20, 3723.9, 0);
    EXPECT_STREQ(buf,
                 "second search iter 123456 lnL -12345.68 best -12340.50 T 0.0123 trees 20 1:02:03");
    EXPECT_EQ(n, std::strlen(buf));
    EXPECT_LE(n, 80u);

    // Cut one column short of a narrow terminal, and safe with a tiny buffer.
    n = progress_format(buf, sizeof buf, kPhaseBurnin, 5, -1.0, -1.0, 1.0, 1, 0.0, 20);
    EXPECT_EQ(n, 19u);
    EXPECT_EQ(std::string(buf), "burn-in iter 5 lnL ");
    char tiny[8];
    n = progress_format(tiny, sizeof tiny, kPhaseOptimisation, 1, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(n, 7u);
    EXPECT_STREQ(tiny, "optimis");

    // The optimisation of the archived trees counts the trees.
    progress_format(buf, sizeof buf, kPhaseOptimisation, 3, -10.0, -9.5, 0.5, 7, 61.0, 0, 7);
    EXPECT_STREQ(buf, "optimisation tree 3 of 7 lnL -10.00 best -9.50 trees 7 0:01:01");
}
