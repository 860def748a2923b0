// The data block of paupfile.nex.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "input/alignment.hpp"
#include "input/infile_header.hpp"
#include "input/settings.hpp"
#include "output/reports.hpp"
#include "support.hpp"

TEST(NexusData, MatrixShowsResolvedLetters) {
    reset_all_state();
    const std::string text = "3 4 1 0 0 0 0\ntenletters ACGT\nb .c?-\nc mrwN\n";
    parse_sequences(text, parse_infile_header(text));
    const std::string out = capture([](FILE* f) {
        run_files.paupfile = f;
        write_nexus_data();
    });
    run_files.paupfile = nullptr;
    EXPECT_EQ(out,
              "#NEXUS\n\n"
              "  Begin data;\n"
              "  Dimensions ntax=3 nchar=4;\n"
              "  Format datatype=nucleotide gap=- missing=? matchchar=.;\n"
              "  Matrix\n"
              "tenletters ACGT\n"
              "b          ACN-\n"
              "c          MRWN\n"
              ";\n End;\n\n");
}
