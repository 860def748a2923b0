// The model lines of results.
#pragma once

#include <cstdio>

// The base frequencies (HKY and F84), the model and its start-up values, to results, as
// setup_model fixed them.
void write_model_lines();
// A named model's parameters in force, one line each after `lead` ("At the start ", " The
// final estimate: "): exchange parameters, Gamma shape with its category rates, invariable
// proportion.
void write_named_parameters(FILE* out, const char* lead);
