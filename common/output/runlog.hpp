// The run record "runlog": which program and version made the reports of this folder, from
// which command line, input, settings and seeds, on which host, when, and how the run ended.
// It is written as runlog.part while the run goes on and takes its name together with the
// reports, so that the runlog of a folder always describes the reports beside it; a run
// that stops with an error leaves its record in runlog.part, next to its part files.
#pragma once

#include <string>

// The command line as typed, kept from main for the record.
void runlog_command_line(int argc, const char* const* argv);
// Starts the record once the folder is locked: start time, host, folder. From here on an
// exit without runlog_end still finishes the record, as a run stopped by an error.
void runlog_begin();
// The input as read: the format's name, the alignment's size and the file's length.
void runlog_input(const std::string& format, int ntaxa, int nsites, long long bytes);
// An input file as read (infile, settings, lin_info): its checksum goes into the record, so
// that a summary can tell whether the reports beside the record are of the files there now.
void runlog_input_file(const char* name, const std::string& text);
// An optional input of the run folder (such as dates), read whole into `text` up to `limit`
// bytes and recorded like the others; false when the folder has none. A file that is there
// but cannot be read stops the run naming it.
bool read_recorded_input(const char* name, size_t limit, std::string& text);
// The checksums of the inputs read so far, "infile=... settings=...".
const std::string& runlog_input_checksums();
// The runlog line that holds those checksums starts with this label.
constexpr const char* kRunlogChecksumsLabel = "checksums     ";
// The settings values as read, with their meaning, and the seeds they give.
void runlog_settings();
// A line about this run kind (replicates, their count and folders).
void runlog_note(const std::string& line);
// Finishes the record with the exit status; `named` when the reports took their names, so
// that the record takes its own too.
void runlog_end(int status, bool named);
// Forgets the record (tests).
void reset_runlog();
