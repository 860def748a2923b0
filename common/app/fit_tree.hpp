// Fitting one tree without a search: the folder's inputs read as a run reads them, and a
// tree made current optimised for its node values and the model's free parameters. The
// scoring of given trees and the model test are built on it.
#pragma once

#include <string>
#include <vector>

struct ScoredTree {
    double lnL = 0;
    std::vector<double> pattern_lnl;  // one site of each pattern
    std::string newick;               // with the optimised lengths or times, ending in ";"
    std::string parameters;           // the model's estimates for this tree, one line each
};

// The folder's infile, settings (with --model) and lin_info, the patterns and the model,
// as a run reads them but without writing a report; stops the program on bad input.
void read_fit_inputs();
// Sizes the likelihood tables for the model set up now and starts the threads (`threads`,
// or as a run chooses).
void prepare_fit(int threads);
// The current tree (topology only) from the programs' starting values, optimised with the
// model's free parameters until a round gains less than `round_gain`.
constexpr double kScoreRoundGain = 1e-6;
ScoredTree score_loaded_tree(double round_gain = kScoreRoundGain);
// The model's name as the tables write it (F84, HKY+F+G4, ...).
std::string model_name();
