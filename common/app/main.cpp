// The programs' entry: the command line decides between a run in this folder, replicate
// and bootstrap searches in folders of their own, and the summary of folders that have run;
// with -s FILE the program first makes its folder from the alignment and ends with a summary.
// Every kind that writes here holds the folder's lock while it does.
#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/cli.hpp"
#include "app/folder_lock.hpp"
#include "app/model_test.hpp"
#include "app/run.hpp"
#include "app/run_folder.hpp"
#include "app/score_run.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "base/timer.hpp"
#include "output/runlog.hpp"
#include "runs/clock_test.hpp"
#include "runs/replicates.hpp"
#include "runs/summary.hpp"

namespace {

// A path as seen from here, so that it still names the file after the program enters the
// run folder (unchanged when it does not exist: the reader then names it as given).
std::string absolute_path(const std::string& path) {
    char buf[PATH_MAX];
    return realpath(path.c_str(), buf) != nullptr ? std::string(buf) : path;
}

// --dates FILE, --calibrations FILE: the file becomes the folder's 'dates' or
// 'calibrations', so that the folder says how its tree was dated and a later run there (a
// resumed one, a replicate) reads the same. A different file already there is never replaced.
bool place_folder_file(const char* option, const char* file, const std::string& path, const std::string& named) {
    std::string text, there;
    if (!read_text_file(path, text)) {
        fprintf(stderr, "%s: %s %s: cannot read it\n", program.name, option, named.c_str());
        return false;
    }
    if (read_text_file(file, there)) {
        if (there == text) return true;
        fprintf(stderr, "%s: %s %s: this folder has a different '%s' file; remove it or "
                "leave out %s\n", program.name, option, named.c_str(), file, option);
        return false;
    }
    if (!write_text_file(file, text)) {
        fprintf(stderr, "%s: cannot write %s: %s\n", program.name, file, strerror(errno));
        return false;
    }
    return true;
}

// What does not take dated tips yet refuses a folder that has them, rather than ignore them.
bool dates_refused(int status) {
    const bool dated = access("dates", F_OK) == 0 || access("calibrations", F_OK) == 0 || command_line.dates_from_names;
    if (!program.has_lin_info || !dated) return false;
    const char* what = status == kRunScore ? "--score" : status == kRunModelTest ? "--model-test"
                     : status == kRunClockTest ? "--clock-test" : command_line.model == "auto" ? "--model auto"
                     : command_line.alrt > 0 ? "--alrt" : command_line.abayes ? "--abayes" : nullptr;
    if (what == nullptr) return false;
    fprintf(stderr, "%s: %s does not take tip dates or calibrations yet, and this folder has them; "
            "run it in a folder without 'dates' and 'calibrations'\n", program.name, what);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    runlog_command_line(argc, argv);
    const int status = handle_command_line(argc, argv, stdout, stderr);
    const bool own_folder = (status == kRunProgram || status == kRunReplicates ||
                             status == kRunClockTest || status == kRunScore || status == kRunModelTest) &&
                            !command_line.alignment.empty();
    // The trees to score are named from where the program was started.
    const std::string trees_named = command_line.score;
    if (status == kRunScore && own_folder) command_line.score = absolute_path(command_line.score);
    const double started = wall_seconds_now();
    const std::string dates_named = command_line.dates;
    const std::string dates_path = absolute_path(command_line.dates);
    const std::string calibrations_named = command_line.calibrations;
    const std::string calibrations_path = absolute_path(command_line.calibrations);
    if (own_folder && !enter_run_folder(stderr)) return 1;
    if (!dates_named.empty() && !place_folder_file("--dates", "dates", dates_path, dates_named)) return 1;
    if (!calibrations_named.empty() &&
        !place_folder_file("--calibrations", "calibrations", calibrations_path, calibrations_named))
        return 1;
    if (dates_refused(status)) return 1;
    if (status == kRunModelTest || (status == kRunProgram && command_line.model == "auto")) {
        std::string winner;
        lock_folder();
        const int tested = run_model_test(command_line.criterion, command_line.threads, winner);
        unlock_folder();
        if (tested != 0 || status == kRunModelTest) return tested;
        // --model auto: the search runs with the winner, from fresh records.
        printf("\nThe search uses %s, the best model by %s (see modeltest)\n\n", winner.c_str(),
               command_line.criterion.c_str());
        command_line.model = winner;
        reset_all_records();
    }
    if (status == kRunProgram) {
        const int done = run_program();
        if (own_folder) write_closing_summary(stdout, done, false, wall_seconds_now() - started);
        return done;
    }
    if (status == kRunReplicates) {
        const CommandLine& c = command_line;
        lock_folder();
        const int done = run_replicates(ReplicateOptions{c.replicates, c.bootstrap, c.jobs, c.prepare, c.model, c.threads,
                                                          c.checkpoint_every, c.resume, c.alrt, c.abayes,
                                                          c.dates_from_names});
        unlock_folder();
        if (own_folder && !c.prepare) write_closing_summary(stdout, done, true, wall_seconds_now() - started);
        return done;
    }
    if (status == kRunClockTest) {
        lock_folder();
        const int done = run_clock_test(command_line.model, command_line.threads);
        unlock_folder();
        return done;
    }
    if (status == kRunScore) {
        lock_folder();
        const int done = run_score(command_line.score, trees_named, command_line.rell, command_line.threads);
        unlock_folder();
        return done;
    }
    if (status == kRunSummarise) {
        if (!summary_folders_usable(command_line.summarise)) return 1;
        lock_folder();
        const int done = run_summarise(command_line.summarise);
        unlock_folder();
        return done;
    }
    return status;
}
