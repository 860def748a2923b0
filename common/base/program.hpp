// What each program (clockml, freeml) defines for the code in common/. clockml's
// definitions live in clock/, freeml's in free/; the linker picks the pair, so common/
// never asks which program it is part of.
#pragma once

#include <vector>

#include "base/state.hpp"

struct ProgramInfo {
    const char* console_banner;      // first lines on standard output
    const char* results_banner;      // banner of results
    const char* besttree_banner;     // banner of besttree
    bool has_lin_info;               // settings lines 16-18 and the lin_info file (clockml)
    const char* pattern_lead;        // text before the pattern summary: "\n" or "\n\n"
    bool flush_after_banner;         // freeml flushes after the banners
    bool flush_after_model;          // freeml flushes after the model lines
    bool flush_after_initial;        // clockml flushes after the initial likelihood line
    const char* initial_lnl_text;    // "The likelihood of the initial tree ... is %f"
    const char* listing_lnl_label;   // "Max ln L for tree:  %f\n" or "ln L at first hit:  %f\n"
    bool unrooted_newick;            // write trees with a three-way split at the top
    const char* nexus_tree_prefix;   // "tree mytree=[&R]" or "tree mytree=[&U]"
    const char* lset_clock;          // "yes" or "no"
    bool key_counts_root;            // a leaf-pair path through the root counts the root
    int new_record_last_offset;      // a new archive record copies TimeVec[1 .. 2n + offset]
    int trbldg_line;                 // line number printed with the move-type error
    bool second_anneal_always;       // freeml runs the second search whatever `estimate` is
    bool timing_lines;               // clockml writes the two timing lines
    bool report_trailing_blank;      // clockml ends the run report with "\n\n"
    int qn_params;                   // size of the quasi-Newton parameter vector
    // command line and progress texts
    const char* name;                // "clockml" or "freeml"
    const char* version_line;        // answer to --version
    const char* help_summary;        // what the program does, for --help
    const char* help_files;          // the files it reads and writes, for --help
};
extern const ProgramInfo program;

// Start-up extras: clockml reads lin_info (when use_lin_info is 1); freeml does nothing.
void program_extra_inputs();
// Node values of a freshly joined random topology (clock times, or unit branch lengths).
void assign_start_values();
// Leaf set-up before the leaf partials: clockml's leaf rates, freeml's parsimony sets.
void program_leaf_setup();

// The step before a node update's branch matrices: clockml with per-lineage information
// sets the rate of each internal child (child 0 first) to the mean of its own children's
// rates in `rate_rows`, the current child table in every pass, also over a proposed tree;
// without that information clockml sets both rates to 1; freeml changes nothing.
void update_child_rates(const NodeOp& op, const std::vector<int>* rate_rows);
// Length of the branch above `child` (whose parent is `parent`) in the node-value array
// `times`, in expected substitutions per site at mu = 1; it reads and changes nothing else.
// clockml: the child's rate times the time difference; freeml: the child's value.
double branch_length(int parent, int child, const double* times);
// Whether a pass writes state that the partials of the current tree depend on (clockml's
// per-lineage rates, set from the current child table as a pass goes), so that rows kept
// from before a rejected proposal may differ from a pass over the current tree made now.
bool rates_follow_current_rows();

// The program's change of node values in the proposed tree for one annealing step
// (node X with parent P and children A, B before the move, S the sibling, k the move).
void propose_node_values(int X, int P, int A, int B, int S, int side, int k);

// Re-estimation of the model parameters during a search (after the burn-in and whenever
// the log-likelihood has risen enough); the caller recomputes the partials and undoes a
// result that lowered the log-likelihood.
void estimate_in_search();

// Improves the node values of the current tree in place (node times or branch lengths).
void optimise_tree_values();
// Prepares a tree loaded from the archive before its likelihood is computed.
void prepare_loaded_tree();

// Quasi-Newton fallback: the parameter vector p[1 .. program.qn_params].
void qn_load_params(double* p);
void qn_store_params(const double* p);
// Whether the minimiser's result may stand; otherwise the entry values are restored.
bool qn_result_acceptable();
