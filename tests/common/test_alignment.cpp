// Reading both layouts, coding, site patterns and their listings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "base/base_codes.hpp"
#include "input/alignment.hpp"
#include "input/infile_header.hpp"
#include "input/settings.hpp"
#include "output/pattern_listing.hpp"
#include "support.hpp"

namespace {

#define EXPECT_INPUT_ERROR(stmt, regex)                                                 \
    EXPECT_EXIT((fflush(stdout), dup2(2, 1), (stmt)), ::testing::ExitedWithCode(1), regex)

void load(const std::string& text, int keep_gaps = 1) {
    reset_all_state();
    parse_sequences(text, parse_infile_header(text));
    settings.keep_gaps = keep_gaps;
}

// What f writes to results.
std::string results_of(void (*f)()) {
    const std::string out = capture([f](FILE* results) {
        run_files.results = results;
        f();
    });
    run_files.results = nullptr;
    return out;
}

// Test alignments shipped in tests/data (sources in tests/data/README.md).
std::string data_file(const std::string& name) {
    std::string root = __FILE__;
    for (int up = 0; up < 2; ++up) root = root.substr(0, root.rfind('/'));
    return slurp(root + "/data/" + name);
}

// A sequential alignment of n taxa and s sites whose columns are drawn from `pool`
// random columns over `alphabet` (pool 0: every column drawn afresh).
std::string make_alignment(int n, int s, int pool, const std::string& alphabet) {
    std::mt19937 next(12345);
    std::vector<std::string> cols(pool > 0 ? pool : s, std::string(n, 'A'));
    for (std::string& c : cols)
        for (char& ch : c) ch = alphabet[next() % alphabet.size()];
    std::vector<int> pick(s);
    for (int j = 0; j < s; ++j) pick[j] = pool > 0 ? static_cast<int>(next() % pool) : j;
    std::string t = std::to_string(n) + " " + std::to_string(s) + " 1 0 0 0 0\n";
    for (int i = 0; i < n; ++i) {
        t += 't';
        t += std::to_string(i);
        t += ' ';
        for (int j = 0; j < s; ++j) t += cols[pick[j]][i];
        t += "\n";
    }
    return t;
}

}  // namespace

TEST(Alignment, BothLayoutsAndCoding) {
    load("3 12 1 0 0 0 0\nalpha ACGTACGTACGT\nbeta ACGTAC.TACGA\r\ngamma\tacgtnn?-MRWS");
    const std::vector<std::vector<int>> seq = alignment.ppBase;
    EXPECT_EQ(alignment.TaxonNames, (std::vector<std::string>{"alpha", "beta", "gamma"}));
    // '.' copies the first sequence; lower case, '?' and N fold together.
    const std::vector<int> beta = {0, 2, 1, 3, 0, 2, 1, 3, 0, 2, 1, 0};
    const std::vector<int> gamma = {0, 2, 1, 3, 15, 15, 15, 4, 5, 6, 7, 8};
    for (int j = 0; j < 12; ++j) {
        EXPECT_EQ(seq[1][j], beta[j]) << j;
        EXPECT_EQ(seq[2][j], gamma[j]) << j;
    }

    load("3 12 2 2 6 3 6\r\nalpha ACG TAC\r\nbeta  ACG\tTAC\r\ngamma acg tnn\r\n\r\n"
         "GTA CGT\r\n.TA CGA\r\n?-M RWS");
    EXPECT_EQ(alignment.ppBase, seq);

    const std::string mtprim9 = data_file("mtprim9.infile");
    const std::string mtprim9_interleaved = data_file("mtprim9_interleaved.infile");
    ASSERT_FALSE(mtprim9.empty() || mtprim9_interleaved.empty()) << "tests/data not found";
    load(mtprim9);
    const std::vector<std::vector<int>> sequential = alignment.ppBase;
    const std::vector<std::string> names = alignment.TaxonNames;
    load(mtprim9_interleaved);
    EXPECT_EQ(alignment.ppBase, sequential);
    EXPECT_EQ(alignment.TaxonNames, names);

    const std::string letters = "AGCT-MRWSYKBDHVN";
    for (int code = 0; code < 16; ++code) {
        EXPECT_EQ(base_code(letters[code]), code);
        EXPECT_EQ(base_code(static_cast<char>(tolower(letters[code]))), code);
        EXPECT_EQ(base_letter(code), letters[code]);
    }
    EXPECT_EQ(base_code('?'), 15);
    EXPECT_EQ(base_code('.'), -1);
    EXPECT_EQ(base_code('X'), -2);
    EXPECT_EQ(std::vector<int>(code_states(9), code_states(9) + 4), (std::vector<int>{0, 0, 1, 1}));
    EXPECT_EQ(std::vector<int>(code_states(4), code_states(4) + 4), (std::vector<int>{1, 1, 1, 1}));
}

TEST(Alignment, PatternsSummaryAndListings) {
    const std::string text = "3 8 1 0 0 0 0\nA AAGA-CAA\nB AAGA-CAA\ntenletters AAGAACA-\n";
    const std::string lead =
        "\n----------------------------------------------------------------\n\n";
    load(text, 1);
    EXPECT_EQ(results_of([] {
                  build_patterns();
                  write_pattern_summary();
              }),
              lead + "The number of unique site patterns is 5\n\n");
    EXPECT_EQ(alignment.site_counter[0], 4);
    EXPECT_EQ(alignment.ppBase_unique[2][2], 0);  // the gap column (- - A) is a pattern
    EXPECT_EQ(alignment.ppBase_unique[0][2], 4);

    load(text, 0);
    EXPECT_EQ(results_of([] {
                  build_patterns();
                  write_pattern_summary();
              }),
              lead + "The number of unique site patterns is 3\n\n"
                     "Sites with a gap in at least one taxa have been excluded - the \n"
                     " total number of sites used in the computations is 6\n\n");
    EXPECT_EQ(results_of(print_pattern_table),
              "ppBase_unique:\nSequence 1:   A\n012\nSequence 2:   B\n012\n"
              "Sequence 3:   tenletters\n012\n\n\nCounter 0 4\nCounter 1 1\nCounter 2 1\n\n\n");
    testing::internal::CaptureStdout();
    print_pattern_alignment();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nA         AAAAGC\nB         AAAAGC\ntenletters"
              "AAAAGC\n\n\n");

    load("3 5 1 0 0 0 0\nx AAAAA\ny AAAAA\nz AAAAA\n");
    results_of(build_patterns);
    EXPECT_EQ(alignment.npat, 1);
    EXPECT_EQ(alignment.site_counter[0], 5);

    load("3 2 1 0 0 0 0\nx A-\ny -A\nz AA\n", 0);
    EXPECT_INPUT_ERROR(results_of(build_patterns), "^Error in infile: every site has a gap");
}

// The patterns must be those of comparing each new column with every later one.
TEST(Alignment, PatternsMatchColumnByColumnComparison) {
    const std::string text = make_alignment(10, 3000, 40, "ACGTACGTACGT-N?R");
    for (int keep_gaps = 0; keep_gaps <= 1; ++keep_gaps) {
        load(text, keep_gaps);
        results_of(build_patterns);
        const int n = settings.ntaxa, s = settings.nsites;
        std::vector<char> taken(s, 0);
        for (int j = 0; j < s; ++j)
            for (int i = 0; i < n && keep_gaps == 0; ++i)
                if (alignment.ppBase[i][j] == 4) taken[j] = 1;
        int npat = 0;
        for (int j = 0; j < s; ++j) {
            if (taken[j]) continue;
            int weight = 0;
            for (int k = j; k < s; ++k) {
                bool same = !taken[k];
                for (int i = 0; i < n && same; ++i)
                    same = alignment.ppBase[i][k] == alignment.ppBase[i][j];
                if (same) taken[k] = 1, ++weight;
            }
            ASSERT_LT(npat, alignment.npat);
            for (int i = 0; i < n; ++i)
                EXPECT_EQ(alignment.ppBase_unique[i][npat], alignment.ppBase[i][j]);
            EXPECT_EQ(alignment.site_counter[npat], weight);
            ++npat;
        }
        EXPECT_EQ(alignment.npat, npat);
    }
    // Many taxa, all columns distinct: every site is its own pattern.
    load(make_alignment(128, 3000, 0, "ACGT"));
    results_of(build_patterns);
    EXPECT_EQ(alignment.npat, 3000);
    EXPECT_EQ(alignment.site_counter[2999], 1);
}

TEST(AlignmentDeathTest, BadSequencesStopTheRun) {
    const std::string head = "3 4 1 0 0 0 0\n";
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb ACXT\nc ACGT\n"),
                       "^Error in infile, line 3: taxon b, site 3: 'X' is not a nucleotide or "
                       "ambiguity code\n$");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb AC\x01T\nc ACGT\n"), "site 3: '\\\\x01'");
    EXPECT_INPUT_ERROR(load(head + "a AC.T\nb ACGT\nc ACGT\n"),
                       "line 2: taxon a, site 3: '.' in the first sequence has no base");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb ACG\nc ACGT\n"),
                       "line 3: the sequence of taxon b has 3 sites, but nsites is 4");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb ACGT\nc ACGTA\n"), "taxon c has 5 sites");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb ACGT\n      "),
                       "line 4: the file ends before taxon 3 of 3");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb ACGT\nc"), "ends before the sequence of taxon c");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nelevenchars ACGT\nc ACGT\n"),
                       "line 3: the name of taxon 2, 'elevenchars', is longer than 10");
    // A line without its name: the sequence is taken for the name.
    EXPECT_INPUT_ERROR(load("3 11 1 0 0 0 0\na ACGTACGTACG\n  ACGTACGTACG\nc ACGTACGTACG\n"),
                       "line 3: the name of taxon 2 is missing: 'ACGTACGTACG' is a sequence\n$");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb\x02 ACGT\nc ACGT\n"),
                       "line 3: the name of taxon 2, 'b\\\\x02', contains a control character");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb:1 ACGT\nc ACGT\n"),
                       "the name of taxon 2, 'b:1', contains ':'");
    EXPECT_INPUT_ERROR(load(head + "a ACGT\nb ACGT\na ACGT\n"),
                       "line 4: taxa 1 and 3 have the same name 'a'");

    const std::string inter = "3 10 2 2 6 3 4\n";
    EXPECT_INPUT_ERROR(load(inter + "a ACG TAC\nb ACG TAC GGG\nc ACG TAC\nACGT\nACGT\nACGT\n"),
                       "line 3: block 1 of taxon b has 9 sites, but the block holds 6");
    EXPECT_INPUT_ERROR(load(inter + "a ACG TAC\nb ACG TAC\nc ACG TAC\nACGT\nACG\nACGT\n"),
                       "line 6: block 2 of taxon b has 3 sites, but the block holds 4");
    EXPECT_INPUT_ERROR(load(inter + "a ACG TAC\nb ACG TAC\nc ACG TAC\nACGT\nACGT\n"),
                       "the file ends before block 2 of taxon c");
    EXPECT_INPUT_ERROR(load(inter + "a ACG TAC\nb ACG TAC\nc ACG TAC\nACGT\nACGT\nAC?T..\n"),
                       "block 2 of taxon c has 6 sites");
}
