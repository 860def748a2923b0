#include <cstdio>

#include "cli.hpp"
#include "run.hpp"

int main(int argc, char** argv) {
    const int status = handle_command_line(argc, argv, stdout, stderr);
    if (status != kRunProgram) return status;
    return run_program();
}
