// The run files in their fixed slot order: the inputs as they are, the reports under part
// names made afresh.
#include "input/run_files.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/file_io.hpp"
#include "base/state.hpp"

namespace {

const char* file_kind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// A report's part file is made afresh (a link left under its name is removed, never
// written through); an input is opened as it is, links included.
bool open_one(FILE*& slot, const char* path, const char* mode, const char* label) {
    errno = 0;
    slot = mode[0] == 'r' ? fopen(path, mode) : create_file(path);
    if (slot == nullptr) {
        printf("Can't open %s: %s\n", label, strerror(errno));
        return false;
    }
    if (mode[0] != 'r') return true;
    // An input must be a file (or a pipe): a folder reads as nothing, and a device such as
    // /dev/zero would be read until memory runs out.
    struct stat st {};
    if (fstat(fileno(slot), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) {
        printf("Can't open %s: it is %s, not a file\n", label, file_kind(st.st_mode));
        fclose(slot);
        slot = nullptr;
        return false;
    }
    return true;
}

}  // namespace

bool open_run_files() {
    return open_one(run_files.infile, "infile", "r", "infile") &&
           open_one(run_files.settings, "settings", "r", "settings") &&
           open_one(run_files.treefile, "treefile.part", "w", "treefile") &&
           open_one(run_files.besttree, "besttree.part", "w", "besttree") &&
           open_one(run_files.results, "results.part", "w", "results") &&
           open_one(run_files.paupfile, "paupfile.nex.part", "w", "paupfile.nex") &&
           open_one(run_files.best_tre, "best.tre.part", "w", "best.tre");
}

bool open_lin_info() { return open_one(run_files.lin_info, "lin_info", "r", "lin_info"); }

