#include <cstdio>

#include "app/cli.hpp"
#include "runs/replicates.hpp"
#include "app/run.hpp"
#include "output/runlog.hpp"
#include "runs/summary.hpp"

int main(int argc, char** argv) {
    runlog_command_line(argc, argv);
    const int status = handle_command_line(argc, argv, stdout, stderr);
    if (status == kRunReplicates) return run_replicates();
    if (status == kRunSummarise) return run_summarise();
    if (status != kRunProgram) return status;
    return run_program();
}
