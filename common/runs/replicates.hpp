// Replicate searches (--replicates R) and bootstrap replicates (--bootstrap B) of one
// alignment, J at a time (--jobs J), each in a folder of its own.
#pragma once

// Writes the folders rep-001 ... and boot-001 ... with their inputs and seeds and, unless
// --prepare, runs them and summarises them (summary.hpp). Returns the exit status: 0 when
// every run completed, 128 + signal when interrupted, else 1.
int run_replicates();
