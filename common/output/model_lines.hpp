// The model lines of results.
#pragma once

// The base frequencies (HKY and F84), the model and its start-up values, to results, as
// setup_model fixed them.
void write_model_lines();
