// Helpers shared by the unit tests.
#pragma once

#include <string>
#include <vector>

// Resets every process-wide record.
void reset_all_state();
// Reads a whole file into a string ("" when it cannot be opened).
std::string slurp(const std::string& path);
