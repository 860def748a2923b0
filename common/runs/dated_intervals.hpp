// The bootstrap of a dated clock tree: how the ages of the best tree's clades, the rate and
// the root's age vary over the bootstrap replicates.
#pragma once

#include <string>
#include <vector>

// From the dated.tre and results of the best search (`top`) and of the completed bootstrap
// replicates (`boots`), over the taxa `sorted_names`: writes 'age_intervals' (each clade's age
// with the 95% interval of its age over the replicates that hold it, and their share; the
// same for the rate and the root's age) and dated.tre here, annotated with the intervals.
// true when there was nothing to do (the best search has no dated.tre) or all was written.
bool write_dated_intervals(const std::string& top, const std::vector<std::string>& boots,
                           const std::vector<std::string>& sorted_names);
