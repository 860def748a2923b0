// Files as wholes: an input read at once and made ready for the readers, a file written
// through a part name that takes the file's name only when it is complete, a file made
// afresh without writing through a link left in its place, and a checksum of what was read.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// The largest input files read: an alignment of 2 GB (the most a sequence table can index),
// and far more than any settings or lin_info file holds.
constexpr size_t kInfileLimit = 2147483647;
constexpr size_t kSettingsLimit = 1 << 20;
constexpr size_t kLinInfoLimit = 256u << 20;
// clockml's dates and calibrations files.
constexpr size_t kDatesLimit = 64u << 20;

// Reads a whole open file into `out`; false on a read error or past `limit` bytes.
bool read_whole_file(FILE* f, std::string& out, size_t limit = static_cast<size_t>(-1));
// Reads the input file `name` whole and readies it for the readers (see
// ready_input_text), or stops the run naming it: a read error with the system's reason, or
// more than `limit` bytes.
void read_input_file(FILE* f, const char* name, size_t limit, std::string& out);
// What an editor may have put around the text that is no part of it: a UTF-8 byte-order
// mark at the start is dropped, and line ends of a lone CR (old Mac files) become LF, so
// that every reader counts lines alike. CRLF is left to the readers, which take it.
void ready_input_text(std::string& text);

// Reads the file at `path` whole; false when it cannot be opened or read.
bool read_text_file(const std::string& path, std::string& text);
// Writes `text` to `path` through the part file `path`.part, which takes the name when
// complete; false (errno set) on failure.
bool write_text_file(const std::string& path, const std::string& text);
// Makes the file `path` afresh for writing (no allocation, so that it serves after memory ran
// out): whatever the name held is removed first, so a
// symbolic or hard link someone left there is never written through, and the new file is
// made only if nothing took the name meanwhile. nullptr with errno set on failure (EISDIR
// when the name is a folder).
FILE* create_file(const char* path);

// FNV-1a over 64 bits of the text: which input a run read, for the run record.
uint64_t text_checksum(const std::string& text);

// What `write(FILE*)` writes, as a string (empty when no memory stream can be had): the
// writers of the reports serve texts that go elsewhere, such as a table or a settings file.
template <class Write>
std::string text_written_by(Write write) {
    char* buf = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&buf, &size);
    if (f == nullptr) return std::string();
    write(f);
    fclose(f);
    std::string text(buf, size);
    free(buf);
    return text;
}
