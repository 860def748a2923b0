// The main flow shared by both programs: run files to reports.
#pragma once

int run_program();

