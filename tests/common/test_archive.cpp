#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive_setup.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "search/archive.hpp"
#include "support.hpp"

namespace {

using namespace archive_setup;

void start(int n, int n_keep) {
    reset_all_state();
    reset_archive(n, n_keep);
    set_tree(n, {6, 1, 3}, {7, 2, 4});  // ((1,2),(3,4))
}

TreeRecord* find(const std::string& key) {
    for (TreeRecord* r = archive.head; r; r = r->next)
        if (r->key == key) return r;
    return nullptr;
}

std::string list_keys() {
    std::string s;
    for (TreeRecord* r = archive.head; r; r = r->next) s += r->key + " ";
    return s;
}

}  // namespace

TEST(Archive, PathMatrixMatchesPlainWalk) {
    ASSERT_TRUE(program.key_counts_root);
    expect_path_matrix_matches_walk(12345, true);
}

TEST(Archive, KeysFromPathCounts) {
    reset_all_state();
    std::vector<std::vector<int>> m(4, std::vector<int>(4, 0));
    m[1][2] = 7; m[1][3] = 123; m[2][3] = 85;
    EXPECT_EQ(topology_key(m), std::string("00710") + char('0' + 23) + "00" + char('0' + 85));
    // Counts of 80 and more give bytes above 127; the list must still order by the counts.
    m[2][3] = 79;
    const std::string k79 = topology_key(m);
    m[2][3] = 85;
    const std::string k85 = topology_key(m);
    reset_archive(3, 5);
    reset_tree(3);
    archive_tree(k85, -1.0);
    archive_tree(k79, -1.0);
    EXPECT_EQ(archive.head->key, k79);

    start(4, 5);
    const std::string balanced = key_of_temp();
    EXPECT_EQ(balanced, "001003003003003001");
    set_tree(4, {7, 2, 4}, {6, 1, 3});  // children swapped at every node
    EXPECT_EQ(key_of_temp(), balanced);
    set_tree(4, {6, 7, 1}, {4, 3, 2});  // (((1,2),3),4): same unrooted tree, other root
    EXPECT_EQ(key_of_temp(), "001002003002003002");
}

TEST(Archive, CapacityEvictionAndSavedSlot) {
    start(4, 2);
    settings.min_trials = 10;
    archive_tree("b", -10);
    archive_tree("a", -20);
    archive_tree("c", -5);
    EXPECT_EQ(archive.archive_count, 3);
    EXPECT_EQ(list_keys(), "a b c ");

    // Over capacity: the worst ("a", slot 1) goes first, its slot is reused.
    TreeRecord* d = archive_tree("d", -7).record;
    EXPECT_EQ(list_keys(), "b c d ");
    EXPECT_EQ(d->slot, 1);

    // Over capacity and a known topology: "b" (slot 0) is evicted, "c" is hit, and the
    // free slot waits for the next new record.
    TreeRecord* c = archive_tree("c", -1).record;
    EXPECT_EQ(c, find("c"));
    EXPECT_EQ(c->hits, 2);
    EXPECT_EQ(c->lnL, -5);
    EXPECT_EQ(list_keys(), "c d ");
    EXPECT_EQ(archive.archive_full, 1);
    EXPECT_EQ(archive.saved_slot, 0);
    set_tree(4, {6, 1, 2}, {7, 3, 4});
    TreeRecord* e = archive_tree("e", -3).record;
    EXPECT_EQ(e->slot, 0);
    EXPECT_EQ(archive.archive_full, 0);
    EXPECT_EQ(archive.archive_count, 3);
    EXPECT_EQ(archive.pppTR[0], (std::vector<int>{6, 1, 2, 0, 7, 3, 4, 0}));

    // Equal lowest lnL: the earlier key goes.
    start(4, 1);
    archive_tree("y", -10);
    archive_tree("x", -10);
    archive_tree("z", -1);
    EXPECT_EQ(list_keys(), "y z ");
}

TEST(Archive, HitsCountersAndStoredTrees) {
    start(4, 5);
    settings.min_trials = 3;
    ann.anneal_iter = 5;
    mp.ratio = 2.5;
    for (int i = 0; i <= 8; ++i) tree.cur.TimeVec[i] = 10 + i;
    const ArchiveEntry fresh = archive_tree("k", -10);
    TreeRecord* r = fresh.record;
    EXPECT_TRUE(fresh.resets_stop_count);  // a new topology
    EXPECT_EQ(archive.ppTimeVec[r->slot][8], 18);  // a new clock record keeps TimeVec[1..2n]
    EXPECT_EQ(archive.ppTimeVec[r->slot][0], 0);
    EXPECT_EQ(archive.pppTR[r->slot], (std::vector<int>{6, 1, 3, 0, 7, 2, 4, 0}));

    // A re-hit stores the new tree and ratio but keeps the first hit's values.
    ann.anneal_iter = 9;
    ann.first_pass = 0;
    mp.ratio = 4.0;
    set_tree(4, {6, 7, 1}, {4, 3, 2});
    for (int i = 0; i <= 8; ++i) tree.cur.TimeVec[i] = 20 + i;
    const ArchiveEntry again = archive_tree("k", -2);
    EXPECT_EQ(again.record, r);
    EXPECT_EQ(r->first_hit, 5);
    EXPECT_EQ(r->first_pass, 1);
    EXPECT_EQ(r->lnL, -10);
    EXPECT_EQ(r->ratio, 4.0);
    EXPECT_EQ(r->hits, 2);
    EXPECT_TRUE(again.resets_stop_count);  // 2 hits, below min_trials
    EXPECT_EQ(archive.pppTR[r->slot], (std::vector<int>{6, 7, 1, 0, 4, 3, 2, 0}));
    for (int i = 1; i <= 8; ++i) EXPECT_EQ(archive.ppTimeVec[r->slot][i], 20 + i);
    EXPECT_FALSE(archive_tree("k", -2).resets_stop_count);  // 3 hits
    EXPECT_EQ(archive.second_pass_count, 0);

    // Records made and removed during the second pass are counted.
    archive_tree("m", -1);
    archive_tree("n", -3);
    EXPECT_EQ(archive.second_pass_count, 2);
    EXPECT_EQ(find("m")->first_pass, 0);
    EXPECT_EQ(find("m")->first_hit, 9);
    archive.n_keep = 4;
    halve_archive();  // three records down to two: "k" (-10) goes
    EXPECT_EQ(archive.n_keep, 2);
    EXPECT_EQ(list_keys(), "m n ");
    EXPECT_EQ(archive.second_pass_count, 1);
    archive.n_keep = 5;
    halve_archive();
    EXPECT_EQ(archive.n_keep, 2);
    EXPECT_EQ(archive.archive_count, 2);

    // Whole path: swapped children hit the same record, another root makes a new one.
    start(4, 5);
    TreeRecord* first = archive_current_tree(-4).record;
    set_tree(4, {7, 2, 4}, {6, 1, 3});
    EXPECT_EQ(archive_current_tree(-4).record, first);
    set_tree(4, {6, 7, 1}, {4, 3, 2});
    EXPECT_NE(archive_current_tree(-4).record, first);
    EXPECT_EQ(archive.archive_count, 2);
}

TEST(Archive, SlotStoreGrowsAndNeverShared) {
    reset_all_state();
    reset_archive(4, 1000000000);
    EXPECT_LE(archive.pppTR.size(), 100u);
    start(4, 100);
    for (int i = 0; i < 80; ++i) {
        tree.cur.TimeVec[3] = i;
        TreeRecord* r = archive_tree(std::to_string(1000 + i), -1.0 - i).record;
        ASSERT_EQ(r->slot, i);
        EXPECT_EQ(archive.ppTimeVec[i][3], i);
    }

    // A saved slot dropped when the capacity doubles must not let two records share one.
    start(4, 2);
    archive_tree("a", -3);
    archive_tree("b", -2);
    TreeRecord* c = archive_tree("c", -1).record;
    archive_tree("b", -2);  // evicts "a" (slot 0) and remembers it
    archive.n_keep = 4;
    archive.archive_full = 0;
    set_tree(4, {6, 1, 2}, {7, 3, 4});
    TreeRecord* d = archive_tree("d", -1).record;
    EXPECT_NE(d->slot, c->slot);
    EXPECT_EQ(archive.pppTR[c->slot], (std::vector<int>{6, 1, 3, 0, 7, 2, 4, 0}));
}
