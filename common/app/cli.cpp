// --help and --version of both programs. The texts that differ between the programs come
// from `program`; the rest is written once here.
#include "app/cli.hpp"

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "app/sized_settings.hpp"
#include "base/file_io.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "input/settings.hpp"
#include "input/model_spec.hpp"
#include "input/settings_doc.hpp"

CommandLine command_line;

void reset_command_line() { command_line = CommandLine{}; }

namespace {

// Writes the recommended settings as "settings" in the current folder, never over one:
// those for the folder's infile when it has one, else the fixed recommendation.
int write_settings_file(FILE* out, FILE* err) {
    std::string infile, text;
    int n = 0, npat = 0;
    const bool sized = access("infile", F_OK) == 0;
    if (sized && !read_text_file("infile", infile)) {
        fprintf(err, "%s: cannot read infile: %s\n", program.name, strerror(errno));
        return 1;
    }
    text = sized ? recommended_settings_text_for(infile, n, npat) : recommended_settings_text();
    const int fd = open("settings", O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        if (errno == EEXIST)
            fprintf(err, "%s: settings already exists in this folder; it is left as it is\n",
                    program.name);
        else
            fprintf(err, "%s: cannot write settings: %s\n", program.name, strerror(errno));
        return 1;
    }
    FILE* f = fdopen(fd, "w");
    if (f == nullptr) {
        close(fd);
        return 1;
    }
    fputs(text.c_str(), f);
    const bool written = ferror(f) == 0 && fclose(f) == 0;
    if (!written) {
        fprintf(err, "%s: cannot write settings: %s\n", program.name, strerror(errno));
        return 1;
    }
    if (sized)
        fprintf(out, "Wrote the recommended settings for the %d sequences and %d site patterns of "
                     "infile to settings; change the seeds for more searches of the same data.\n",
                n, npat);
    else
        fprintf(out, "Wrote the recommended settings to settings (there is no infile here: its "
                     "size would set max_iter and a stop_flat line); change the seeds for more "
                     "searches of the same data.\n");
    return 0;
}

// A count option's value: a whole number from `min` to `max`.
bool count_value(const char* text, int min, int max, int& value) {
    if (text == nullptr || *text == '\0') return false;
    char* end = nullptr;
    errno = 0;
    const long v = strtol(text, &end, 10);
    if (*end != '\0' || errno != 0 || v < min || v > max) return false;
    value = static_cast<int>(v);
    return true;
}

void print_help(FILE* out) {
    fprintf(out,
            "Usage: %s [--help | --version | --write-settings | --replicates R [--jobs J]]\n"
            "       %s [--model M] [--replicates R] [--bootstrap B] [--jobs J] [--prepare]\n"
            "       %s -s FILE [--prefix DIR] [--settings FILE] [--redo] [options above]\n"
            "       %s --resample | --summarise DIR...\n\n",
            program.name, program.name, program.name, program.name);
    fputs(program.help_summary, out);
    fprintf(out,
            "\nRun it without arguments in a folder that holds the input files; it writes\n"
            "its reports into the same folder. Or name the alignment (-s FILE): the program\n"
            "makes the folder FILE.%s, copies the alignment there as infile, writes the\n"
            "recommended settings and runs there.\n\n", program.name);
    fputs(program.help_files, out);
    fputs("Progress notes go to standard output; while standard error is a terminal, a\n"
          "status line there shows the phase, iteration, log-likelihoods, temperature,\n"
          "archived trees and elapsed time.\n\n"
          "Options:\n"
          "  --help            show this help and exit\n"
          "  --version         show the version and exit\n"
          "  --write-settings  write the recommended settings file into this folder (never\n"
          "                    over an existing one) and exit\n"
          "  --describe-settings [markdown | man]\n"
          "                    print the 22 settings lines with their recommended values,\n"
          "                    allowed values and meaning, and exit\n"
          "  --replicates R    run R searches with seeds derived from the settings seeds,\n"
          "                    each in its own folder rep-001 ..., and summarise them in\n"
          "                    'replicates'; the best one's reports are copied here\n"
          "  --bootstrap B     also run B bootstrap replicates (sites drawn again with\n"
          "                    replacement), each in its own folder boot-001 ..., and write\n"
          "                    the support of the best tree's splits to 'bootstrap',\n"
          "                    'supporttree', 'consensus.tre' and paupfile.nex\n"
          "  --jobs J          run J searches at a time (default: the number of cores)\n"
          "  --threads T       split the likelihood passes over T threads (default: as\n"
          "                    many as the alignment can use, 500 site patterns each, at\n"
          "                    most the cores); the reports are the same for every T\n"
          "  --model M         the substitution model by name, e.g. GTR+I+G4, HKY+G4{0.5}:\n"
          "                    JC, K2P, F84, HKY, TN93 or GTR, with +F (empirical\n"
          "                    frequencies), +FQ (equal), +I (invariable sites) and +G<k>\n"
          "                    (k Gamma rate categories, 4 by default); in place of\n"
          "                    settings line 1, as the settings line model_spec does\n"
          "  -s, --alignment FILE\n"
          "                    make the run folder from this alignment (FASTA, PHYLIP,\n"
          "                    NEXUS or the programs' own format): FILE.clockml or\n"
          "                    FILE.freeml beside it, with FILE copied there as infile,\n"
          "                    and run there; a summary closes the run\n"
          "  --prefix DIR      with -s: the run folder (made if need be)\n"
          "  --settings FILE   with -s: the settings to copy there (default: the folder's\n"
          "                    own, or else the recommended ones)\n"
          "  --redo            with -s: run again in a folder that holds reports (they are\n"
          "                    replaced only when the new ones are whole)\n"
          "  --checkpoint-every SECONDS\n"
          "                    write a checkpoint of the search every SECONDS of wall time\n"
          "                    and when interrupted (default 300; 0: none); it is removed\n"
          "                    when the run is complete\n"
          "  --resume          go on from this folder's checkpoint (after a kill or a time\n"
          "                    limit), with the reports the run would have written had it\n"
          "                    not stopped; without a checkpoint the run starts afresh\n"
          "  --clock-test      (clockml) test a molecular clock: a clock search here in\n"
          "                    clock-test/clock and an unrooted one with freeml in\n"
          "                    clock-test/free, same model and seeds; 2 (lnL_free -\n"
          "                    lnL_clock) against a chi-square with n - 2 degrees of\n"
          "                    freedom, written to 'clocktest'\n"
          "  --score FILE      score the trees of FILE (Newick, one or more; rooted for\n"
          "                    clockml) on this folder's alignment and model, each tree's\n"
          "                    lengths or times and the model's parameters optimised; with\n"
          "                    two or more, the KH, SH and AU tests (RELL); writes 'score'\n"
          "                    and the optimised trees to 'scored.tre'\n"
          "  --rell N          with --score: resamplings of the tests (default 10000)\n"
          "  --model-test      fit JC, K2P, F84, HKY, TN93 and GTR, each alone, +I, +G4 and\n"
          "                    +I+G4, on one distance tree and rank them by BIC (or\n"
          "                    --criterion AIC or AICc) in 'modeltest'; --model auto does\n"
          "                    the same and then searches with the best\n"
          "  --alrt N          after the search, the SH-aLRT support of every\n"
          "                    internal branch of the best tree (N resamplings, from 100),\n"
          "                    written to 'support' and as labels in 'supporttree'\n"
          "  --abayes          the same with the aBayes support (both: SH-aLRT/aBayes)\n"
          "  --dates FILE      (clockml) date the tree: FILE holds each sequence's name\n"
          "                    and sampling date (2003.42 or 2003-06-03); it is copied\n"
          "                    into the run folder as 'dates', which any later run there\n"
          "                    reads too; writes 'dated.tre' and the rate and ages in\n"
          "                    'results' (doc/dating.md)\n"
          "  --dates-from-names  (clockml) the same with each date read from the end of\n"
          "                    its sequence's name, after the last '|' or '_'\n"
          "  --calibrations FILE  (clockml) bound the ages of clades: one line each, the\n"
          "                    clade's taxa separated by commas, then its age (47.2) or\n"
          "                    bounds (40..55, 40.., ..55); copied into the run folder as\n"
          "                    'calibrations'; each clade is kept whole in the search\n"
          "  --prepare         with the options above: only write the folders, for a\n"
          "                    workflow engine to run\n"
          "  --resample        run here as one bootstrap replicate (the sites drawn with\n"
          "                    the settings seeds)\n"
          "  --summarise DIR...  summarise folders that have run (rep-*, boot-*) here, as\n"
          "                    --replicates and --bootstrap do\n\n"
          "Exit status: 0 after a complete run, 1 after an error, 130 or 143 when\n"
          "interrupted (Ctrl-C or kill).\n\n",
          out);
    fprintf(out,
            "The file formats and the 22 settings lines are described in doc/input.md of\n"
            "the source tree, the reports in doc/reports.md (README.md links the rest),\n"
            "and all of it in the manual page (man %s).\n",
            program.name);
}

}  // namespace

namespace {

// The options of a run, each with its value's kind and where it goes.
struct RunOption {
    const char* name;
    int CommandLine::*count;          // a whole number from 1 to `max`
    int max;
    bool CommandLine::*flag;          // a switch
    std::string CommandLine::*text;   // a word
    int min = 1;                      // the smallest count allowed
};
const RunOption kRunOptions[] = {
    {"--replicates", &CommandLine::replicates, 999, nullptr, nullptr},
    {"--bootstrap", &CommandLine::bootstrap, 10000, nullptr, nullptr},
    {"--jobs", &CommandLine::jobs, 999, nullptr, nullptr},
    {"--prepare", nullptr, 0, &CommandLine::prepare, nullptr},
    {"--resample", nullptr, 0, &CommandLine::resample, nullptr},
    {"--model", nullptr, 0, nullptr, &CommandLine::model},
    {"--threads", &CommandLine::threads, 256, nullptr, nullptr},
    {"-s", nullptr, 0, nullptr, &CommandLine::alignment},
    {"--alignment", nullptr, 0, nullptr, &CommandLine::alignment},
    {"--prefix", nullptr, 0, nullptr, &CommandLine::prefix},
    {"--settings", nullptr, 0, nullptr, &CommandLine::settings_file},
    {"--redo", nullptr, 0, &CommandLine::redo, nullptr},
    {"--checkpoint-every", &CommandLine::checkpoint_every, 10000000, nullptr, nullptr, 0},
    {"--resume", nullptr, 0, &CommandLine::resume, nullptr},
    {"--clock-test", nullptr, 0, &CommandLine::clock_test, nullptr},
    {"--score", nullptr, 0, nullptr, &CommandLine::score},
    {"--rell", &CommandLine::rell, 1000000, nullptr, nullptr, 100},
    {"--model-test", nullptr, 0, &CommandLine::model_test, nullptr},
    {"--criterion", nullptr, 0, nullptr, &CommandLine::criterion},
    {"--alrt", &CommandLine::alrt, 1000000, nullptr, nullptr, 100},
    {"--abayes", nullptr, 0, &CommandLine::abayes, nullptr},
    {"--dates", nullptr, 0, nullptr, &CommandLine::dates},
    {"--dates-from-names", nullptr, 0, &CommandLine::dates_from_names, nullptr},
    {"--calibrations", nullptr, 0, nullptr, &CommandLine::calibrations},
};

const RunOption* run_option(const char* arg) {
    for (const RunOption& o : kRunOptions)
        if (std::strcmp(arg, o.name) == 0) return &o;
    return nullptr;
}

bool takes_value(const RunOption& o) { return o.count != nullptr || o.text != nullptr; }

}  // namespace

int handle_command_line(int argc, const char* const* argv, FILE* out, FILE* err) {
    if (argc <= 1) return kRunProgram;
    const auto refuse = [&](const char* arg) {
        fprintf(err, "%s: unknown argument '%s' (try '%s --help')\n", program.name, arg,
                program.name);
        return 1;
    };
    const auto misuse = [&](const char* what) {
        fprintf(err, "%s: %s (try '%s --help')\n", program.name, what, program.name);
        return 1;
    };
    const auto twice = [&](const char* arg) {
        fprintf(err, "%s: %s is given twice; give it once (try '%s --help')\n", program.name, arg,
                program.name);
        return 1;
    };
    const char* first = argv[1];
    if (std::strcmp(first, "--summarise") == 0 || std::strcmp(first, "--summarize") == 0) {
        reset_command_line();
        for (int i = 2; i < argc; ++i) {
            if (argv[i][0] == '-') return refuse(argv[i]);
            command_line.summarise.push_back(argv[i]);
        }
        if (command_line.summarise.empty()) return misuse("--summarise needs the folders to summarise");
        return kRunSummarise;
    }
    // Any word we do not know stops the run before a file is opened, so that a typo can
    // never start (and overwrite the reports of) a long search.
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const RunOption* o = run_option(a);
        if (o != nullptr && takes_value(*o))
            ++i;  // its value is checked below
        else if (std::strcmp(a, "--describe-settings") == 0 && i == 1)
            break;  // its own argument is checked below
        else if (o == nullptr && std::strcmp(a, "--help") != 0 && std::strcmp(a, "--version") != 0 &&
                 std::strcmp(a, "--write-settings") != 0)
            return refuse(a);
    }
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "--version") == 0) {
        if (std::strcmp(first, "--help") == 0)
            print_help(out);
        else
            fputs(program.version_line, out);
        return fflush(out) == 0 ? 0 : 1;
    }
    if (std::strcmp(first, "--write-settings") == 0) {
        if (argc != 2) return refuse(argv[2]);
        return write_settings_file(out, err);
    }
    if (std::strcmp(first, "--describe-settings") == 0) {
        const bool man = argc == 3 && std::strcmp(argv[2], "man") == 0;
        if (argc > 3 || (argc == 3 && !man && std::strcmp(argv[2], "markdown") != 0))
            return refuse(argv[argc - 1]);
        describe_settings(out, man);
        return fflush(out) == 0 ? 0 : 1;
    }
    reset_command_line();
    CommandLine& c = command_line;
    std::vector<const RunOption*> counts_given;
    for (int i = 1; i < argc; ++i) {
        const RunOption* o = run_option(argv[i]);
        if (o == nullptr) return refuse(argv[i]);
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (o->flag != nullptr) {
            if (c.*o->flag) return twice(argv[i]);
            c.*o->flag = true;
            continue;
        }
        if (o->text != nullptr) {
            if (!(c.*o->text).empty()) return twice(argv[i]);
            if (value == nullptr || *value == '\0') {
                fprintf(err, "%s: %s needs a value (try '%s --help')\n", program.name, argv[i], program.name);
                return 1;
            }
            c.*o->text = value;
            ++i;
            continue;
        }
        if (std::find(counts_given.begin(), counts_given.end(), o) != counts_given.end()) return twice(argv[i]);
        counts_given.push_back(o);
        if (!count_value(value, o->min, o->max, c.*o->count)) {
            fprintf(err, "%s: %s needs a whole number from %d to %d%s%s%s\n", program.name,
                    argv[i], o->min, o->max, value != nullptr ? " (not '" : "", value != nullptr ? value : "",
                    value != nullptr ? "')" : "");
            return 1;
        }
        ++i;
    }
    const bool auto_model = c.model == "auto" || c.model == "AUTO";
    if (auto_model) c.model = "auto";
    if (!c.criterion.empty()) {
        for (const char* name : {"BIC", "AIC", "AICc"})
            if (strcasecmp(c.criterion.c_str(), name) == 0) c.criterion = name;
        if (c.criterion != "BIC" && c.criterion != "AIC" && c.criterion != "AICc") {
            fprintf(err, "%s: --criterion %s: give BIC, AIC or AICc\n", program.name, c.criterion.c_str());
            return 1;
        }
        if (!c.model_test && !auto_model) return misuse("--criterion goes with --model-test or --model auto");
    } else {
        c.criterion = "BIC";
    }
    if (!c.model.empty() && !auto_model) {
        ModelSpec chosen;
        std::string why;
        if (!parse_model_spec(c.model, chosen, why)) {
            fprintf(err, "%s: --model %s: %s\n", program.name, c.model.c_str(), why.c_str());
            return 1;
        }
    }
    if (c.alignment.empty() && (!c.prefix.empty() || !c.settings_file.empty() || c.redo))
        return misuse(c.redo ? "--redo goes with -s FILE"
                             : !c.prefix.empty() ? "--prefix goes with -s FILE" : "--settings goes with -s FILE");
    const bool searches = c.replicates > 0 || c.bootstrap > 0;
    if (!c.dates.empty() || c.dates_from_names || !c.calibrations.empty()) {
        if (!program.has_lin_info && !c.calibrations.empty())
            return misuse("calibrations are clockml's: run it with clockml");
        if (!c.dates.empty() && c.dates_from_names) return misuse("give --dates FILE or --dates-from-names, not both");
        if (c.model_test || !c.score.empty() || c.clock_test || c.alrt > 0 || c.abayes)
            return misuse("tip dates and calibrations go with a search, --replicates or --bootstrap "
                          "(not --score, --model-test, --clock-test, --alrt or --abayes)");
    }
    const bool rell_given = std::find(counts_given.begin(), counts_given.end(), run_option("--rell")) != counts_given.end();
    if (c.alrt > 0 || c.abayes) {
        if (c.prepare || c.resample || c.model_test || !c.score.empty())
            return misuse("--alrt and --abayes go with a search, --replicates or --bootstrap (not --prepare)");
    }
    if (c.model_test || auto_model) {
        if (searches || c.prepare || c.jobs > 0 || c.resample || c.clock_test || !c.score.empty() ||
            (c.model_test && (c.resume || !c.model.empty())))
            return misuse(c.model_test ? "--model-test goes with --criterion, --threads and -s only"
                                       : "--model auto goes with a single search (with --criterion, --threads, -s)");
        if (c.model_test) return kRunModelTest;
        return kRunProgram;
    }
    if (!c.score.empty()) {
        if (searches || c.prepare || c.jobs > 0 || c.resample || c.resume || c.clock_test)
            return misuse("--score goes with --rell, --model, --threads and -s only");
        return kRunScore;
    }
    if (rell_given) return misuse("--rell goes with --score");
    if (c.clock_test) {
        if (!program.has_lin_info) return misuse("--clock-test is clockml's: run it with clockml");
        if (searches || c.prepare || c.jobs > 0 || c.resample || c.resume)
            return misuse("--clock-test goes with --model, --threads and -s only");
        return kRunClockTest;
    }
    if (c.resample) {
        if (searches || c.prepare || c.jobs > 0 || !c.alignment.empty())
            return misuse("--resample makes one run a bootstrap replicate and goes alone");
        return kRunProgram;
    }
    if (!searches) {
        if (c.prepare || c.jobs > 0)
            return misuse(c.prepare ? "--prepare goes with --replicates or --bootstrap"
                                    : "--jobs goes with --replicates or --bootstrap");
        return kRunProgram;
    }
    return kRunReplicates;
}
