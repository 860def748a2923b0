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
// Returns the exit status: 0 when every folder's run completed, 128 + signal when the only
// incomplete ones were interrupted, else 1.
int summarise_folders(const std::vector<std::string>& folders);

// Files and text shared with the replicate runner.
bool read_text_file(const std::string& path, std::string& text);
// Writes `text` to `path` through a part file that takes the name when complete.
bool write_text_file(const std::string& path, const std::string& text);

// --summarise DIR...: locks this folder and summarises the folders named.
int run_summarise();
