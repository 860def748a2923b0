// The settings file: its 22 positional lines, their ranges and comments, and the counts and
// temperatures derived from them with the alignment's size.
#pragma once

#include <string>

#include "base/state.hpp"

constexpr int kSettingsLines = 22;
// The label of the optional line after the 22 that names the model (GTR+G4, ...).
constexpr const char* kModelSpecLabel = "model_spec";
// The label of the optional line of the stopping rule on a flat best log-likelihood.
constexpr const char* kStopFlatLabel = "stop_flat";
// The label of the optional line that chooses how branch lengths and node times are
// optimised (passes to the root, or a walk from both sides of each node).
constexpr const char* kLocalOptLabel = "local_opt";
// The label of the optional line that chooses guarded Newton steps for the re-estimation of
// mu and Kprime.
constexpr const char* kNewtonGuardLabel = "newton_guard";

// One line of the settings file: its label and the field of the record it fills (an integer
// read as "%d", or a single-precision real read as "%f").
struct SettingLine {
    const char* name;
    int Settings::*int_field;
    float Settings::*float_field;
};
// The 22 lines of this program's settings file in order (lines 16-18 differ between the
// programs); returns the count.
int settings_lines(SettingLine out[kSettingsLines]);
// The value of a line in `values` as a settings file holds it: an integer, or the shortest
// form of a real that reads back as the same single-precision value.
std::string setting_value_text(const Settings& values, const SettingLine& line);

// Parses the 22 positional lines of a settings text into `settings` (clockml or freeml
// order by program.has_lin_info) and checks them, then the optional model_spec line; stops
// the run on a bad value.
void parse_settings(const std::string& text);
// Where line `index` (from 1) of a settings text starts, npos past its end.
size_t settings_line_start(const std::string& text, int index);
// The value on line `index` of a settings text (its second word), "?" when there is none.
std::string settings_line_value(const std::string& text, int index);
// --model: the model of the command line, as the settings line model_spec gives it; a
// settings file that names another model stops the run (one run, one model).
void take_model_option(const std::string& text);
// Writes a settings file of the 22 lines with the values of `values` (and its model_spec and
// stop_flat lines when it has them), one comment per line (after '#', which the reader skips).
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
