#include <cstdio>

#include "cli.hpp"
#include "replicates.hpp"
#include "run.hpp"
#include "runlog.hpp"
#include "summary.hpp"

int main(int argc, char** argv) {
    runlog_command_line(argc, argv);
    const int status = handle_command_line(argc, argv, stdout, stderr);
    if (status == kRunReplicates) return run_replicates();
    if (status == kRunSummarise) return run_summarise();
    if (status != kRunProgram) return status;
    return run_program();
}
