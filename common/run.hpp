// The main flow shared by both programs: run files to reports.
#pragma once

int run_program();

// Installed as the allocation-failure handler of a run: "Can't allocate MemAlloc\n" on
// standard output, exit status 1.
void allocation_failed();
