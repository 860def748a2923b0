// --model-test (and --model auto): the candidate models fitted on one distance tree of the
// folder's alignment and ranked by an information criterion.
#pragma once

#include <string>

// Writes the table to "modeltest" and standard output; sets `winner` to the best model by
// `criterion` (BIC, AIC or AICc). Returns the exit status.
int run_model_test(const std::string& criterion, int threads, std::string& winner);
