// The run files in their fixed slot order.
#pragma once

// Opens the run files in slot order (infile, settings, treefile, besttree, results, then
// paupfile.nex, best.tre). lin_info is opened separately, after the settings are known. On failure
// prints "Can't open <file>: <reason>\n" and returns false; an input that is a folder or
// a device (anything but a file or a pipe) fails to open.
bool open_run_files();
// clockml with use_lin_info 1: opens lin_info; on failure "Can't open lin_info: ...", false.
bool open_lin_info();
