// Run files, the infile header, the settings file, lin_info, derived counts and the timer.
#pragma once

#include <string>

#include "state.hpp"

// Reads a whole open file into `out`; false on a read error.
bool read_whole_file(FILE* f, std::string& out);

// Opens the run files in slot order (infile, settings, treefile, besttree, results, then
// paupfile.nex). lin_info is opened separately, after the settings are known. On failure
// prints "Can't open <file>\n" and returns false.
bool open_run_files();
// clockml with use_lin_info 1: opens lin_info; on failure "Can't open lin_info\n", false.
bool open_lin_info();

// Parses the seven header integers at the start of the infile text. Returns the offset
// just past the header, where the sequences start. Stops the run on a malformed header.
size_t parse_infile_header(const std::string& text);

// Parses the 22 positional lines of a settings text into `settings` (clockml or freeml
// order by program.has_lin_info) and checks them; stops the run on a bad value.
void parse_settings(const std::string& text);
// Reads the settings file of run_files into `settings`.
void read_settings();
// stop_count, min_trials, burnin_len from the settings and ntaxa.
void compute_derived_counts();

// Parses n lines of a lin_info text into alignment.lin_array; stops on a bad line.
void parse_lin_info(const std::string& text, int n);
void read_lin_info();

// Processor-clock timer in seconds.
void start_timer();
double elapsed_seconds();
