// The summary of searches that ran in folders of their own: replicate searches (rep-*)
// and bootstrap replicates (boot-*), whether the program ran them itself (--replicates,
// --bootstrap) or a workflow engine did (--summarise DIR...). Everything is read from the
// folders, so both ways give the same files.
#pragma once

#include <string>
#include <vector>

// Reads the folders and writes, into the current folder: `replicates` (the searches, their
// seeds, status and best lnL), the best search's reports, and with bootstrap replicates
// `bootstrap`, `supporttree`, `consensus.tre` and a trees block added to paupfile.nex.
// A folder counts as complete only when its run record (runlog) is of this program, ended
// with status 0, goes with its reports (no newer runlog.part) and names the inputs beside it,
// and its reports give a finite lnL and a tree; every other folder is listed with the reason.
// `exit_statuses`, when the caller ran the folders itself, holds each run's exit status.
// Returns the exit status: 0 when every folder's run completed, 128 + signal when the only
// incomplete ones were interrupted, else 1.
int summarise_folders(const std::vector<std::string>& folders,
                      const std::vector<int>& exit_statuses = {});

// --summarise DIR...: whether every folder named is a folder, each named once; otherwise a
// line says which is not, and nothing is written.
bool summary_folders_usable(const std::vector<std::string>& folders);
// Summarises the folders named into the current folder, which the caller has locked, with a
// runlog of its own.
int run_summarise(const std::vector<std::string>& folders);
