// Replicate searches (--replicates R) and bootstrap replicates (--bootstrap B) of one
// alignment, J at a time (--jobs J), each in a folder of its own.
#pragma once

#include <sys/types.h>

#include <string>

struct ReplicateOptions {
    int replicates = 0;    // --replicates R (at least one search is run)
    int bootstrap = 0;     // --bootstrap B
    int jobs = 0;          // --jobs J; 0: the number of cores
    bool prepare = false;  // --prepare: write the folders, run nothing
    std::string model;     // --model: written into every folder's settings
    int threads = 0;       // --threads T of each search; 0: the cores over the jobs
    int checkpoint_every = 300;  // --checkpoint-every of each search
    bool resume = false;   // --resume: each search goes on from its folder's checkpoint
    int alrt = 0;          // --alrt N and --abayes: the branch support of each search's
    bool abayes = false;   // best tree (rep-*), the best one's beside the bootstrap's
    bool dates_from_names = false;  // clockml's --dates-from-names, passed on to every search
};

// In the current folder, which the caller has locked: writes the folders rep-001 ... and
// boot-001 ... with their inputs and seeds and, unless `prepare`, runs them and summarises
// them (summary.hpp). Returns the exit status: 0 when every run completed, 128 + signal
// when interrupted, else 1.
int run_replicates(const ReplicateOptions& options);

// Starts `exe` with `argv` (ending in nullptr) in `folder`, its standard output and error
// written to the file console there; the child's process id, or -1.
pid_t start_in_folder(const std::string& folder, const std::string& exe, const char* const* argv);
// The path of this program's executable (from /proc/self/exe), "" when it cannot be had.
std::string own_executable();
