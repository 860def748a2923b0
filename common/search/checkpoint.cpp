// The checkpoint file: a text line that names what it belongs to (version, record layout,
// the inputs' checksums and the options that shape the search), then the records as they
// stand at the end of a search step, in binary, and a closing mark. The plain records are
// written as their bytes, which the layout line ties to this build of this version.
#include "search/checkpoint.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include "base/file_io.hpp"
#include "base/interrupt.hpp"
#include "base/state.hpp"
#include "base/timer.hpp"
#include "search/archive.hpp"

namespace {

constexpr const char* kMagic = "zelvo checkpoint 1";
constexpr const char* kEndMark = "end of checkpoint";

struct CheckpointState {
    int interval = 0;            // seconds; 0: no checkpoints
    std::string identity;
    double next_due = 0;         // wall clock
    bool written_on_interrupt = false;
    // For the tests of resuming: a checkpoint every `test_steps` calls instead of by the
    // clock, and the process ends abruptly (as if killed) after the `test_kill_after`-th.
    long test_steps = 0, test_kill_after = 0, calls = 0, written = 0;
};
CheckpointState g_ck;

// The sizes of the records written as bytes: a checkpoint of a build that lays them out
// otherwise is refused.
std::string layout_text() {
    char buf[160];
    snprintf(buf, sizeof buf, "layout %zu %zu %zu %zu %zu", sizeof(ModelParams), sizeof(RngState),
             sizeof(AnnealState), sizeof(ModelEstimates), sizeof(double));
    return buf;
}

std::string header_text() { return std::string(kMagic) + "\n" + g_ck.identity + "\n" + layout_text() + "\n"; }

// Writing.
struct Out {
    FILE* f;
    bool ok = true;
    void bytes(const void* p, size_t n) {
        if (ok && n > 0 && fwrite(p, 1, n, f) != n) ok = false;
    }
    template <class T>
    void pod(const T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&v, sizeof v);
    }
    template <class T>
    void vec(const std::vector<T>& v) {
        pod(static_cast<uint64_t>(v.size()));
        bytes(v.data(), v.size() * sizeof(T));
    }
    void text(const std::string& s) {
        pod(static_cast<uint64_t>(s.size()));
        bytes(s.data(), s.size());
    }
};

// Reading: every size is checked against what the file still holds.
struct In {
    const std::string& data;
    size_t at = 0;
    bool ok = true;
    void bytes(void* p, size_t n) {
        if (!ok || n > data.size() - at) {
            ok = false;
            return;
        }
        if (n > 0) memcpy(p, data.data() + at, n);
        at += n;
    }
    template <class T>
    void pod(T& v) {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes(&v, sizeof v);
    }
    uint64_t count(size_t unit) {
        uint64_t n = 0;
        pod(n);
        if (ok && (unit == 0 || n > (data.size() - at) / unit)) ok = false;
        return ok ? n : 0;
    }
    template <class T>
    void vec(std::vector<T>& v) {
        const uint64_t n = count(sizeof(T));
        if (!ok) return;
        v.resize(n);
        bytes(v.data(), n * sizeof(T));
    }
    void text(std::string& s) {
        const uint64_t n = count(1);
        if (!ok) return;
        s.assign(data.data() + at, n);
        at += n;
    }
};

template <class S>
void tree_copy(S& io, std::conditional_t<std::is_same_v<S, Out>, const TreeCopy, TreeCopy>& t) {
    io.vec(t.ppTwoRow[0]);
    io.vec(t.ppTwoRow[1]);
    io.vec(t.parents);
    io.vec(t.TimeVec);
    io.vec(t.RateVec);
    io.pod(t.age_scale);
}

void write_records(Out& o) {
    o.pod(elapsed_seconds());
    o.pod(rng);
    o.pod(mp);
    o.pod(ann);
    tree_copy(o, tree.cur);
    tree_copy(o, tree.temp);
    tree_copy(o, tree.best);
    // freeml's parsimony sets: a gap leaf's set is the one its parent had in the last tree
    // reconstructed, so the leaves' sets carry over from one tree to the next.
    o.vec(tree.pppLen);
    o.vec(tree.LenVec);
    o.pod(archive.n_keep);
    o.pod(archive.archive_full);
    o.pod(archive.saved_slot);
    o.pod(archive.second_pass_count);
    int count = 0, current = -1;
    for (const TreeRecord* r = archive.head; r != nullptr; r = r->next, ++count)
        if (r == archive.cur_record) current = count;
    o.pod(count);
    o.pod(current);
    for (const TreeRecord* r = archive.head; r != nullptr; r = r->next) {
        o.text(r->key);
        o.pod(r->first_hit);
        o.pod(r->first_pass);
        o.pod(r->lnL);
        o.pod(r->ratio);
        o.pod(r->hits);
        o.pod(r->slot);
        o.pod(r->params);
    }
    o.pod(static_cast<uint64_t>(archive.pppTR.size()));
    for (const std::vector<int>& v : archive.pppTR) o.vec(v);
    o.pod(static_cast<uint64_t>(archive.ppTimeVec.size()));
    for (const std::vector<double>& v : archive.ppTimeVec) o.vec(v);
    o.pod(static_cast<uint64_t>(archive.ppMatrix.size()));
    for (const std::vector<int>& v : archive.ppMatrix) o.vec(v);
}

// Whether a restored tree copy has the sizes of this run's tree.
bool same_shape(const TreeCopy& a, const TreeCopy& b) {
    return a.ppTwoRow[0].size() == b.ppTwoRow[0].size() && a.ppTwoRow[1].size() == b.ppTwoRow[1].size() &&
           a.parents.size() == b.parents.size() && a.TimeVec.size() == b.TimeVec.size() &&
           a.RateVec.size() == b.RateVec.size();
}

bool write_checkpoint() {
    const std::string part = std::string(kCheckpointName) + ".part";
    FILE* f = create_file(part.c_str());
    if (f == nullptr) return false;
    Out o{f};
    const std::string head = header_text();
    o.bytes(head.data(), head.size());
    write_records(o);
    o.bytes(kEndMark, strlen(kEndMark));
    bool ok = o.ok && fflush(f) == 0 && fsync(fileno(f)) == 0;
    ok = fclose(f) == 0 && ok;
    if (!ok) {
        printf("Note: the checkpoint could not be written (%s); the run goes on\n", strerror(errno));
        unlink(part.c_str());
        return false;
    }
    return rename(part.c_str(), kCheckpointName) == 0;
}

}  // namespace

void start_checkpoints(int seconds, const std::string& identity) {
    g_ck = CheckpointState{};
    g_ck.interval = seconds;
    g_ck.identity = identity;
    g_ck.next_due = wall_seconds_now() + seconds;
    if (const char* v = getenv("ZELVO_CHECKPOINT_STEPS")) g_ck.test_steps = atol(v);
    if (const char* v = getenv("ZELVO_CHECKPOINT_KILL")) g_ck.test_kill_after = atol(v);
}

void checkpoint_if_due() {
    if (g_ck.interval <= 0) return;
    if (search_interrupted()) {
        if (!g_ck.written_on_interrupt) write_checkpoint();
        g_ck.written_on_interrupt = true;
        return;
    }
    if (g_ck.test_steps > 0) {
        if (++g_ck.calls % g_ck.test_steps != 0) return;
        write_checkpoint();
        if (++g_ck.written == g_ck.test_kill_after) _exit(137);
        return;
    }
    // Reading the clock costs tens of nanoseconds, a step far more.
    const double now = wall_seconds_now();
    if (now < g_ck.next_due) return;
    write_checkpoint();
    g_ck.next_due = wall_seconds_now() + g_ck.interval;
}

bool restore_checkpoint(std::string& why) {
    std::string data;
    errno = 0;
    if (!read_text_file(kCheckpointName, data)) {
        why = std::string("cannot read it: ") + (errno != 0 ? strerror(errno) : "read error");
        return false;
    }
    const std::string head = header_text();
    if (data.compare(0, strlen(kMagic), kMagic) != 0) {
        why = "it is not a checkpoint of these programs";
        return false;
    }
    if (data.compare(0, head.size(), head) != 0) {
        // Say which line differs: the version and inputs, or the build's layout.
        const size_t line2 = data.find('\n') + 1;
        const size_t end2 = data.find('\n', line2);
        const std::string theirs = end2 == std::string::npos ? "" : data.substr(line2, end2 - line2);
        why = theirs != g_ck.identity
                  ? "it belongs to another run (" + theirs + "), not to this one (" + g_ck.identity + ")"
                  : "it was written by another build of the programs";
        return false;
    }
    In in{data, head.size()};
    double seconds = 0;
    in.pod(seconds);
    RngState r;
    ModelParams m;
    AnnealState a;
    in.pod(r);
    in.pod(m);
    in.pod(a);
    TreeCopy cur, temp, best;
    tree_copy(in, cur);
    tree_copy(in, temp);
    tree_copy(in, best);
    std::vector<int> parsimony_sets, parsimony_lengths;
    in.vec(parsimony_sets);
    in.vec(parsimony_lengths);
    Archive arc;
    in.pod(arc.n_keep);
    in.pod(arc.archive_full);
    in.pod(arc.saved_slot);
    in.pod(arc.second_pass_count);
    int count = 0, current = -1;
    in.pod(count);
    in.pod(current);
    std::vector<TreeRecord> records(in.ok && count >= 0 && count <= 1000000 ? count : 0);
    for (TreeRecord& rec : records) {
        in.text(rec.key);
        in.pod(rec.first_hit);
        in.pod(rec.first_pass);
        in.pod(rec.lnL);
        in.pod(rec.ratio);
        in.pod(rec.hits);
        in.pod(rec.slot);
        in.pod(rec.params);
    }
    arc.pppTR.resize(in.count(sizeof(uint64_t)));
    for (std::vector<int>& v : arc.pppTR) in.vec(v);
    arc.ppTimeVec.resize(in.count(sizeof(uint64_t)));
    for (std::vector<double>& v : arc.ppTimeVec) in.vec(v);
    arc.ppMatrix.resize(in.count(sizeof(uint64_t)));
    for (std::vector<int>& v : arc.ppMatrix) in.vec(v);
    const bool shaped = same_shape(cur, tree.cur) && same_shape(temp, tree.cur) && same_shape(best, tree.cur) &&
                        parsimony_sets.size() == tree.pppLen.size() && parsimony_lengths.size() == tree.LenVec.size() &&
                        static_cast<int>(records.size()) == count && current < count;
    if (!in.ok || !shaped || data.compare(in.at, std::string::npos, kEndMark) != 0) {
        why = "it is damaged (cut short, or altered)";
        return false;
    }
    rng = r;
    mp = m;
    ann = a;
    tree.cur = cur;
    tree.temp = temp;
    tree.best = best;
    tree.pppLen = std::move(parsimony_sets);
    tree.LenVec = std::move(parsimony_lengths);
    clear_archive();
    archive.n_keep = arc.n_keep;
    archive.archive_full = arc.archive_full;
    archive.saved_slot = arc.saved_slot;
    archive.second_pass_count = arc.second_pass_count;
    archive.pppTR = std::move(arc.pppTR);
    archive.ppTimeVec = std::move(arc.ppTimeVec);
    archive.ppMatrix = std::move(arc.ppMatrix);
    TreeRecord** link = &archive.head;
    for (int i = 0; i < count; ++i) {
        TreeRecord* rec = new TreeRecord(records[i]);
        rec->next = nullptr;
        *link = rec;
        link = &rec->next;
        if (i == current) archive.cur_record = rec;
    }
    archive.archive_count = count;
    start_timer_at(seconds);
    return true;
}

void remove_checkpoint() { unlink(kCheckpointName); }
