// Replicate searches: R runs of the program on the same alignment and settings, each with
// seeds derived from the settings seeds and in its own folder rep-001 ..., J at a time as
// child processes; then a summary, and the best replicate's reports copied into the folder.
// Every replicate is an ordinary run, so its reports are those of a plain run with its
// seeds, and nothing in the summary depends on the order in which replicates finish.
#include "replicates.hpp"

#include <fcntl.h>
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
#include <set>
#include <string>
#include <vector>

#include "cli.hpp"
#include "fatal.hpp"
#include "folder_lock.hpp"
#include "interrupt.hpp"
#include "program.hpp"
#include "rng.hpp"
#include "runlog.hpp"
#include "settings.hpp"

namespace {

struct Replicate {
    std::string folder;
    int seed1 = 0, seed2 = 0;
    pid_t pid = -1;
    int status = -1;  // exit status; -1 while not run
    double seconds = 0;
    double lnL = 0;
    bool has_tree = false;
    std::set<std::string> splits;
};

double now_seconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

bool read_file(const std::string& path, std::string& text) {
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) return false;
    const bool ok = read_whole_file(f, text);
    fclose(f);
    return ok;
}

// Writes `text` to `path` through a part file that takes the name when complete.
bool write_file(const std::string& path, const std::string& text) {
    const std::string part = path + ".part";
    FILE* f = fopen(part.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    if (fclose(f) != 0 || !ok) return false;
    return rename(part.c_str(), path.c_str()) == 0;
}

[[noreturn]] void replicate_error(const char* fmt, const std::string& a, const char* why) {
    char message[600];
    snprintf(message, sizeof message, fmt, a.c_str(), why);
    printf("%s\n", message);
    runlog_error(message);
    exit(1);
}

// ---------------------------------------------------------------------------------------
// Splits of the best tree of a report

// The leaf sets below the internal nodes of a Newick tree, as strings of '0'/'1' over the
// taxa in sorted order. Unrooted trees give each split the side without the first taxon;
// rooted ones keep their clades. Trivial splits are left out.
bool newick_splits(const std::string& text, bool rooted, std::set<std::string>& out) {
    std::vector<std::string> names;
    std::vector<std::vector<int>> members(1);  // the open groups, innermost last
    std::vector<std::vector<int>> groups;
    std::vector<std::string> leaf_names;
    size_t i = 0;
    const auto name_char = [](char c) {
        return std::strchr("(),:;", c) == nullptr && c != ' ' && c != '\n' && c != '\r';
    };
    while (i < text.size() && text[i] != ';') {
        const char c = text[i];
        if (c == '(') {
            members.emplace_back();
            ++i;
        } else if (c == ')') {
            if (members.size() < 2) return false;
            std::vector<int> g = members.back();
            members.pop_back();
            members.back().insert(members.back().end(), g.begin(), g.end());
            groups.push_back(g);
            ++i;
        } else if (c == ':') {
            ++i;
            while (i < text.size() && std::strchr("0123456789.eE+-", text[i]) != nullptr) ++i;
        } else if (c == ',' || c == ' ') {
            ++i;
        } else if (name_char(c)) {
            const size_t start = i;
            while (i < text.size() && name_char(text[i])) ++i;
            leaf_names.push_back(text.substr(start, i - start));
            members.back().push_back(static_cast<int>(leaf_names.size()) - 1);
        } else {
            return false;
        }
    }
    if (members.size() != 1 || leaf_names.size() < 3) return false;
    std::vector<std::string> sorted = leaf_names;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    std::vector<size_t> rank(n);
    for (size_t k = 0; k < n; ++k)
        rank[k] = static_cast<size_t>(std::lower_bound(sorted.begin(), sorted.end(),
                                                       leaf_names[k]) - sorted.begin());
    for (const std::vector<int>& g : groups) {
        std::string bits(n, '0');
        for (int leaf : g) bits[rank[static_cast<size_t>(leaf)]] = '1';
        if (!rooted && bits[0] == '1')
            for (char& b : bits) b = b == '1' ? '0' : '1';
        const size_t size = static_cast<size_t>(std::count(bits.begin(), bits.end(), '1'));
        const size_t largest = rooted ? n - 1 : n - 2;
        if (size >= 2 && size <= largest) out.insert(bits);
    }
    return true;
}

// The best log-likelihood (the first one listed, best first) and the best tree's splits.
void read_replicate_result(Replicate& r, bool rooted) {
    std::string besttree, treefile;
    if (!read_file(r.folder + "/besttree", besttree) || !read_file(r.folder + "/treefile", treefile))
        return;
    const char* label = rooted ? "Max ln L for tree:" : "ln L at first hit:";
    const size_t at = besttree.find(label);
    if (at == std::string::npos) return;
    r.lnL = strtod(besttree.c_str() + at + strlen(label), nullptr);
    const char* heading = "The best tree and branch lengths found by the algorithm:";
    size_t t = treefile.find(heading);
    if (t == std::string::npos) return;
    t = treefile.find('(', t);
    if (t == std::string::npos) return;
    r.has_tree = newick_splits(treefile.substr(t), rooted, r.splits);
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

std::string own_executable() {
    char buf[PATH_MAX];
    const ssize_t len = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (len <= 0) return std::string();
    return std::string(buf, static_cast<size_t>(len));
}

void prepare_folder(const Replicate& r, const std::string& infile, const std::string* lin_info,
                    const Settings& base) {
    if (mkdir(r.folder.c_str(), 0755) != 0 && errno != EEXIST)
        replicate_error("Error: cannot make the folder %s: %s", r.folder, strerror(errno));
    Settings s = base;
    s.seed1 = r.seed1;
    s.seed2 = r.seed2;
    const std::string path = r.folder + "/settings";
    FILE* f = fopen(path.c_str(), "w");
    if (f == nullptr) replicate_error("Error: cannot write %s: %s", path, strerror(errno));
    write_settings_text(f, s);
    if (fclose(f) != 0) replicate_error("Error: cannot write %s: %s", path, strerror(errno));
    if (!write_file(r.folder + "/infile", infile))
        replicate_error("Error: cannot write %s: %s", r.folder + "/infile", strerror(errno));
    if (lin_info != nullptr && !write_file(r.folder + "/lin_info", *lin_info))
        replicate_error("Error: cannot write %s: %s", r.folder + "/lin_info", strerror(errno));
}

pid_t start_replicate(const Replicate& r, const std::string& exe) {
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid != 0) return pid;
    // The child: an ordinary run in the replicate's folder, its console output kept there.
    if (chdir(r.folder.c_str()) != 0) _exit(1);
    const int fd = open("console", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    }
    execl(exe.c_str(), program.name, static_cast<char*>(nullptr));
    _exit(127);
}

int default_jobs() {
    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    return cores > 0 ? static_cast<int>(cores) : 1;
}

void run_all(std::vector<Replicate>& reps, int jobs, const std::string& exe) {
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
            reps[next].pid = start_replicate(reps[next], exe);
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
            reps[k].seconds = now_seconds() - started[k];
            printf("  %s ended with status %d after %.2f s\n", reps[k].folder.c_str(),
                   reps[k].status, reps[k].seconds);
            fflush(stdout);
            --running;
        }
    }
}

std::string summary_text(const std::vector<Replicate>& reps, int best) {
    std::string s;
    char line[256];
    snprintf(line, sizeof line, "Replicate searches of %s: %zu requested\n\n", program.name,
             reps.size());
    s += line;
    s += "replicate  seed1       seed2       status        best lnL  splits from the best tree\n";
    int found = 0, finished = 0;
    const Replicate* top = best >= 0 ? &reps[static_cast<size_t>(best)] : nullptr;
    for (const Replicate& r : reps) {
        if (r.status < 0) {
            snprintf(line, sizeof line, "%-10s %-11d %-11d not run\n", r.folder.c_str(), r.seed1,
                     r.seed2);
            s += line;
            continue;
        }
        const char* state = r.status == 0 ? "complete" : r.status >= 128 ? "interrupted" : "failed";
        if (!r.has_tree) {
            snprintf(line, sizeof line, "%-10s %-11d %-11d %-11s\n", r.folder.c_str(), r.seed1,
                     r.seed2, state);
            s += line;
            continue;
        }
        ++finished;
        size_t apart = 0;
        for (const std::string& split : top->splits) apart += r.splits.count(split) == 0 ? 1 : 0;
        if (apart == 0 && r.splits.size() == top->splits.size()) ++found;
        snprintf(line, sizeof line, "%-10s %-11d %-11d %-11s %12.6f  %zu\n", r.folder.c_str(),
                 r.seed1, r.seed2, state, r.lnL, apart);
        s += line;
    }
    s += "\n";
    if (top != nullptr) {
        snprintf(line, sizeof line,
                 "The best tree is that of %s (lnL %.6f); %d of the %d replicates with a tree "
                 "found its topology.\nIts reports are copied into this folder.\n",
                 top->folder.c_str(), top->lnL, found, finished);
        s += line;
    } else {
        s += "No replicate wrote a best tree.\n";
    }
    return s;
}

}  // namespace

int run_replicates() {
    lock_folder();
    runlog_begin();
    const int count = command_line.replicates;
    const int jobs = command_line.jobs > 0 ? command_line.jobs : default_jobs();

    std::string settings_text, infile, lin_info;
    FILE* f = fopen("settings", "r");
    if (f == nullptr) replicate_error("Can't open %s: %s", "settings", strerror(errno));
    read_input_file(f, "settings", kSettingsLimit, settings_text);
    fclose(f);
    parse_settings(settings_text);
    const Settings base = settings;
    if (!read_file("infile", infile)) replicate_error("Can't open %s: %s", "infile", strerror(errno));
    runlog_note("input         infile (" + std::to_string(infile.size()) +
                " bytes), copied into every replicate's folder");
    char note[160];
    snprintf(note, sizeof note,
             "replicates    %d searches, %d at a time, in rep-001 to rep-%03d (each with its own "
             "runlog); their seeds derive from those below, which replicate 1 has", count, jobs, count);
    runlog_note(note);
    runlog_settings();
    const bool has_lin_info = program.has_lin_info && read_file("lin_info", lin_info);
    const std::string exe = own_executable();
    if (exe.empty()) replicate_error("Error: cannot find %s%s", program.name, " (no /proc/self/exe)");

    std::vector<Replicate> reps(static_cast<size_t>(count));
    for (int r = 1; r <= count; ++r) {
        Replicate& rep = reps[static_cast<size_t>(r - 1)];
        char name[16];
        snprintf(name, sizeof name, "rep-%03d", r);
        rep.folder = name;
        derive_seeds(r, base.seed1, base.seed2, rep.seed1, rep.seed2);
        prepare_folder(rep, infile, has_lin_info ? &lin_info : nullptr, base);
    }
    printf("\n %s: %d replicate searches, %d at a time\n", program.name, count, jobs);
    install_interrupt_handlers();
    run_all(reps, jobs, exe);

    const bool rooted = !program.unrooted_newick;
    int best = -1;
    for (size_t k = 0; k < reps.size(); ++k) {
        read_replicate_result(reps[k], rooted);
        if (reps[k].has_tree && (best < 0 || reps[k].lnL > reps[static_cast<size_t>(best)].lnL))
            best = static_cast<int>(k);
    }
    bool ok = write_file("replicates", summary_text(reps, best));
    if (best >= 0)
        for (const char* report : {"results", "besttree", "treefile", "paupfile.nex", "best.tre"}) {
            std::string text;
            ok = read_file(reps[static_cast<size_t>(best)].folder + "/" + report, text) &&
                 write_file(report, text) && ok;
        }
    if (!ok) printf("Error writing the summary or the best replicate's reports: %s\n", strerror(errno));
    int status = 0;
    if (!ok)
        status = 1;
    else if (search_interrupted())
        status = interrupted_exit_status();
    else
        for (const Replicate& r : reps)
            if (r.status != 0 && status == 0) {
                status = 1;
                runlog_error((r.folder + " ended with status " + std::to_string(r.status) +
                              "; its console file says why").c_str());
            }
    runlog_end(status, ok);
    unlock_folder();
    return status;
}
