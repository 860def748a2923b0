// Replicate searches of one alignment (--replicates R [--jobs J]).
#pragma once

// Runs command_line.replicates searches in folders rep-001 ..., writes the summary
// `replicates` and copies the best replicate's reports into the folder. Returns the exit
// status: 0 when every replicate completed, 128 + signal when interrupted, else 1.
int run_replicates();
