// The programs' entry: the command line decides between a run in this folder, replicate
// and bootstrap searches in folders of their own, and the summary of folders that have run.
// Every kind that writes here holds the folder's lock while it does.
#include <cstdio>

#include "app/cli.hpp"
#include "app/folder_lock.hpp"
#include "app/run.hpp"
#include "output/runlog.hpp"
#include "runs/replicates.hpp"
#include "runs/summary.hpp"

int main(int argc, char** argv) {
    runlog_command_line(argc, argv);
    const int status = handle_command_line(argc, argv, stdout, stderr);
    if (status == kRunProgram) return run_program();
    if (status == kRunReplicates) {
        const CommandLine& c = command_line;
        lock_folder();
        const int done = run_replicates(ReplicateOptions{c.replicates, c.bootstrap, c.jobs, c.prepare, c.model, c.threads});
        unlock_folder();
        return done;
    }
    if (status == kRunSummarise) {
        if (!summary_folders_usable(command_line.summarise)) return 1;
        lock_folder();
        const int done = run_summarise(command_line.summarise);
        unlock_folder();
        return done;
    }
    return status;
}
