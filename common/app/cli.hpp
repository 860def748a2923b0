// The command line: without arguments the programs run in the current folder; --help and
// --version answer, --write-settings writes a settings file, -s FILE makes the folder first, --replicates and --bootstrap
// run several searches, --resample makes a run one bootstrap replicate and --summarise
// gathers folders that have run. Anything else is refused before a run file is touched.
#pragma once

#include <cstdio>

#include "base/state.hpp"

#include <string>
#include <vector>

// What main should do after looking at its arguments.
constexpr int kRunProgram = -1;     // a run in this folder (with --resample: a bootstrap replicate)
constexpr int kRunReplicates = -2;  // replicate and bootstrap searches in folders of their own
constexpr int kRunSummarise = -3;   // the summary of folders that have run
constexpr int kRunClockTest = -4;   // clockml --clock-test: a clock search and an unrooted one, compared
constexpr int kRunScore = -5;       // --score FILE: given trees scored and tested
constexpr int kRunModelTest = -6;   // --model-test: the candidate models ranked

// The options of a run.
struct CommandLine {
    int replicates = 0;  // --replicates R
    int bootstrap = 0;   // --bootstrap B
    int jobs = 0;        // --jobs J; 0: the number of cores
    bool prepare = false;   // --prepare: write the folders of the searches, run nothing
    bool resample = false;  // --resample: this run is one bootstrap replicate
    std::vector<std::string> summarise;  // --summarise DIR...
    std::string model;      // --model M: a model by name, as the settings line model_spec
    int threads = 0;        // --threads T; 0: as many as the alignment can use, at most the cores
    std::string alignment;      // -s FILE / --alignment FILE: make the run folder from it
    std::string prefix;         // --prefix DIR: that folder (default: FILE.clockml, FILE.freeml)
    std::string settings_file;  // --settings FILE: the settings put there
    bool redo = false;          // --redo: run again in a folder that holds reports
    int checkpoint_every = 300; // --checkpoint-every SECONDS; 0: no checkpoints
    bool resume = false;        // --resume: go on from the folder's checkpoint
    bool clock_test = false;    // --clock-test (clockml)
    std::string score;          // --score FILE: the trees to score
    int rell = 10000;           // --rell N: resamplings of the tests of --score
    bool model_test = false;    // --model-test: rank the candidate models and stop
    std::string criterion;      // --criterion BIC|AIC|AICc (default BIC)
    int alrt = 0;               // --alrt N: SH-aLRT support of the best tree (freeml)
    bool abayes = false;        // --abayes: aBayes support of the best tree (freeml)
    std::string dates;          // --dates FILE (clockml): copied into the folder as 'dates'
    bool dates_from_names = false;  // --dates-from-names (clockml): tip dates at the ends of the names
    std::string calibrations;   // --calibrations FILE (clockml): copied into the folder as 'calibrations'
};
extern CommandLine command_line;
void reset_command_line();

// Answers --help, --version or --write-settings (exit status 0, or 1 when the settings file
// exists or cannot be written), rejects an unknown or malformed argument with one line on
// `err` (exit status 1), or fills `command_line` and returns what to run.
int handle_command_line(int argc, const char* const* argv, FILE* out, FILE* err);
