// freeml's texts and switches for the shared code.
#include "program.hpp"

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
};
