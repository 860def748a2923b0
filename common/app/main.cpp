// The programs' entry: the command line decides between a run in this folder, replicate
// and bootstrap searches in folders of their own, and the summary of folders that have run;
// with -s FILE the program first makes its folder from the alignment and ends with a summary.
// Every kind that writes here holds the folder's lock while it does.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/cli.hpp"
#include "app/folder_lock.hpp"
#include "app/model_test.hpp"
#include "app/run.hpp"
#include "app/run_folder.hpp"
#include "app/score_run.hpp"
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
    if (own_folder && !enter_run_folder(stderr)) return 1;
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
                                                          c.checkpoint_every, c.resume, c.alrt, c.abayes});
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
