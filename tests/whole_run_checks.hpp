// The checks every whole run must pass, shared by the whole-run tests of both programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "whole_run.hpp"

namespace whole_run {

// The best tree as treefile prints it scores, by the reference likelihood, what the run
// reports for it; and besttree lists its trees best first.
inline void expect_trustworthy_run(const std::string& example,
                                   const std::map<std::string, std::string>& changes,
                                   const std::string& lnl_label) {
    std::string what = example;
    for (const auto& [label, value] : changes) what += " " + label + "=" + value;
    const std::string dir = run_example(example, changes);
    EXPECT_NEAR(reference_best_lnl(dir), ann.lnL_best, 1e-3) << what;
    const std::string listing = slurp(dir + "/besttree");
    double previous = 0;
    int count = 0;
    for (size_t at = listing.find(lnl_label); at != std::string::npos;
         at = listing.find(lnl_label, at + 1), ++count) {
        const double lnl = strtod(listing.c_str() + at + lnl_label.size(), nullptr);
        if (count > 0) {
            EXPECT_LE(lnl, previous) << what << ": tree " << count + 1;
        }
        previous = lnl;
    }
    EXPECT_NE(listing.find("The " + std::to_string(count) + " trees with the best"),
              std::string::npos) << what;
    std::filesystem::remove_all(dir);
}

}  // namespace whole_run
