// The clock test: two ordinary runs in folders of their own, then one report from their
// besttree files and run records.
#include "runs/clock_test.hpp"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/file_io.hpp"
#include "base/interrupt.hpp"
#include "engine/gamma_rates.hpp"
#include "input/settings.hpp"
#include "runs/replicates.hpp"

namespace {

constexpr const char* kClockFolder = "clock-test/clock";
constexpr const char* kFreeFolder = "clock-test/free";

bool fail(const char* fmt, const std::string& a, const std::string& b = "") {
    printf(fmt, a.c_str(), b.c_str());
    printf("\n");
    return false;
}

bool make_folder(const char* path) {
    if (mkdir(path, 0755) == 0 || errno == EEXIST) {
        struct stat st {};
        if (lstat(path, &st) == 0 && S_ISDIR(st.st_mode)) return true;
    }
    return fail("Error: cannot make the folder %s: %s", path, strerror(errno));
}

// Runs `exe` with `args` in `folder`, its console output kept there; its exit status.
int run_in(const char* folder, const std::string& exe, const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const pid_t pid = start_in_folder(folder, exe, argv.data());
    if (pid < 0) return 1;
    // A signal sent to this process alone reaches the run too (once), which then ends its
    // search and writes its reports, as a replicate does. The handlers restart waitpid, so
    // the wait looks every 50 ms.
    int status = 0;
    bool forwarded = false;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno != EINTR)) break;
        if (search_interrupted() && !forwarded) {
            kill(pid, SIGINT);
            forwarded = true;
        }
        usleep(50000);
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The settings text with the value of line `index` (from 1) replaced, its comment kept.
std::string with_value(const std::string& text, int index, const std::string& value) {
    const size_t at = settings_line_start(text, index);
    if (at == std::string::npos) return text;
    const size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    const size_t label_end = line.find_first_of(" \t");
    const size_t value_at = label_end == std::string::npos ? label_end : line.find_first_not_of(" \t", label_end);
    if (value_at == std::string::npos) return text;
    const size_t value_end = line.find_first_of(" \t#", value_at);
    const std::string changed =
        line.substr(0, value_at) + value + (value_end == std::string::npos ? "" : line.substr(value_end));
    return text.substr(0, at) + changed + (end == std::string::npos ? "" : text.substr(end));
}

// The unrooted search takes freeml's recommended settings with the folder's model, gap
// handling and seeds (lines 1, 2, 21 and 22) and its model line, so that only the clock
// differs between the two searches.
std::string free_settings(const std::string& recommended, const std::string& clock) {
    std::string text = recommended;
    for (int index : {1, 2, 21, 22}) text = with_value(text, index, settings_line_value(clock, index));
    for (size_t at = settings_line_start(clock, 23); at != std::string::npos && at < clock.size();) {
        const size_t end = std::min(clock.find('\n', at), clock.size());
        if (end == at) break;
        if (clock[at] != '#') text += clock.substr(at, end - at) + "\n";
        at = end + 1;
    }
    return text;
}

// The best tree's log-likelihood from a run's besttree (listed best first).
bool best_lnl(const char* folder, const char* label, double& lnL) {
    std::string text;
    if (!read_text_file(std::string(folder) + "/besttree", text)) return false;
    const size_t at = text.find(label);
    if (at == std::string::npos) return false;
    char* end = nullptr;
    lnL = strtod(text.c_str() + at + strlen(label), &end);
    return end != text.c_str() + at + strlen(label) && std::isfinite(lnL);
}

// The number of sequences, from the run record's input line.
int sequences_of(const char* folder) {
    std::string log;
    if (!read_text_file(std::string(folder) + "/runlog", log)) return 0;
    const size_t at = log.find("\ninput ");
    if (at == std::string::npos) return 0;
    const size_t colon = log.find("): ", at);
    return colon == std::string::npos ? 0 : atoi(log.c_str() + colon + 3);
}

std::string report_text(double lnL_clock, double lnL_free, int n, bool lin_info) {
    const double statistic = 2.0 * (lnL_free - lnL_clock);
    const int df = n - 2;
    const double p = chi_square_p_value(statistic, df);
    char buf[2048];
    const std::string clock_label = std::string("log-likelihood of the best clock tree (clockml, ") + kClockFolder + "):";
    const std::string free_label = std::string("log-likelihood of the best unrooted tree (freeml, ") + kFreeFolder + "):";
    const std::string df_label = "degrees of freedom, n - 2 (n = " + std::to_string(n) + " sequences):";
    int len = snprintf(buf, sizeof buf,
        "Likelihood-ratio test of a molecular clock\n\n"
        "  %-66s %f\n  %-66s %f\n  %-66s %f\n  %-66s %d\n  %-66s %.4g\n\n",
        clock_label.c_str(), lnL_clock, free_label.c_str(), lnL_free,
        "statistic, 2 (lnL_free - lnL_clock):", statistic, df_label.c_str(), df,
        "p-value (chi-square):", p);
    std::string text(buf, static_cast<size_t>(len));
    if (lin_info)
        text += "The clock tree was fitted with the per-lineage rates of lin_info, so it is no strict "
                "clock;\nthe degrees of freedom above are those of a strict clock.\n";
    if (statistic < 0)
        text += "The unrooted search ended below the clock tree, so at least one search missed its "
                "optimum;\nthe statistic counts as 0 (p = 1). Run longer searches (or --replicates) "
                "before reading the test.\n";
    else if (p < 0.05)
        text += "A molecular clock is rejected at the 5% level: the sequences did not evolve at one "
                "rate.\nThe unrooted tree (freeml) describes them better than a clock tree.\n";
    else
        text += "A molecular clock is not rejected at the 5% level: the clock tree (clockml) fits "
                "the\nsequences as well as an unrooted tree, with fewer parameters.\n";
    return text;
}

// Whether the settings switch the per-lineage rates on (line 16, use_lin_info).
bool uses_lin_info(const std::string& settings) { return settings_line_value(settings, 16) == "1"; }

}  // namespace

double chi_square_p_value(double statistic, int df) {
    if (!(statistic > 0.0) || df < 1) return 1.0;
    return upper_incomplete_gamma(0.5 * df, 0.5 * statistic);
}

int run_clock_test(const std::string& model, int threads) {
    // Ctrl-C reaches both runs, which end with their reports; this one then says so.
    install_interrupt_handlers();
    std::string infile, settings, lin_info;
    if (!read_text_file("infile", infile) || !read_text_file("settings", settings)) {
        printf("Error: the clock test needs infile and settings in this folder\n");
        return 1;
    }
    const bool has_lin_info = read_text_file("lin_info", lin_info);
    const std::string exe = own_executable();
    const std::string free_exe = exe.substr(0, exe.rfind('/') + 1) + "freeml";
    if (exe.empty() || access(free_exe.c_str(), X_OK) != 0) {
        printf("Error: the clock test runs freeml, which should stand beside clockml (%s)\n", free_exe.c_str());
        return 1;
    }
    if (!make_folder("clock-test") || !make_folder(kClockFolder) || !make_folder(kFreeFolder)) return 1;
    const std::string c = kClockFolder, f = kFreeFolder;
    if (!write_text_file(c + "/infile", infile) || !write_text_file(c + "/settings", settings) ||
        (has_lin_info && !write_text_file(c + "/lin_info", lin_info)) || !write_text_file(f + "/infile", infile)) {
        printf("Error: cannot write the inputs of the clock test: %s\n", strerror(errno));
        return 1;
    }
    unlink((f + "/settings").c_str());
    std::string recommended;
    if (run_in(kFreeFolder, free_exe, {"freeml", "--write-settings"}) != 0 ||
        !read_text_file(f + "/settings", recommended) ||
        !write_text_file(f + "/settings", free_settings(recommended, settings))) {
        printf("Error: cannot write the settings of %s\n", kFreeFolder);
        return 1;
    }
    std::vector<std::string> options;
    if (threads > 0) options = {"--threads", std::to_string(threads)};
    if (!model.empty()) options.insert(options.end(), {"--model", model});
    const struct { const char* folder; std::string exe; const char* name; const char* label; } runs[] = {
        {kClockFolder, exe, "clockml", "Max ln L for tree:"},
        {kFreeFolder, free_exe, "freeml", "ln L at first hit:"}};
    double lnL[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        printf("  %s search in %s ...\n", runs[i].name, runs[i].folder);
        std::vector<std::string> args = {runs[i].name};
        args.insert(args.end(), options.begin(), options.end());
        const int status = run_in(runs[i].folder, runs[i].exe, args);
        if (status != 0 || search_interrupted()) {
            printf("Error: the %s search in %s ended with status %d (see its console and runlog)\n",
                   runs[i].name, runs[i].folder, status);
            return search_interrupted() ? interrupted_exit_status() : status >= 128 ? status : 1;
        }
        if (!best_lnl(runs[i].folder, runs[i].label, lnL[i])) {
            printf("Error: %s/besttree gives no log-likelihood\n", runs[i].folder);
            return 1;
        }
    }
    const std::string text = report_text(lnL[0], lnL[1], sequences_of(kClockFolder), has_lin_info && uses_lin_info(settings));
    if (!write_text_file("clocktest", text)) {
        printf("Error: cannot write clocktest: %s\n", strerror(errno));
        return 1;
    }
    printf("\n%s", text.c_str());
    return 0;
}
