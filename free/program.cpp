// freeml's texts and switches for the shared code.
#include "base/program_info.hpp"
#include "base/state.hpp"

const ProgramInfo program = {
    /*console_banner*/ "\n ZELVO Version 1.0 (Non-molecular clock version)\n\n",
    /*results_banner*/ "\nMAXIMUM LIKEIHOOD ESTIMATION USING SIMULATED ANNEALING\n",
    /*besttree_banner*/ "\n\n\nMAXIMUM LIKELIHOOD ESTIMATION USING SIMULATED ANNEALING\n\n",
    /*has_lin_info*/ false,
    /*pattern_lead*/ "\n\n",
    /*flush_after_banner*/ true,
    /*flush_after_model*/ true,
    /*flush_after_initial*/ false,
    /*initial_lnl_text*/
    "The likelihood of the initial tree with parsimony approximated branch lengths is %f",
    /*listing_lnl_label*/ "ln L at first hit:  %f\n",
    /*unrooted_newick*/ true,
    /*nexus_tree_prefix*/ "tree mytree=[&U]",
    /*lset_clock*/ "no",
    /*key_counts_root*/ false,
    /*new_record_last_offset*/ -1,
    /*trbldg_line*/ 221,
    /*second_anneal_always*/ true,
    /*timing_lines*/ false,
    /*report_trailing_blank*/ false,
    /*qn_params*/ 1,
    /*name*/ "freeml",
    /*version_line*/ "freeml 1.0 (ZELVO, non-molecular clock version)\n",
    /*help_summary*/
    "Estimates a maximum-likelihood unrooted tree of DNA sequences without a\n"
    "molecular clock by simulated annealing: every branch has its own length.\n",
    /*help_files*/
    "Reads, from the current folder:\n"
    "  infile        the alignment: FASTA, PHYLIP, NEXUS, or seven numbers and\n"
    "                the named sequences\n"
    "  settings      22 lines of a label and a value (model, search, seeds)\n"
    "Writes, into the current folder (replacing earlier files):\n"
    "  results       data summary, model, estimates and the report of the search\n"
    "  besttree      the best trees found, with their log-likelihoods\n"
    "  treefile      the best trees in Newick form\n"
    "  paupfile.nex  NEXUS data, the best trees and a PAUP block to re-score them\n"
    "  best.tre      the best tree with its branch lengths, plain Newick\n"
    "  runlog        how the reports were made: version, command, input, settings,\n"
    "                seeds, host, times and exit status\n",
};
