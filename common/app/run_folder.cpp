// The run folder of the one-command form and the summary that closes such a run.
#include "app/run_folder.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli.hpp"
#include "app/folder_lock.hpp"
#include "app/sized_settings.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "engine/model.hpp"
#include "input/model_spec.hpp"
#include "input/settings.hpp"
#include "input/settings_doc.hpp"
#include "output/model_lines.hpp"
#include "search/archive.hpp"

namespace {

// The files whose presence says that a run has written its reports in a folder.
const char* const kReportNames[] = {"results", "besttree", "treefile", "paupfile.nex", "best.tre",
                                    "runlog", "replicates", "bootstrap", "supporttree"};

std::string g_folder;  // the run folder as the user named it (or as it was derived)

bool exists(const char* path) {
    struct stat st {};
    return lstat(path, &st) == 0;
}

// Reads an input named on the command line whole, or says why it cannot.
bool read_named_input(const std::string& path, const char* option, std::string& text, FILE* err) {
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        fprintf(err, "%s: %s %s: not a file\n", program.name, option, path.c_str());
        return false;
    }
    errno = 0;
    if (!read_text_file(path, text)) {
        fprintf(err, "%s: %s %s: cannot read it: %s\n", program.name, option, path.c_str(),
                errno != 0 ? strerror(errno) : "read error");
        return false;
    }
    return true;
}

// Writes `text` as `name` in the current folder (through a part file), unless it holds
// exactly that already.
bool put_file(const char* name, const std::string& text, FILE* err) {
    std::string old;
    if (exists(name) && read_text_file(name, old) && old == text) return true;
    if (write_text_file(name, text)) return true;
    fprintf(err, "%s: cannot write %s/%s: %s\n", program.name, g_folder.c_str(), name,
            strerror(errno));
    return false;
}

}  // namespace

bool enter_run_folder(FILE* err) {
    const CommandLine& c = command_line;
    std::string alignment, settings_text;
    if (!read_named_input(c.alignment, "-s", alignment, err)) return false;
    if (!c.settings_file.empty() && !read_named_input(c.settings_file, "--settings", settings_text, err))
        return false;
    g_folder = !c.prefix.empty() ? c.prefix : c.alignment + "." + program.name;
    if (mkdir(g_folder.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(err, "%s: cannot make the run folder %s: %s\n", program.name, g_folder.c_str(),
                strerror(errno));
        return false;
    }
    if (chdir(g_folder.c_str()) != 0) {
        fprintf(err, "%s: cannot enter the run folder %s: %s\n", program.name, g_folder.c_str(),
                strerror(errno));
        return false;
    }
    lock_folder();
    // Scoring trees and the model test write no search report, so they may run beside them.
    if (!c.redo && c.score.empty() && !c.model_test)
        for (const char* name : kReportNames)
            if (exists(name)) {
                fprintf(err,
                        "%s: the folder %s already holds the reports of a run (%s); give --redo "
                        "to run there again (the new reports replace them only when whole), or "
                        "another --prefix\n",
                        program.name, g_folder.c_str(), name);
                return false;
            }
    if (!put_file("infile", alignment, err)) return false;
    // The folder's own settings are kept (a rerun with --redo repeats the run) unless
    // --settings names others.
    if (!settings_text.empty() || !exists("settings")) {
        int n = 0, npat = 0;
        if (settings_text.empty()) settings_text = recommended_settings_text_for(alignment, n, npat);
        if (!put_file("settings", settings_text, err)) return false;
    }
    printf("Run folder %s: the alignment %s is its infile\n", g_folder.c_str(), c.alignment.c_str());
    return true;
}

namespace {

const char* classic_model_name() {
    switch (settings.model) {
        case 1: return "HKY";
        case 2: return "F84";
        case 3: return "JC";
        default: return "K2P";
    }
}

// A named model's estimates that go with the best tree, one line each.
void write_model_estimates(FILE* out) {
    const ModelEstimates final_values = current_estimates();
    restore_estimates(ann.best);
    std::string text = text_written_by([](FILE* f) { write_named_parameters(f, "  "); });
    for (size_t at; (at = text.find("\n\n")) != std::string::npos;) text.erase(at, 1);
    fputs(text.c_str(), out);
    restore_estimates(final_values);
}

}  // namespace

void write_closing_summary(FILE* out, int status, bool searches, double wall_seconds) {
    const std::string& d = g_folder;
    fputs("\n", out);
    if (status != 0) {
        fprintf(out, "%s did not complete (exit status %d); the run record in %s (runlog.part, "
                "or runlog) says how far it came\n", program.name, status, d.c_str());
        return;
    }
    if (!searches) {
        const std::vector<const TreeRecord*> records = records_best_first();
        if (mp.named.on) {
            fprintf(out, "Model: %s, with the estimates that go with the best tree:\n",
                    model_spec_name(settings.model_spec).c_str());
            write_model_estimates(out);
        } else {
            fprintf(out, "Model: %s (settings line 1)", classic_model_name());
            if (!records.empty())
                fprintf(out, ", transition/transversion ratio %f with the best tree", records.front()->ratio);
            fputs("\n", out);
        }
        if (!records.empty())
            fprintf(out, "Log-likelihood of the best tree (its %s optimised): %f\n",
                    program.unrooted_newick ? "branch lengths" : "node times", records.front()->lnL);
    } else {
        fprintf(out, "The searches are summarised in %s/replicates%s; the best one's reports are "
                "copied beside it\n", d.c_str(), command_line.bootstrap > 0 ? " and the support in bootstrap" : "");
    }
    fprintf(out, "Best tree:   %s/best.tre (Newick)\n", d.c_str());
    if (exists("dated.tre") && (exists("dates") || exists("calibrations") || command_line.dates_from_names))
        fprintf(out, "Dated tree:  %s/dated.tre (in the units of the dates; the rate and node ages end %s/results%s)\n",
                d.c_str(), d.c_str(), exists("age_intervals") ? ", their intervals are in age_intervals" : "");
    fprintf(out, "Reports:     %s/results, besttree, treefile, paupfile.nex; the run record %s/runlog\n",
            d.c_str(), d.c_str());
    fprintf(out, "Wall time:   %.2f s\n", wall_seconds);
    fprintf(out, "Next, for example:\n");
    const std::string again = std::string(program.name) + " -s " + command_line.alignment +
                              (command_line.prefix.empty() ? "" : " --prefix " + command_line.prefix) +
                              (command_line.model.empty() ? "" : " --model " + command_line.model);
    if (command_line.bootstrap == 0)
        fprintf(out, "  %s --redo --bootstrap 100   (support for the best tree's %s)\n",
                again.c_str(), program.unrooted_newick ? "splits" : "clades");
    if (command_line.replicates == 0)
        fprintf(out, "  %s --redo --replicates 4    (more searches, other seeds)\n", again.c_str());
    if (command_line.model.empty())
        fprintf(out, "  %s --redo --model GTR+I+G4  (rate variation across sites)\n", again.c_str());
}
