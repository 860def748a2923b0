// clockml's texts and switches for the shared code.
#include "base/program_info.hpp"
#include "base/state.hpp"

const ProgramInfo program = {
    /*console_banner*/ "\n ZELVO Version 1.0 (Molecular clock version)\n\n",
    /*results_banner*/
    "\nMAXIMUM LIKELIHOOD ESTIMATION USING SIMULATED ANNEALING\n"
    "      UNDER THE ASSUMPTION OF A MOLECULAR CLOCK\n",
    /*besttree_banner*/
    "\nMAXIMUM LIKELIHOOD ESTIMATION USING SIMULATED ANNEALING\n"
    "      UNDER THE ASSUMPTION OF A MOLECULAR CLOCK\n\n",
    /*has_lin_info*/ true,
    /*pattern_lead*/ "\n",
    /*flush_after_banner*/ false,
    /*flush_after_model*/ false,
    /*flush_after_initial*/ true,
    /*initial_lnl_text*/ "The likelihood of the initial tree is %f",
    /*listing_lnl_label*/ "Max ln L for tree:  %f\n",
    /*unrooted_newick*/ false,
    /*nexus_tree_prefix*/ "tree mytree=[&R]",
    /*lset_clock*/ "yes",
    /*key_counts_root*/ true,
    /*new_record_last_offset*/ 0,
    /*trbldg_line*/ 225,
    /*second_anneal_always*/ false,
    /*timing_lines*/ true,
    /*report_trailing_blank*/ true,
    /*qn_params*/ 2,
    /*name*/ "clockml",
    /*version_line*/ "clockml 1.0 (ZELVO, molecular clock version)\n",
    /*help_summary*/
    "Estimates a maximum-likelihood rooted tree of DNA sequences under a molecular\n"
    "clock by simulated annealing: every node has a time between the root (0) and\n"
    "the leaves (1), optionally with per-lineage rates from lin_info.\n",
    /*help_files*/
    "Reads, from the current folder:\n"
    "  infile        the alignment: FASTA, PHYLIP, NEXUS, or seven numbers and\n"
    "                the named sequences\n"
    "  settings      22 lines of a label and a value (model, search, seeds)\n"
    "  lin_info      one line per sequence: a number and two rates; needed and\n"
    "                read only when use_lin_info (settings line 16) is 1\n"
    "Writes, into the current folder (replacing earlier files):\n"
    "  results       data summary, model, estimates and the report of the search\n"
    "  besttree      the best trees found, with their log-likelihoods\n"
    "  treefile      the best trees in Newick form\n"
    "  paupfile.nex  NEXUS data, the best trees and a PAUP block to re-score them\n"
    "  best.tre      the best tree with its branch lengths, plain Newick\n"
    "  runlog        how the reports were made: version, command, input, settings,\n"
    "                seeds, host, times and exit status\n",
};
