// The command line: without arguments the programs run in the current folder; --help and
// --version answer, --write-settings writes a settings file, and --replicates runs several
// searches. Anything else is refused before a run file is touched.
#pragma once

#include <cstdio>

#include "state.hpp"

// What main should do after looking at its arguments.
constexpr int kRunProgram = -1;
constexpr int kRunReplicates = -2;

// The options of a replicate run.
struct CommandLine {
    int replicates = 0;  // --replicates R
    int jobs = 0;        // --jobs J; 0: the number of cores
};
extern CommandLine command_line;
void reset_command_line();

// The recommended settings (those of the thorough examples) of this program.
Settings recommended_settings();

// Answers --help, --version or --write-settings (exit status 0, or 1 when the settings file
// exists or cannot be written), rejects an unknown or malformed argument with one line on
// `err` (exit status 1), returns kRunReplicates after filling `command_line` for
// --replicates, or kRunProgram when there are no arguments.
int handle_command_line(int argc, const char* const* argv, FILE* out, FILE* err);
