// The one-command form (-s FILE): the program makes its run folder from an alignment file,
// puts the alignment there as infile (and the settings beside it), and runs there, so the
// folder explains itself exactly as one made by hand does.
#pragma once

#include <cstdio>

// Makes the run folder of command_line.alignment (the --prefix, or the alignment's name
// with the program's name appended), takes its lock, refuses it when it holds reports
// and --redo is not given, copies the alignment to infile and the settings (--settings, or
// the recommended ones unless the folder has its own) and makes it the current folder.
// False after a message on `err` naming the file and the reason.
bool enter_run_folder(FILE* err);
// The closing summary on standard output: the model and its estimates, the best tree's
// log-likelihood, where the reports are, the wall time, and the commands a user may want
// next. `searches` is set after --replicates or --bootstrap.
void write_closing_summary(FILE* out, int status, bool searches, double wall_seconds);
