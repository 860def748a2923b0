// The run record. Its sections are gathered as the run learns them and the whole file is
// written again at each step, so that a run killed outright still leaves what it knew. The
// closing write may come from an exit after a failed allocation, so it uses only stdio and
// the texts already held.
#include "output/runlog.hpp"

#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/error_record.hpp"
#include "base/fatal.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "input/settings.hpp"

namespace {

constexpr const char* kRunlogName = "runlog";
constexpr const char* kRunlogPart = "runlog.part";

struct RunLog {
    bool begun = false;
    bool ended = false;
    std::string command;
    std::string head;      // program, version, command line, host, folder, start
    std::string input;     // the input line
    std::string checksums; // "name=hex" of each input file read
    std::string settings;  // the settings block and the seeds
    std::string notes;     // lines of other run kinds
    timespec start{};
};
RunLog g_log;

// A word of the command line as a shell would need it typed again.
std::string shell_word(const char* w) {
    if (*w != '\0' && strspn(w, "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789"
                                "-_./=:+,@%") == strlen(w))
        return w;
    std::string q = "'";
    for (const char* c = w; *c != '\0'; ++c) q += *c == '\'' ? std::string("'\\''") : std::string(1, *c);
    return q + "'";
}

void format_time(const timespec& t, char* buf, size_t size) {
    tm local{};
    const time_t secs = t.tv_sec;
    localtime_r(&secs, &local);
    if (strftime(buf, size, "%Y-%m-%d %H:%M:%S %z", &local) == 0) snprintf(buf, size, "?");
}

const char* status_meaning(int status) {
    if (status == 0) return "the run is complete";
    if (status == 128 + 2) return "interrupted by SIGINT (Ctrl-C); the reports hold the search up to then";
    if (status == 128 + 15) return "interrupted by SIGTERM; the reports hold the search up to then";
    return "the run stopped with an error";
}

// Writes the whole record; `status` < 0 while the run goes on.
bool write_record(int status, bool named) {
    FILE* f = create_file(kRunlogPart);
    if (f == nullptr) return false;
    fputs(g_log.head.c_str(), f);
    fputs(g_log.input.c_str(), f);
    if (!g_log.checksums.empty())
        fprintf(f, "%s%s (FNV-1a, 64 bits, of the files as read; a summary of this folder checks "
                "them against the files beside this record)\n", kRunlogChecksumsLabel,
                g_log.checksums.c_str());
    fputs(g_log.notes.c_str(), f);
    fputs(g_log.settings.c_str(), f);
    if (status < 0) {
        fputs("ended         not yet (or the process was killed before it could say)\n", f);
    } else {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        char when[64];
        format_time(now, when, sizeof when);
        const double secs = static_cast<double>(now.tv_sec - g_log.start.tv_sec) +
                            1e-9 * static_cast<double>(now.tv_nsec - g_log.start.tv_nsec);
        fprintf(f, "ended         %s, after %.1f s of wall-clock time\n", when, secs);
        fprintf(f, "exit status   %d: %s\n", status, status_meaning(status));
        if (recorded_error()[0] != '\0')
            fprintf(f, "error         %s\n", recorded_error());
        else if (status != 0 && status < 128)
            fputs("error         its message went to standard output\n", f);
        if (named)
            fputs("reports       written: this record goes with the reports beside it\n", f);
        else
            fputs("reports       not written: the reports of an earlier run, if any, and its "
                  "runlog are left as they were\n", f);
    }
    const bool ok = ferror(f) == 0;
    if (fclose(f) != 0 || !ok) return false;
    return !named || rename(kRunlogPart, kRunlogName) == 0;
}

void record_at_exit() {
    if (!g_log.begun || g_log.ended) return;
    g_log.ended = true;
    // Every exit that is not the run's own end is an error's (status 1).
    write_record(1, false);
}

}  // namespace

void runlog_command_line(int argc, const char* const* argv) {
    g_log.command.clear();
    for (int i = 0; i < argc; ++i) {
        if (i > 0) g_log.command += ' ';
        g_log.command += shell_word(argv[i]);
    }
}

void runlog_begin() {
    if (g_log.begun) return;
    clock_gettime(CLOCK_REALTIME, &g_log.start);
    char when[64];
    format_time(g_log.start, when, sizeof when);
    char host[256] = "?";
    if (gethostname(host, sizeof host) != 0) snprintf(host, sizeof host, "?");
    host[sizeof host - 1] = '\0';
    utsname os{};
    char system[600] = "";
    if (uname(&os) == 0) snprintf(system, sizeof system, " (%s %s, %s)", os.sysname, os.release, os.machine);
    char folder[PATH_MAX];
    if (getcwd(folder, sizeof folder) == nullptr) snprintf(folder, sizeof folder, "?");
    std::string version = program.version_line;
    if (!version.empty() && version.back() == '\n') version.pop_back();

    g_log.head = std::string("Run record of ") + program.name + "\n\n";
    g_log.head += "version       " + version + "\n";
    g_log.head += "command       " + (g_log.command.empty() ? std::string(program.name) : g_log.command) + "\n";
    g_log.head += "folder        " + std::string(folder) + "\n";
    g_log.head += "host          " + std::string(host) + system + "\n";
    g_log.head += "started       " + std::string(when) + "\n";
    g_log.begun = true;
    static bool registered = false;
    if (!registered) registered = atexit(record_at_exit) == 0;
    write_record(-1, false);
}

void runlog_input(const std::string& format, int ntaxa, int nsites, long long bytes) {
    if (!g_log.begun) return;
    char line[256];
    snprintf(line, sizeof line, "input         infile (%lld bytes): %d sequences, %d sites, ", bytes,
             ntaxa, nsites);
    g_log.input = line + format + "\n";
    write_record(-1, false);
}

void runlog_input_file(const char* name, const std::string& text) {
    if (!g_log.begun) return;
    char entry[128];
    snprintf(entry, sizeof entry, "%s%s=%016llx", g_log.checksums.empty() ? "" : " ", name,
             static_cast<unsigned long long>(text_checksum(text)));
    g_log.checksums += entry;
}

const std::string& runlog_input_checksums() { return g_log.checksums; }

void runlog_note(const std::string& line) {
    if (!g_log.begun) return;
    g_log.notes += line + "\n";
    write_record(-1, false);
}

void runlog_settings() {
    if (!g_log.begun) return;
    char* text = nullptr;
    size_t size = 0;
    FILE* f = open_memstream(&text, &size);
    if (f == nullptr) return;
    write_settings_text(f, settings);
    fclose(f);
    char line[256];
    snprintf(line, sizeof line,
             "seeds         seed1 %d, seed2 %d: they start the search's generator and, through "
             "two of its draws, the starting tree's\n",
             settings.seed1, settings.seed2);
    g_log.settings = line;
    g_log.settings += "settings      as read from the file settings, each with its meaning:\n";
    // Indented under the heading; the lines themselves read back as a settings file.
    for (const char* p = text; *p != '\0';) {
        const char* eol = strchr(p, '\n');
        const size_t len = eol != nullptr ? static_cast<size_t>(eol - p) : strlen(p);
        g_log.settings += "  " + std::string(p, len) + "\n";
        p += len + (eol != nullptr ? 1 : 0);
    }
    free(text);
    write_record(-1, false);
}

void runlog_end(int status, bool named) {
    if (!g_log.begun || g_log.ended) return;
    g_log.ended = true;
    if (!write_record(status, named))
        printf("Warning: the run record %s could not be written: %s\n", named ? kRunlogName : kRunlogPart,
               strerror(errno));
}

void reset_runlog() {
    const std::string command = g_log.command;
    g_log = RunLog{};
    g_log.command = command;
    clear_recorded_error();
}

bool read_recorded_input(const char* name, size_t limit, std::string& text) {
    if (access(name, F_OK) != 0) return false;
    FILE* f = fopen(name, "r");
    if (f == nullptr) input_error(name, 0, "cannot be read");
    read_input_file(f, name, limit, text);
    fclose(f);
    runlog_input_file(name, text);
    return true;
}
