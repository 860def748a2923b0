// clockml's texts and switches for the shared code.
#include "program.hpp"

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
};
