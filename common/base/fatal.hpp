// Fatal conditions: a message, then the process ends with status 1.
#pragma once

// printf-style message to standard output, then exit status 1.
[[noreturn]] void fatal(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// printf-style message to standard error, then exit status 1.
[[noreturn]] void fatal_stderr(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// An input file is unusable: "Error in <file>, line <line>: <message>\n" on standard
// output, exit status 1. line 0 leaves out the line.
[[noreturn]] void input_error(const char* file, int line, const char* fmt, ...)
    __attribute__((format(printf, 3, 4)));
// A failed allocation of a named array: "Can't memalloc <name>\n" and exit status 1.
[[noreturn]] void out_of_memory(const char* name);
