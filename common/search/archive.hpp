// Best-tree archive of distinct topologies.
#pragma once

#include <string>
#include <vector>

#include "base/state.hpp"

// Frees every record and empties the list (head null, archive_count 0).
void clear_archive();
// archive.ppMatrix[i][j] (both triangles) = number of internal nodes on the path between
// leaves i and j of the proposed tree (tree.temp.ppTwoRow / tree.temp.parents, which must
// describe the same tree). The root counts on a path through it only when
// program.key_counts_root is set.
void fill_path_matrix();
// Three characters per leaf pair i < j of `matrix` (rows 0..n): '0' + d/100, '0', '0' + d%100.
// Ends the run with "can't memalloc aa\n" when the buffer cannot be had.
std::string topology_key(const std::vector<std::vector<int>>& matrix);
// The record a tree was filed under, and whether that resets a search's count of moves
// since the last new tree: a new topology, or one now seen fewer than min_trials times.
struct ArchiveEntry {
    TreeRecord* record = nullptr;
    bool resets_stop_count = false;
};
// Files the current tree (tree.cur.ppTwoRow, tree.cur.TimeVec) under `key`: a new record, or
// the existing one of its topology with one more hit. Evicts the worst record first when
// the archive is over capacity.
ArchiveEntry archive_tree(std::string key, double lnL);
// Removes the record of lowest lnL (the first in key order among equals); returns its slot.
int evict_worst_tree();
// Evicts down to half the capacity, then halves the capacity.
void halve_archive();
void free_tree_record(TreeRecord* record);
// Archives the current tree (path matrix, key, archive_tree).
ArchiveEntry archive_current_tree(double lnL);
// The record of the current tree's topology, if the archive holds one, takes the current
// tree's node values, parameters and `lnL`.
void refresh_record_of_current_tree(double lnL);
// The records best first: by decreasing log-likelihood, equal ones in key order, a
// log-likelihood that is not a number last.
std::vector<const TreeRecord*> records_best_first();
