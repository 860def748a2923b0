// The root-to-tip regression of an unrooted tree against the sampling dates of its leaves:
// the tree is rooted where the residuals of divergence on date are smallest, and the slope
// (substitutions per site per unit of time), the root's date (where the line reaches zero
// divergence) and the correlation say whether the dates carry a clock signal.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "runs/start_tree.hpp"

struct RootToTip {
    bool ok = false;        // a line could be fitted (two dates at least, a tree)
    double slope = 0;       // divergence per unit of time
    double root_date = 0;   // where the line reaches zero divergence (slope > 0)
    double correlation = 0; // of divergence and date
    double r_squared = 0;
    double residual_ms = 0; // mean square of the residuals
    int branch = -1;        // the edge the root lies on, and its distance from the edge's a
    double position = 0;
};

// `edges` over leaves 0..n-1 (dates[i] of leaf i) and inner nodes n and up. Every edge is
// tried, the root placed where the residual sum of squares of that edge is least; ties go to
// the first edge.
RootToTip root_to_tip_regression(const std::vector<DistanceEdge>& edges, const std::vector<double>& dates);
// The regression's lines in a report, naming the tree it was made on.
void write_root_to_tip(FILE* out, const RootToTip& r, const char* tree_words);
// The dates of the sequences (the folder's dates file, or with `from_names` (the option
// --dates-from-names) the ends of the names), into alignment.tip_date, checked; the source's words for the reports, or ""
// when the run has no dates.
std::string read_run_tip_dates(bool from_names);
