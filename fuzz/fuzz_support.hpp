// What the fuzz targets share: the stop signal of the fatal stand-ins and the set-up of
// the process-wide records for one input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Thrown by the fuzz build's fatal routines where the programs would exit with status 1.
struct FuzzStop {};

// Once per process: results goes to /dev/null, standard output too.
void fuzz_init();
// Before each input: clean records, results still open on /dev/null.
void fuzz_reset();
// The input as text, readied as a run readies a file it reads (byte-order mark, CR line ends).
std::string fuzz_text(const uint8_t* data, size_t size);
