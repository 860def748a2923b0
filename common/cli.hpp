// The command line: the programs run without arguments; --help and --version answer
// and end the process before any run file is touched.
#pragma once

#include <cstdio>

// What main should do after looking at its arguments.
constexpr int kRunProgram = -1;

// Answers --help or --version on `out` (exit status 0), rejects any other argument with
// one line on `err` (exit status 1), or returns kRunProgram when there are no arguments.
int handle_command_line(int argc, const char* const* argv, FILE* out, FILE* err);
