// Run files, the infile header, the settings file, lin_info, derived counts and the timer.
#pragma once

#include <string>

#include "base/file_io.hpp"
#include "base/state.hpp"

// Opens the run files in slot order (infile, settings, treefile, besttree, results, then
// paupfile.nex, best.tre). lin_info is opened separately, after the settings are known. On failure
// prints "Can't open <file>: <reason>\n" and returns false; an input that is a folder or
// a device (anything but a file or a pipe) fails to open.
bool open_run_files();
// clockml with use_lin_info 1: opens lin_info; on failure "Can't open lin_info: ...", false.
bool open_lin_info();

// Parses the seven header integers at the start of the infile text. Returns the offset
// just past the header, where the sequences start. Stops the run on a malformed header.
size_t parse_infile_header(const std::string& text);

// Parses the 22 positional lines of a settings text into `settings` (clockml or freeml
// order by program.has_lin_info) and checks them; stops the run on a bad value.
void parse_settings(const std::string& text);
// Writes a settings file of the 22 lines with the values of `values`, one comment per line
// (after '#', which the reader skips).
void write_settings_text(FILE* out, const Settings& values);
// stop_count, min_trials, burnin_len from the settings and ntaxa.
// Also stops the run when the cooling constant or the second search's temperature would
// not be finite and positive.
void compute_derived_counts();
// beta of the searches, from beta_num, beta_frac, beta_len and the header's dimensions.
float cooling_constant();
// Starting temperature of the second search, at which a fall of delta_lnl2 is accepted with
// probability accept_prob2 at its first step.
double second_search_temperature(float beta);

// Parses n lines of a lin_info text into alignment.lin_array; stops on a bad line.
void parse_lin_info(const std::string& text, int n);
// clockml's relative rate of a lineage from its two lin_info values w and t.
double lineage_rate(double w, double t);

// Processor-clock timer in seconds.
void start_timer();
double elapsed_seconds();
