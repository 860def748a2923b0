// The single pass of a run, shared by clockml and freeml: run files, data, model,
// starting tree, annealing and the reports. The programs differ only through the
// functions and texts of program.hpp.
#include "app/run.hpp"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "app/app_seams.hpp"
#include "app/branch_support.hpp"
#include "app/cli.hpp"
#include "app/folder_lock.hpp"
#include "app/memory_need.hpp"
#include "base/fatal.hpp"
#include "base/file_io.hpp"
#include "base/interrupt.hpp"
#include "base/program_info.hpp"
#include "base/rng.hpp"
#include "base/state.hpp"
#include "base/thread_pool.hpp"
#include "base/timer.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "input/alignment_formats.hpp"
#include "input/run_files.hpp"
#include "input/settings.hpp"
#include "input/site_patterns.hpp"
#include "output/model_lines.hpp"
#include "output/newick.hpp"
#include "output/pattern_listing.hpp"
#include "output/reports.hpp"
#include "output/runlog.hpp"
#include "search/anneal.hpp"
#include "search/archive.hpp"
#include "search/checkpoint.hpp"
#include "search/tree.hpp"

namespace {

// Data, model and the starting tree with its likelihood and archive record.
// A starting tree whose log-likelihood is not a finite number cannot be searched from, and
// its value must not reach a report. With per-lineage rates the cause is rates so far from
// 1 that every branch is effectively of length zero (or infinite): the message names the
// extreme rates and the lin_info values behind them.
[[noreturn]] void unusable_start(double lnL) {
    char value[32];
    if (std::isnan(lnL))
        snprintf(value, sizeof value, "not a number");
    else
        snprintf(value, sizeof value, "%f", lnL);
    if (settings.use_lin_info == 1 && !alignment.lin_array.empty()) {
        int lo = 1, hi = 1;
        for (int i = 1; i <= settings.ntaxa; ++i) {
            if (tree.cur.RateVec[i] < tree.cur.RateVec[lo]) lo = i;
            if (tree.cur.RateVec[i] > tree.cur.RateVec[hi]) hi = i;
        }
        const auto& v = alignment.lin_array;
        input_error("lin_info", 0,
                    "the log-likelihood of the starting tree is %s with the lineage rates these "
                    "values give (from %g for sequence %d, values %g and %g, to %g for sequence "
                    "%d, values %g and %g); rates this far from 1 leave no branch a length the "
                    "model can evaluate",
                    value, tree.cur.RateVec[lo], lo, v[lo - 1][0], v[lo - 1][1], tree.cur.RateVec[hi], hi,
                    v[hi - 1][0], v[hi - 1][1]);
    }
    input_error("infile", 0, "the log-likelihood of the starting tree is %s, not a finite number",
                value);
}

struct ReportName {
    FILE* RunFiles::*file;
    const char* name;
};
constexpr ReportName kReports[] = {{&RunFiles::results, "results"},
                                   {&RunFiles::besttree, "besttree"},
                                   {&RunFiles::treefile, "treefile"},
                                   {&RunFiles::paupfile, "paupfile.nex"},
                                   {&RunFiles::best_tre, "best.tre"}};

// A generous bound on what the reports still take after the start-up: the listings of
// the best trees (whose count doubles for a second search) and the pattern table.
unsigned long long report_bytes_to_come() {
    const unsigned long long n = static_cast<unsigned long long>(settings.ntaxa);
    const unsigned long long trees = 2ull * static_cast<unsigned long long>(settings.n_keep) + 1;
    const unsigned long long per_tree = 40 * n + 400;
    unsigned long long bytes = 64 * 1024 + 3 * trees * per_tree;
    if (settings.print_patterns == 1)
        bytes += static_cast<unsigned long long>(alignment.npat) * (n + 40);
    return 2 * bytes;
}

std::string byte_count(unsigned long long b) {
    char buf[48];
    if (b >= 10ull << 20)
        snprintf(buf, sizeof buf, "%llu MB", b >> 20);
    else
        snprintf(buf, sizeof buf, "%llu kB", (b + 1023) >> 10);
    return buf;
}

// Before the search: each report must take what the start-up wrote to it, and the folder
// must have room for the rest, so that a full disk stops the run now and not after hours
// of searching.
void check_reports_writable() {
    for (const ReportName& r : kReports) {
        FILE* f = run_files.*r.file;
        if (f == nullptr) continue;
        // An earlier automatic flush may have failed and dropped its data without a reason
        // kept: one more byte written gives the system's reason again. The part file is
        // lost anyway, as the run stops here.
        const bool failed_before = ferror(f) != 0;
        clearerr(f);
        errno = 0;
        bool failed = fflush(f) != 0;
        if (failed_before && !failed) {
            fputc('\n', f);
            errno = 0;
            failed = fflush(f) != 0;
        }
        if (failed || failed_before) {
            printf("Error writing %s: %s; the run stops before its search\n", r.name,
                   errno != 0 ? strerror(errno) : "an earlier write to it failed (the disk may be full)");
            exit(1);
        }
    }
    struct statvfs fs {};
    if (statvfs(".", &fs) != 0) return;  // no figure to go by: the closing checks remain
    const unsigned long long avail =
        static_cast<unsigned long long>(fs.f_bavail) * static_cast<unsigned long long>(fs.f_frsize);
    const unsigned long long need = report_bytes_to_come();
    if (avail < need) {
        char folder[PATH_MAX];
        printf("Error writing the reports: the folder %s has %s free, and this run's reports "
               "need up to %s; the run stops before its search\n",
               getcwd(folder, sizeof folder) != nullptr ? folder : ".", byte_count(avail).c_str(),
               byte_count(need).c_str());
        exit(1);
    }
}

void start_up() {
    // Every working array is sized from the input; memory that cannot be had ends the
    // run with a message and status 1 instead of an abort.
    std::set_new_handler(allocation_failed);
    start_timer();
    clear_archive();
    lock_folder();
    runlog_begin();
    if (!open_run_files()) {
        printf("can't open file \n");
        exit(1);
    }
    std::string infile_text;
    struct stat st {};
    memory_stage(MemoryStage::kInfileText,
                 fstat(fileno(run_files.infile), &st) == 0 ? static_cast<unsigned long long>(st.st_size) : 0);
    read_input_file(run_files.infile, "infile", kInfileLimit, infile_text);
    runlog_input_file("infile", infile_text);
    InfileText infile = read_infile_dimensions(infile_text);
    const bool own_format = infile.own_format;
    const int n = settings.ntaxa;

    printf("%s", program.console_banner);
    printf("  %d sequences and %d sites read from infile\n", n, settings.nsites);
    if (!own_format) printf("  infile read as %s\n", infile.other.format.c_str());
    runlog_input(own_format ? std::string("the programs' own format") : infile.other.format, n,
                 settings.nsites, static_cast<long long>(infile_text.size()));

    std::string settings_text;
    read_input_file(run_files.settings, "settings", kSettingsLimit, settings_text);
    runlog_input_file("settings", settings_text);
    parse_settings(settings_text);
    take_model_option(command_line.model);
    runlog_settings();
    compute_derived_counts();
    seed_all(settings.seed1, settings.seed2);

    memory_stage(MemoryStage::kTreeArrays);
    reset_tree(n);
    reset_archive(n, settings.n_keep);
    program_extra_inputs();

    fputs(program.results_banner, run_files.results);
    fputs(program.besttree_banner, run_files.besttree);
    if (program.flush_after_banner) fflush(nullptr);

    memory_stage(MemoryStage::kCodedAlignment);
    read_infile_sequences(infile_text, infile);
    fclose(run_files.infile);
    run_files.infile = nullptr;
    infile_text.clear();
    infile_text.shrink_to_fit();

    write_nexus_data();
    memory_stage(MemoryStage::kSitePatterns);
    build_patterns();
    write_pattern_summary();
    if (command_line.resample)
        write_resample_line(resample_patterns(settings.seed1, settings.seed2), settings.seed1, settings.seed2);
    if (settings.print_patterns == 1) print_pattern_table();
    if (settings.print_alignment == 1) print_pattern_alignment();

    setup_model();
    write_model_lines();
    if (program.flush_after_model) fflush(nullptr);

    // The threads: as asked, or one per 500 site patterns up to the cores.
    const int threads = command_line.threads > 0 ? command_line.threads
                                                 : std::clamp(alignment.npat / 500, 1, available_cores());
    start_threads(threads);
    runlog_note("threads       " + std::to_string(threads) + " (the reports are the same for any number)");
    memory_stage(MemoryStage::kLikelihoodTables);
    // A named model's rate categories multiply the partials; it needs no derivative tables.
    reset_likelihood_tables(n, alignment.npat, mp.named.on ? mp.named.ncat : 1, !mp.named.on);
    program_tree_inputs();
    make_start_tree();
    copy_tree_current_to_temp();
    program_leaf_setup();
    init_leaf_partials();
    memory_stage(MemoryStage::kSearch);

    ann.lnL_cur = ann.lnL_best = full_pass_log_likelihood();
    if (!std::isfinite(ann.lnL_cur)) unusable_start(ann.lnL_cur);
    fprintf(run_files.results, program.initial_lnl_text, ann.lnL_cur);
    fputs("\n\n", run_files.results);
    fputs("-----------------------------------------------------------------\n\n",
          run_files.results);
    if (program.flush_after_initial) fflush(nullptr);

    copy_tree_current_to_best();
    // The starting tree is the best tree until a proposal beats it.
    ann.best = current_estimates();
    archive.cur_record = archive_current_tree(ann.lnL_cur).record;
    check_reports_writable();
}

// Flushes, syncs and closes one report; a report that did not reach the disk whole (disk
// full, file too large, I/O error) is named with the reason on standard output.
bool close_report(FILE*& f, const char* name) {
    if (f == nullptr) return true;
    const bool failed_before = ferror(f) != 0;
    errno = 0;
    int err = fflush(f) != 0 ? errno : 0;
    if (err == 0 && fsync(fileno(f)) != 0 && errno != EINVAL && errno != EROFS) err = errno;
    if (fclose(f) != 0 && err == 0) err = errno;
    f = nullptr;
    if (err == 0 && !failed_before) return true;
    printf("Error writing %s: %s\n", name,
           err != 0 ? strerror(err) : "the file could not be written completely");
    return false;
}

// Closes every report and, when all of them are whole, gives each its own name in place of
// the previous run's; otherwise the part files stay and the previous reports with them.
bool close_reports() {
    bool ok = true;
    for (const ReportName& r : kReports) ok = close_report(run_files.*r.file, r.name) && ok;
    if (!ok) return false;
    for (const ReportName& r : kReports) {
        const std::string part = std::string(r.name) + ".part";
        if (rename(part.c_str(), r.name) != 0) {
            printf("Error writing %s: cannot rename %s to %s: %s\n", r.name, part.c_str(),
                   r.name, strerror(errno));
            ok = false;
        }
    }
    return ok;
}

}  // namespace

namespace {

// What a checkpoint must match to be taken up: the version, the inputs read (their
// checksums) and the options that shape the search. The thread count is not among them:
// it changes no number.
std::string checkpoint_identity() {
    std::string version = program.version_line;
    while (!version.empty() && version.back() == '\n') version.pop_back();
    std::string id = version + "; " + runlog_input_checksums();
    if (!command_line.model.empty()) id += "; --model " + command_line.model;
    if (command_line.resample) id += "; --resample";
    if (command_line.dates_from_names) id += "; --dates-from-names";
    return id;
}

// --resume: the search goes on from the folder's checkpoint, when there is one; a
// checkpoint that does not belong to this run stops it, so that nothing is mixed.
void resume_or_start() {
    start_checkpoints(command_line.checkpoint_every, checkpoint_identity());
    if (!command_line.resume) return;
    if (access(kCheckpointName, F_OK) != 0) {
        printf("  No checkpoint in this folder: the search starts from the beginning\n");
        runlog_note("resumed       no: there was no checkpoint, the search started from the beginning");
        return;
    }
    std::string why;
    if (!restore_checkpoint(why))
        fatal("Error: cannot resume from %s: %s; remove it to start afresh\n", kCheckpointName, why.c_str());
    // The current tree's partials are made afresh; in a search they give its recorded
    // log-likelihood to the bit (between two trees of an optimisation the next tree is
    // loaded and scored afresh anyway).
    const double lnL = full_pass_log_likelihood();
    if (!ann.opt.on && lnL != ann.lnL_cur)
        fatal("Error: cannot resume from %s: the tree it holds scores %.6f, not %.6f as "
              "recorded; remove it to start afresh\n", kCheckpointName, lnL, ann.lnL_cur);
    static const char* const kPhases[] = {"burn-in", "burn-in", "first search",
        "optimisation of the archived trees", "second search", "final optimisation",
        "final optimisation"};
    char line[200];
    if (ann.opt.on)
        snprintf(line, sizeof line, "resumed       from %s, in the %s before tree %d", kCheckpointName,
                 kPhases[ann.phase], ann.opt.next + 1);
    else
        snprintf(line, sizeof line, "resumed       from %s, at iteration %d of the %s", kCheckpointName,
                 ann.anneal_iter, kPhases[ann.phase]);
    runlog_note(line);
    printf("  Resumed %s\n", line + 14);
}

}  // namespace

int run_program() {
    start_up();
    resume_or_start();

    fputs("\nInformation about the simulated annealing procedure:\n\n", run_files.results);
    install_interrupt_handlers();
    write_anneal_lines(anneal());

    if (search_interrupted())
        fprintf(run_files.results, " The search was interrupted after %d iterations\n\n",
                ann.anneal_iter);
    write_run_report();
    // The capacity was doubled for the second search; an interrupt may have prevented it.
    if (estimation_on() && ann.first_pass == 0) halve_archive();
    write_best_tree_listing();
    write_nexus_trees_and_paup();

    fputs("The best tree and branch lengths found by the algorithm:\n\n", run_files.treefile);
    write_newick_best(run_files.treefile);
    fputs(";\n\n", run_files.treefile);
    // The same tree alone, for tree viewers and libraries that read plain Newick only.
    write_newick_best(run_files.best_tre);
    fputs(";\n", run_files.best_tre);
    fputs("***See treefile for best trees in Newick format***\n\n\n", run_files.besttree);
    const bool extras = program_extra_reports();
    const bool written = close_reports() && extras;
    int status = !written ? 1 : search_interrupted() ? interrupted_exit_status() : 0;
    // A complete run needs its checkpoint no more; an interrupted one keeps it to resume.
    if (status == 0) remove_checkpoint();
    if (status == 0 && (command_line.alrt > 0 || command_line.abayes) &&
        !write_branch_support(command_line.alrt, command_line.abayes))
        status = 1;
    runlog_end(status, written);
    unlock_folder();
    return status;
}
