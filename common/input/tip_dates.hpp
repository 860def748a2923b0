// Sampling dates of the sequences (clockml's dated trees): read from a dates file or from the
// ends of the sequence names, as decimal years.
#pragma once

#include <string>
#include <vector>

// A date as a decimal year: a number (2003.42, -1200) or a calendar date YYYY-MM-DD, which
// counts from the middle of its day (2003-01-01 is 2003 + 0.5/365). false when the text is
// neither, or the calendar date does not exist.
bool parse_date(const std::string& text, double& year);

// The dates of the sequences named in `names` (in infile order) from a dates file: one line
// per sequence, its name, then blanks, a tab or a comma, then its date; lines starting with
// '#' and blank lines are skipped, and a first line whose date is not a date is taken for a
// header ("name,date"). Stops the run naming `file`, the line and the value of a bad line:
// an unknown or repeated name, a date that is not one, a sequence without a date.
std::vector<double> read_tip_dates(const std::string& text, const char* file,
                                   const std::vector<std::string>& names);
// The dates at the ends of the names, after the last '|' or '_' ("A/Perth/16/2009|2009.3",
// "seq7_2011-04-02"); stops the run naming the first name without one.
std::vector<double> tip_dates_from_names(const std::vector<std::string>& names);
// Checks that the dates can fix a rate (at least two different dates); stops the run otherwise.
void check_tip_dates_usable(const std::vector<double>& dates, const char* from);
