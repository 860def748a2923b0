// Calibrated clades of a clock tree: the calibrations file, and the checks that the clades
// and their bounds leave a tree to find.
#pragma once

#include <string>
#include <vector>

#include "base/state.hpp"

// One line per calibrated clade: the names of its taxa separated by commas, then blanks,
// then its age: `47.2` (fixed), `40..55` (bounds), `40..` or `..55` (one bound). A line
// naming every taxon calibrates the root. Lines starting with '#' and blank lines are
// skipped. Stops the run naming `file`, the line and the value of a bad line: an unknown or
// repeated taxon, a clade of one taxon, an age that is not a number or negative, bounds in the
// wrong order, a clade given twice.
std::vector<Calibration> read_calibrations(const std::string& text, const char* file,
                                           const std::vector<std::string>& names);
// The clades together with the tips' ages (each tip's age before the latest tip, all 0
// without dates): stops the run naming the line when two clades overlap without one holding
// the other, or when a clade's bounds leave it no age older than its tips and its calibrated
// sub-clades and younger than the calibrated clades that hold it.
void check_calibrations(const std::vector<Calibration>& cals, const std::vector<double>& tip_age, const char* file);
// For each calibration, the index of the smallest calibration that strictly holds it (-1 if none).
std::vector<int> enclosing_calibrations(const std::vector<Calibration>& cals);
// The least age of each calibrated clade that its tips, its sub-clades and its own lower bound allow.
std::vector<double> least_calibrated_ages(const std::vector<Calibration>& cals, const std::vector<double>& tip_age);
