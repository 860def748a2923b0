// Best-tree archive: the distinct topologies met by the search, kept in ascending key
// order, each with a stored copy of its tree in a slot of archive.pppTR / ppTimeVec.
#include "search/archive.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "base/fatal.hpp"
#include "base/program_info.hpp"
#include "base/state.hpp"
#include "engine/model.hpp"

namespace {

// Work arrays of fill_path_matrix, kept between calls so that the search does not
// allocate for every topology change.
std::vector<int> preorder_nodes;   // nodes of the proposed tree in preorder, first child first
std::vector<int> depth_of;         // edges from each node up to the root
std::vector<int> leaf_at;          // leaves in preorder
std::vector<int> first_leaf;       // each node's leaves are leaf_at[first_leaf .. end_leaf)
std::vector<int> end_leaf;
std::vector<int> pending;          // stack of the preorder walk

// Makes sure `slot` exists in the tree store with rows large enough for the current tree.
// The store grows here rather than at start-up, so a large capacity in the settings costs
// memory only as trees actually fill it.
void ensure_slot(int slot) {
    const std::size_t n = static_cast<std::size_t>(tree.n);
    const std::size_t need = static_cast<std::size_t>(slot) + 1;
    if (archive.pppTR.size() < need) archive.pppTR.resize(need);
    if (archive.ppTimeVec.size() < need) archive.ppTimeVec.resize(need);
    if (archive.pppTR[slot].size() < 2 * n) archive.pppTR[slot].resize(2 * n, 0);
    if (archive.ppTimeVec[slot].size() < 2 * n + 1) archive.ppTimeVec[slot].resize(2 * n + 1, 0.0);
}

// Copies the current child rows (row 0 to entries 0..n-2, row 1 to entries n..2n-2) and
// TimeVec[1 .. last] into `slot`.
void store_current_tree(int slot, int last) {
    ensure_slot(slot);
    const int n = tree.n;
    std::vector<int>& rows = archive.pppTR[slot];
    for (int k = 0; k <= n - 2; ++k) {
        rows[k] = tree.cur.ppTwoRow[0][k];
        rows[n + k] = tree.cur.ppTwoRow[1][k];
    }
    std::vector<double>& times = archive.ppTimeVec[slot];
    for (int i = 1; i <= last; ++i) times[i] = tree.cur.TimeVec[i];
    // Entry 0, which no node uses, keeps a dated clock tree's age scale with its times.
    times[0] = tree.cur.age_scale;
}

bool slot_in_use(int slot) {
    for (const TreeRecord* r = archive.head; r != nullptr; r = r->next)
        if (r->slot == slot) return true;
    return false;
}

// The lowest slot that no record holds. With archive_count records one of the slots
// 0 .. archive_count is always free.
int lowest_free_slot() {
    std::vector<char> used(static_cast<std::size_t>(archive.archive_count) + 1, 0);
    for (const TreeRecord* r = archive.head; r != nullptr; r = r->next)
        if (r->slot >= 0 && r->slot <= archive.archive_count) used[r->slot] = 1;
    int slot = 0;
    while (used[slot]) ++slot;
    return slot;
}

}  // namespace

void free_tree_record(TreeRecord* record) {
    if (record == archive.cur_record) archive.cur_record = nullptr;
    delete record;
}

void clear_archive() {
    for (TreeRecord* r = archive.head; r != nullptr;) {
        TreeRecord* next = r->next;
        free_tree_record(r);
        r = next;
    }
    archive.head = nullptr;
    archive.archive_count = 0;
}

void fill_path_matrix() {
    const int n = tree.n;
    if (n < 2) return;
    const int root = n + 1;
    const std::vector<int>* rows = tree.temp.ppTwoRow;
    const std::vector<int>& par = tree.temp.parents;

    preorder_nodes.clear();
    preorder_nodes.reserve(2 * n);
    depth_of.assign(2 * n + 1, 0);
    leaf_at.assign(n, 0);
    first_leaf.assign(2 * n + 1, 0);
    end_leaf.assign(2 * n + 1, 0);
    pending.clear();
    std::vector<std::vector<int>>& m = archive.ppMatrix;
    if (m.size() < static_cast<std::size_t>(n) + 1) m.resize(n + 1);
    for (std::vector<int>& row : m)
        if (row.size() < static_cast<std::size_t>(n) + 1) row.resize(n + 1, 0);

    // Preorder walk of the child table from the root; the second child goes on the stack
    // first so that the first child's subtree is visited (and its leaves numbered) first.
    pending.push_back(root);
    while (!pending.empty()) {
        const int v = pending.back();
        pending.pop_back();
        preorder_nodes.push_back(v);
        if (v > n) {
            const int k = v - root;
            pending.push_back(rows[1][k]);
            pending.push_back(rows[0][k]);
        }
    }

    // Depths from the parents (a node's parent precedes it in preorder), then the leaves in
    // preorder, so that every subtree's leaves form one run of leaf_at.
    int pos = 0;
    for (const int v : preorder_nodes) {
        if (v != root) depth_of[v] = depth_of[par[v]] + 1;
        if (v <= n) {
            leaf_at[pos] = v;
            first_leaf[v] = pos;
            end_leaf[v] = ++pos;
        }
    }
    for (auto it = preorder_nodes.rbegin(); it != preorder_nodes.rend(); ++it) {
        const int v = *it;
        if (v <= n) continue;
        const int k = v - root;
        first_leaf[v] = first_leaf[rows[0][k]];
        end_leaf[v] = end_leaf[rows[1][k]];
    }

    // Two leaves on opposite sides of internal node v meet at v: their path has
    // depth(i) + depth(j) - 2 depth(v) edges, one more than it has internal nodes. At the
    // root of an unrooted tree the two root branches are one edge, so the root itself is
    // not a node of the path there.
    for (const int v : preorder_nodes) {
        if (v <= n) continue;
        const int k = v - root;
        const int c0 = rows[0][k], c1 = rows[1][k];
        const int base = -2 * depth_of[v] - 1 - (v == root && !program.key_counts_root ? 1 : 0);
        for (int x = first_leaf[c0]; x < end_leaf[c0]; ++x) {
            const int i = leaf_at[x];
            const int di = depth_of[i] + base;
            for (int y = first_leaf[c1]; y < end_leaf[c1]; ++y) {
                const int j = leaf_at[y];
                m[i][j] = m[j][i] = di + depth_of[j];
            }
        }
    }
}

std::string topology_key(const std::vector<std::vector<int>>& matrix) {
    const std::size_t n = matrix.empty() ? 0 : matrix.size() - 1;
    const std::size_t length = n > 0 ? 3 * (n * (n - 1) / 2) : 0;
    char* aa = new (std::nothrow) char[length + 1];
    if (aa == nullptr) fatal("can't memalloc aa\n");
    // Every character is at least '0', so byte order of two keys is the order of their
    // lists of path counts (the third character runs past '9' for counts of 10 and more).
    std::size_t c = 0;
    for (std::size_t i = 1; i < n; ++i)
        for (std::size_t j = i + 1; j <= n; ++j) {
            const int d = matrix[i][j];
            aa[c++] = static_cast<char>('0' + d / 100);
            aa[c++] = '0';
            aa[c++] = static_cast<char>('0' + d % 100);
        }
    aa[c] = '\0';
    std::string key(aa, c);
    delete[] aa;
    return key;
}

int evict_worst_tree() {
    // Log-likelihoods are negative, so the running minimum starts at 0.0.
    double lowest = 0.0;
    for (const TreeRecord* r = archive.head; r != nullptr; r = r->next)
        if (r->lnL < lowest) lowest = r->lnL;
    TreeRecord** link = &archive.head;
    while (*link != nullptr && !((*link)->lnL == lowest)) link = &(*link)->next;
    // No record at or below 0.0 (only NaN or positive values): remove the first record
    // rather than nothing, so that the archive still shrinks.
    if (*link == nullptr) link = &archive.head;
    TreeRecord* worst = *link;
    if (worst == nullptr) return 0;
    *link = worst->next;
    const int slot = worst->slot;
    free_tree_record(worst);
    archive.archive_count -= 1;
    if (ann.first_pass == 0) archive.second_pass_count -= 1;
    return slot;
}

void halve_archive() {
    while (archive.archive_count > archive.n_keep / 2 && archive.head != nullptr)
        evict_worst_tree();
    archive.n_keep = archive.n_keep / 2;
}

ArchiveEntry archive_tree(std::string key, double lnL) {
    TreeRecord* record = new (std::nothrow) TreeRecord;
    if (record == nullptr) out_of_memory("TreeRecord");
    record->key = std::move(key);

    int slot;
    if (archive.archive_count > archive.n_keep)
        slot = evict_worst_tree();
    else
        slot = archive.archive_count;
    if (archive.archive_full) slot = archive.saved_slot;

    TreeRecord** link = &archive.head;
    while (*link != nullptr && record->key > (*link)->key) link = &(*link)->next;
    TreeRecord* found = *link;

    if (found == nullptr || found->key != record->key) {
        if (archive.archive_count + 1 > archive.n_keep) archive.archive_full = 0;
        // When the capacity is doubled for the second search, a slot remembered from an
        // eviction is dropped and the next fresh slot number may still be held by a
        // record; never let two records share a stored tree.
        if (slot_in_use(slot)) slot = lowest_free_slot();
        record->first_hit = ann.anneal_iter;
        record->lnL = lnL;
        record->ratio = mp.ratio;
        record->params = current_estimates();
        record->hits = 1;
        record->first_pass = ann.first_pass;
        record->slot = slot;
        store_current_tree(slot, 2 * tree.n + program.new_record_last_offset);
        record->next = found;
        *link = record;
        archive.archive_count += 1;
        if (ann.first_pass == 0) archive.second_pass_count += 1;
        // Evicting before each new record bounds the archive by its capacity plus one;
        // anything more is a broken invariant, not a condition of the data.
        if (archive.archive_count > archive.n_keep + 1) {
            fprintf(stderr, "archive holds %d records, more than its capacity %d plus one\n",
                    archive.archive_count, archive.n_keep);
            abort();
        }
        return ArchiveEntry{record, true};
    }

    // A topology already on file: refresh its stored tree and ratio, count the hit.
    if (archive.archive_count + 1 > archive.n_keep) {
        archive.archive_full = 1;
        archive.saved_slot = slot;
    }
    store_current_tree(found->slot, 2 * tree.n);
    found->ratio = mp.ratio;
    found->params = current_estimates();
    found->hits += 1;
    free_tree_record(record);
    return ArchiveEntry{found, found->hits < settings.min_trials};
}

ArchiveEntry archive_current_tree(double lnL) {
    fill_path_matrix();
    return archive_tree(topology_key(archive.ppMatrix), lnL);
}

void refresh_record_of_current_tree(double lnL) {
    fill_path_matrix();
    const std::string key = topology_key(archive.ppMatrix);
    for (TreeRecord* r = archive.head; r != nullptr; r = r->next) {
        if (r->key != key) continue;
        r->lnL = lnL;
        r->ratio = mp.ratio;
        r->params = current_estimates();
        store_current_tree(r->slot, 2 * tree.n);
        return;
    }
}

std::vector<const TreeRecord*> records_best_first() {
    std::vector<const TreeRecord*> list;
    list.reserve(static_cast<std::size_t>(archive.archive_count));
    for (const TreeRecord* r = archive.head; r != nullptr; r = r->next) list.push_back(r);
    const auto rank = [](const TreeRecord* r) { return std::isnan(r->lnL) ? -HUGE_VAL : r->lnL; };
    // The list is in key order, which the stable sort keeps among equal log-likelihoods.
    std::stable_sort(list.begin(), list.end(), [&](const TreeRecord* a, const TreeRecord* b) {
        return rank(a) > rank(b);
    });
    return list;
}
