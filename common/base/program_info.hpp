// The constant record of texts and switches by which each program (clockml, freeml) tells
// the shared code what differs between them: banners, labels, forms of the trees written,
// and a few switches of the flow. clockml's record is defined in clock/program.cpp,
// freeml's in free/program.cpp; the linker picks one.
#pragma once

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
