// The single pass of a run, shared by clockml and freeml: run files, data, model,
// starting tree, annealing and the reports. The programs differ only through the
// functions and texts of program.hpp.
#include "run.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "alignment.hpp"
#include "anneal.hpp"
#include "archive.hpp"
#include "likelihood.hpp"
#include "model.hpp"
#include "newick.hpp"
#include "program.hpp"
#include "reports.hpp"
#include "rng.hpp"
#include "settings.hpp"
#include "state.hpp"
#include "tree.hpp"

namespace {

// Data, model and the starting tree with its likelihood and archive record.
void start_up() {
    start_timer();
    clear_archive();
    if (!open_run_files()) {
        printf("can't open file \n");
        exit(1);
    }
    std::string infile_text;
    if (!read_whole_file(run_files.infile, infile_text)) {
        printf("Can't open infile\n");
        printf("can't open file \n");
        exit(1);
    }
    const size_t offset = parse_infile_header(infile_text);
    const int n = settings.ntaxa;

    printf("%s", program.console_banner);
    printf("  %d sequences and %d sites read from infile\n", n, settings.nsites);

    read_settings();
    compute_derived_counts();
    seed_all(settings.seed1, settings.seed2);

    reset_tree(n);
    reset_archive(n, settings.n_keep);
    program_extra_inputs();

    fputs(program.results_banner, run_files.results);
    fputs(program.besttree_banner, run_files.besttree);
    if (program.flush_after_banner) fflush(nullptr);

    parse_sequences(infile_text, offset);
    fclose(run_files.infile);
    run_files.infile = nullptr;
    infile_text.clear();
    infile_text.shrink_to_fit();

    write_nexus_data();
    build_patterns();
    if (settings.print_patterns == 1) print_pattern_table();
    if (settings.print_alignment == 1) print_pattern_alignment();

    setup_model();
    if (program.flush_after_model) fflush(nullptr);

    reset_likelihood_tables(n, alignment.npat);
    make_start_tree();
    copy_tree_current_to_temp();
    program_leaf_setup();
    init_leaf_partials();

    full_pass();
    ann.lnL_cur = ann.lnL_best = log_likelihood();
    fprintf(run_files.results, program.initial_lnl_text, ann.lnL_cur);
    fputs("\n\n", run_files.results);
    fputs("-----------------------------------------------------------------\n\n",
          run_files.results);
    if (program.flush_after_initial) fflush(nullptr);

    copy_tree_current_to_best_prev();
    // The starting tree is the best tree until a proposal beats it.
    ann.best_mu = mp.mu;
    ann.best_Kprime = mp.Kprime;
    archive.cur_record = archive_current_tree(ann.lnL_cur);
}

}  // namespace

int run_program() {
    start_up();

    fputs("\nInformation about the simulated annealing procedure:\n\n", run_files.results);
    anneal();

    write_run_report();
    if (settings.estimate == 1) halve_archive();
    write_best_tree_listing();
    write_nexus_trees_and_paup();

    fputs("The best tree and branch lengths found by the algorithm:\n\n", run_files.treefile);
    write_newick_best(run_files.treefile);
    fputs(";\n\n", run_files.treefile);
    fputs("***See treefile for best trees in Newick format***\n\n\n", run_files.besttree);
    return 0;
}
