// Replicate searches and bootstrap replicates: R runs of the program on the same alignment
// and settings in folders rep-001 ..., and B runs on resampled sites in folders boot-001 ...,
// each with seeds derived from the settings seeds, J at a time as child processes; then the
// summary of summary.cpp. Every run is an ordinary one (a bootstrap replicate with
// --resample), so its reports are those of a plain run with its seeds, and nothing in the
// summary depends on the order in which the runs finish.
#include "runs/replicates.hpp"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "base/error_record.hpp"
#include "base/fatal.hpp"
#include "base/file_io.hpp"
#include "base/interrupt.hpp"
#include "base/program_info.hpp"
#include "base/rng.hpp"
#include "base/state.hpp"
#include "base/thread_pool.hpp"
#include "input/settings.hpp"
#include "output/runlog.hpp"
#include "runs/summary.hpp"

namespace {

struct Replicate {
    std::string folder;
    bool boot = false;  // a bootstrap replicate, run with --resample
    int seed1 = 0, seed2 = 0;
    pid_t pid = -1;
    int status = -1;  // exit status; -1 while not run
};

double now_seconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

[[noreturn]] void replicate_error(const char* fmt, const std::string& a, const char* why) {
    char message[600];
    snprintf(message, sizeof message, fmt, a.c_str(), why);
    printf("%s\n", message);
    record_error(message);
    exit(1);
}

// ---------------------------------------------------------------------------------------
// Running

// Replicate r (from 1) starts from the settings seeds moved on by r - 1 steps of two large
// primes within the generator's ranges; replicate 1 has the settings seeds themselves.
void derive_seeds(int r, int seed1, int seed2, int& out1, int& out2) {
    const long long step = r - 1;
    out1 = static_cast<int>(1 + (seed1 - 1 + step * 1000003LL) % kSeed1Max);
    out2 = static_cast<int>(1 + (seed2 - 1 + step * 1000033LL) % kSeed2Max);
}

// Bootstrap replicate b (from 1) moves the settings seeds on by b steps of two other primes,
// so that its seeds do not depend on how many replicate searches run beside it; they start
// both its site draw and its search.
void derive_bootstrap_seeds(int b, int seed1, int seed2, int& out1, int& out2) {
    out1 = static_cast<int>(1 + (seed1 - 1 + b * 1000039LL) % kSeed1Max);
    out2 = static_cast<int>(1 + (seed2 - 1 + b * 1000081LL) % kSeed2Max);
}

void prepare_folder(const Replicate& r, const std::string& infile, const std::string* lin_info,
                    const std::string* dates, const std::string* calibrations, const Settings& base) {
    if (mkdir(r.folder.c_str(), 0755) != 0 && errno != EEXIST)
        replicate_error("Error: cannot make the folder %s: %s", r.folder, strerror(errno));
    // The runs write only into folders of their own, never through a link to another place.
    struct stat st {};
    if (lstat(r.folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        replicate_error("Error: cannot use the folder %s: %s", r.folder,
                        S_ISLNK(st.st_mode) ? "it is a symbolic link, and the searches write only into "
                                              "folders of their own"
                                            : "it is not a folder");
    Settings s = base;
    s.seed1 = r.seed1;
    s.seed2 = r.seed2;
    const std::string path = r.folder + "/settings";
    FILE* f = create_file(path.c_str());
    if (f == nullptr) replicate_error("Error: cannot write %s: %s", path, strerror(errno));
    write_settings_text(f, s);
    if (fclose(f) != 0) replicate_error("Error: cannot write %s: %s", path, strerror(errno));
    if (!write_text_file(r.folder + "/infile", infile))
        replicate_error("Error: cannot write %s: %s", r.folder + "/infile", strerror(errno));
    if (lin_info != nullptr && !write_text_file(r.folder + "/lin_info", *lin_info))
        replicate_error("Error: cannot write %s: %s", r.folder + "/lin_info", strerror(errno));
    if (dates != nullptr && !write_text_file(r.folder + "/dates", *dates))
        replicate_error("Error: cannot write %s: %s", r.folder + "/dates", strerror(errno));
    if (calibrations != nullptr && !write_text_file(r.folder + "/calibrations", *calibrations))
        replicate_error("Error: cannot write %s: %s", r.folder + "/calibrations", strerror(errno));
}

pid_t start_replicate(const Replicate& r, const std::string& exe, const ReplicateOptions& o, int threads) {
    const std::string thread_count = std::to_string(threads);
    const std::string every = std::to_string(o.checkpoint_every);
    std::vector<const char*> args = {program.name, "--threads", thread_count.c_str(),
                                     "--checkpoint-every", every.c_str()};
    const std::string alrt = std::to_string(o.alrt);
    if (r.boot) args.push_back("--resample");
    if (o.resume) args.push_back("--resume");
    if (!r.boot && o.alrt > 0) {
        args.push_back("--alrt");
        args.push_back(alrt.c_str());
    }
    if (!r.boot && o.abayes) args.push_back("--abayes");
    if (o.dates_from_names) args.push_back("--dates-from-names");
    args.push_back(nullptr);
    return start_in_folder(r.folder, exe, args.data());
}

void run_all(std::vector<Replicate>& reps, const ReplicateOptions& o, int jobs, int threads, const std::string& exe) {
    size_t next = 0;
    int running = 0;
    bool forwarded = false;
    std::vector<double> started(reps.size(), 0.0);
    while (next < reps.size() || running > 0) {
        if (search_interrupted() && !forwarded) {
            // A signal sent to this process alone reaches the replicates too; each ends its
            // search and writes its reports.
            for (const Replicate& r : reps)
                if (r.pid > 0 && r.status < 0) kill(r.pid, SIGINT);
            forwarded = true;
        }
        while (!search_interrupted() && running < jobs && next < reps.size()) {
            started[next] = now_seconds();
            reps[next].pid = start_replicate(reps[next], exe, o, threads);
            if (reps[next].pid < 0)
                replicate_error("Error: cannot start %s: %s", reps[next].folder, strerror(errno));
            ++running;
            ++next;
        }
        if (running == 0) break;
        int status = 0;
        const pid_t done = waitpid(-1, &status, WNOHANG);
        if (done <= 0) {
            usleep(20000);
            continue;
        }
        for (size_t k = 0; k < reps.size(); ++k) {
            if (reps[k].pid != done) continue;
            reps[k].status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            printf("  %s ended with status %d after %.2f s\n", reps[k].folder.c_str(),
                   reps[k].status, now_seconds() - started[k]);
            fflush(stdout);
            --running;
        }
    }
}

}  // namespace

pid_t start_in_folder(const std::string& folder, const std::string& exe, const char* const* argv) {
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: an ordinary run in its folder, its console output kept there.
    if (chdir(folder.c_str()) != 0) _exit(1);
    FILE* console = create_file("console");
    if (console != nullptr) {
        dup2(fileno(console), 1);
        dup2(fileno(console), 2);
        fclose(console);
    }
    execv(exe.c_str(), const_cast<char* const*>(argv));
    _exit(127);
}

std::string own_executable() {
    char buf[PATH_MAX];
    const ssize_t len = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (len <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(len));
}


int run_replicates(const ReplicateOptions& options) {
    runlog_begin();
    const int count = options.replicates > 0 ? options.replicates : 1;
    const int boots = options.bootstrap;
    const int jobs = options.jobs > 0 ? options.jobs : available_cores();

    std::string settings_text, infile, lin_info, dates, calibrations;
    FILE* f = fopen("settings", "r");
    if (f == nullptr) replicate_error("Can't open %s: %s", "settings", strerror(errno));
    read_input_file(f, "settings", kSettingsLimit, settings_text);
    fclose(f);
    parse_settings(settings_text);
    take_model_option(options.model);
    const Settings base = settings;
    if (!read_text_file("infile", infile)) replicate_error("Can't open %s: %s", "infile", strerror(errno));
    runlog_note("input         infile (" + std::to_string(infile.size()) +
                " bytes), copied into every replicate's folder");
    const bool has_lin_info = program.has_lin_info && read_text_file("lin_info", lin_info);
    const bool has_dates = program.has_lin_info && read_text_file("dates", dates);
    const bool has_calibrations = program.has_lin_info && read_text_file("calibrations", calibrations);
    const std::string exe = own_executable();
    if (exe.empty()) replicate_error("Error: cannot find %s%s", program.name, " (no /proc/self/exe)");

    std::vector<Replicate> reps;
    for (int r = 1; r <= count; ++r) {
        Replicate rep;
        char name[16];
        snprintf(name, sizeof name, "rep-%03d", r);
        rep.folder = name;
        derive_seeds(r, base.seed1, base.seed2, rep.seed1, rep.seed2);
        reps.push_back(rep);
    }
    const int width = boots >= 1000 ? 4 : 3;
    for (int b = 1; b <= boots; ++b) {
        Replicate rep;
        char name[16];
        snprintf(name, sizeof name, "boot-%0*d", width, b);
        rep.folder = name;
        rep.boot = true;
        derive_bootstrap_seeds(b, base.seed1, base.seed2, rep.seed1, rep.seed2);
        reps.push_back(rep);
    }
    char note[240];
    snprintf(note, sizeof note,
             "replicates    %d search%s (rep-001 ...) and %d bootstrap replicate%s (boot-...), %d at a "
             "time, each folder with its own runlog; their seeds derive from those below",
             count, count == 1 ? "" : "es", boots, boots == 1 ? "" : "s", jobs);
    runlog_note(note);
    runlog_settings();
    for (const Replicate& rep : reps) prepare_folder(rep, infile, has_lin_info ? &lin_info : nullptr, has_dates ? &dates : nullptr,
                                                     has_calibrations ? &calibrations : nullptr, base);
    if (options.prepare) {
        printf("\n %s: wrote the folders of %d search%s and %d bootstrap replicate%s; run %s in "
               "each (with --resample in boot-*), then %s --summarise\n",
               program.name, count, count == 1 ? "" : "es", boots, boots == 1 ? "" : "s",
               program.name, program.name);
        runlog_end(0, true);
        return 0;
    }
    printf("\n %s: %d search%s and %d bootstrap replicate%s, %d at a time\n", program.name, count,
           count == 1 ? "" : "es", boots, boots == 1 ? "" : "s", jobs);
    install_interrupt_handlers();
    // Each search gets its share of the cores, unless the threads were asked for.
    const int threads = options.threads > 0 ? options.threads : std::max(1, available_cores() / jobs);
    run_all(reps, options, jobs, threads, exe);

    std::vector<std::string> folders;
    std::vector<int> statuses;
    for (const Replicate& rep : reps) {
        folders.push_back(rep.folder);
        statuses.push_back(rep.status);
    }
    int status = summarise_folders(folders, statuses);
    // Folders left unrun by the interruption are no failure of their own.
    if (search_interrupted()) status = interrupted_exit_status();
    runlog_end(status, true);
    return status;
}
