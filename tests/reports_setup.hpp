// Set-ups and expected texts of the report writers, shared by the tests of both programs;
// what differs between the programs is written out in each program's test file.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "engine/model.hpp"
#include "output/reports.hpp"
#include "support.hpp"

namespace reports_setup {

// Four taxa A..D and an archive of capacity 5 holding two records: slot 0 is
// 5 -> (7, 6), 6 -> (A, B), 7 -> (C, D); slot 1 is 5 -> (6, D), 6 -> (7, A), 7 -> (B, C).
// The first record in key order has log-likelihood `first_lnl`, the second -12.25.
inline void two_record_archive(double first_lnl = -10.5) {
    reset_all_state();
    reset_tree(4);
    for (const char* name : {"A", "B", "C", "D"}) alignment.TaxonNames.push_back(name);
    reset_archive(4, 5);
    archive.pppTR[0] = {7, 1, 3, 0, 6, 2, 4, 0};
    archive.pppTR[1] = {6, 7, 2, 0, 4, 1, 3, 0};
    TreeRecord* second = new TreeRecord{"k2", 40, 0, -12.25, 3.5, 1, 1, nullptr, {}};
    archive.head = new TreeRecord{"k1", 4, 1, first_lnl, 2.0, 3, 0, second, {}};
    archive.archive_count = 2;
}

// What write_best_tree_listing writes to besttree and to treefile.
inline std::pair<std::string, std::string> listing() {
    FILE* bt = tmpfile();
    FILE* tf = tmpfile();
    run_files.besttree = bt;
    run_files.treefile = tf;
    write_best_tree_listing();
    std::pair<std::string, std::string> out{file_text(bt), file_text(tf)};
    fclose(bt);
    fclose(tf);
    run_files.besttree = run_files.treefile = nullptr;
    return out;
}

// The besttree text of two_record_archive's listing, with the program's label of lnL:
// the two records best first, numbered in that order, under a heading that counts them.
inline std::string expected_besttree(const std::string& lnl_label, double first_lnl = -10.5) {
    char lnl[32];
    snprintf(lnl, sizeof lnl, "%f", first_lnl);
    const std::string first = "First hit:  4\n" + lnl_label + lnl + "\n" +
                              "Transition/transversion ratio:  2.000000\n"
                              "Number of times hit:  3\n"
                              "Hit in first annealing pass:  1\n"
                              "\n\n";
    const std::string second = "First hit:  40\n" + lnl_label + "-12.250000\n" +
                               "Transition/transversion ratio:  3.500000\n"
                               "Number of times hit:  1\n"
                               "Hit in first annealing pass:  0\n"
                               "\n\n";
    const bool swapped = first_lnl < -12.25;
    return "The 2 trees with the best likelihoods were:\n\n\n"
           "Tree Number 1\n\n" + (swapped ? second : first) +
           "Tree Number 2\n\n" + (swapped ? first : second);
}

// The trees block written for two_record_archive (the PAUP block after it cut off).
inline std::string trees_block() {
    const std::string text = capture([](FILE* f) {
        run_files.paupfile = f;
        write_nexus_trees_and_paup();
    });
    run_files.paupfile = nullptr;
    return text.substr(0, text.find("Begin paup;"));
}

// The trees and PAUP blocks for an empty archive under `model`, `estimate` and `nreps`;
// the fixed ratio is F84's 2 or, under the other models, 2.5 (whatever stands is written).
inline std::string paup_blocks(int model, int estimate, int nreps) {
    reset_all_state();
    reset_archive(4, 5);
    settings.model = model;
    settings.estimate = estimate;
    settings.nreps = nreps;
    mp.ratio = model == 2 ? 2.0 : 2.5;
    const std::string text = capture([](FILE* f) {
        run_files.paupfile = f;
        write_nexus_trees_and_paup();
    });
    run_files.paupfile = nullptr;
    return text;
}

// The lset line of the PAUP block for each model and `estimate` (0, 1, 2): the model of
// the run with the ratio it estimated or held; `clock` is "yes" or "no".
inline std::string lset_line(int model, int estimate, const std::string& clock) {
    const std::string end = "clock=" + clock + ";\n";
    const std::string est = estimate == 1 ? "estimate" : "2.5";
    switch (model) {
        case 1:  // HKY's ratio is never estimated
            return "lset nst=2 basefreq=empirical tratio=2.5 variant=hky " + end;
        case 2:
            return "lset nst=2 basefreq=empirical tratio=" +
                   std::string(estimate == 1 ? "estimate" : "2.0") + " variant=F84 " + end;
        case 3:  // JC has no ratio to estimate
            return "lset nst=1 basefreq=equal " + end;
        default:
            return "lset nst=2 basefreq=equal tratio=" + est + " " + end;
    }
}

// Every model x estimate, without a bootstrap (nreps 0 and negative: the four fixed lines
// around the lset line) and with one (its three lines before "End;").
inline void expect_paup_blocks(const std::string& clock) {
    const std::string trees = "Begin trees;\n\nEnd;\n\n";
    for (int model = 1; model <= 4; ++model)
        for (int estimate = 0; estimate <= 2; ++estimate) {
            const std::string lset = lset_line(model, estimate, clock);
            const std::string head = trees + "Begin paup;\nset criterion=likelihood;\n" + lset;
            for (int nreps : {0, -3})
                EXPECT_EQ(paup_blocks(model, estimate, nreps), head + "lscores;\nEnd;\n")
                    << "model " << model << " estimate " << estimate << " nreps " << nreps;
            EXPECT_EQ(paup_blocks(model, estimate, 250),
                      head +
                          "lscores;\n"
                          "bootstrap nreps=250 search=heuristic treefile=temp grpfreq=no brlens=yes;\n"
                          "gettrees file=temp;\n"
                          "lscores scorefile=lscores.boot;\n"
                          "End;\n")
                << "model " << model << " estimate " << estimate;
        }
}

// The run report under K2P (Kprime 2.5, ratio 2) with two patterns of weight 2, after a
// search with the values below; `estimate` decides whether the ratio lines appear.
inline std::string run_report(int estimate) {
    reset_all_state();
    set_patterns({"AG", "AC"}, {2, 2});
    use_model(4);
    settings.estimate = estimate;
    settings.burnin_len = 100;
    settings.stop_count = 200;
    settings.min_trials = 5;
    ann.beta = 0.25f;
    ann.co = 1.5;
    ann.anneal_iter = 1234;
    ann.ci = 0.125;
    ann.n_changes = 17;
    ann.n_accepted = 321;
    mp.mu = 0.75;
    ann.best.mu = 0.7;
    ann.best.Kprime = 3.5;
    const std::string text = capture([](FILE* f) {
        run_files.results = f;
        write_run_report();
    });
    run_files.results = nullptr;
    return text;
}

inline const std::string kReportSearch =
    " The number of iterations during the burnin period is 100\n\n"
    " The number of iterations after last unique tree proposed is at least 200\n\n"
    " The number of trials within each tree must be at least 5\n\n"
    " The value of beta is 0.250000\n\n"
    " The estimated value of co is 1.500000\n\n"
    " The number of iterations was 1234\n\n"
    " The final value of ci was 0.125000\n\n"
    " The overall number of topology changes was 17\n\n"
    " The total number of trees accepted was 321\n\n"
    " The final estimate of mu is 0.750000\n\n"
    " The estimate of mu associated with the best tree is 0.700000\n\n";
// Under K2P the ratio is K' - 1/2, and mu_from_ratio of ratio 2 is 2/3.
inline const std::string kReportRatio =
    " The estimate of the transition/transversion parameter associated with the best tree is "
    "2.500000\n\n"
    " The estimate of the transition/transversion ratio associated with the best trees is "
    "3.000000\n\n"
    " The final estimate of the transition/transversion parameter is 1.500000\n\n"
    " The corresponding estimate of the transition/transversion ratio is 2.000000\n\n"
    " The scaled estimate of mu depending on the transition/transversion ratio is 0.666667\n\n";
// 4 ln(2/4)
inline const std::string kReportEnd =
    " The maximum unconstrained likelihood is -2.772589\n\n"
    "================================================================\n\n";

}  // namespace reports_setup
