// The memory a run needs, and the message of a run that cannot have it.
#include "app/memory_need.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "base/error_record.hpp"
#include "base/state.hpp"

namespace {

MemoryStage g_stage = MemoryStage::kInfileText;
unsigned long long g_text_bytes = 0;

// A byte count in the unit that reads best, into `buf`.
const char* in_units(unsigned long long b, char* buf, size_t size) {
    if (b >= 10ull << 30)
        snprintf(buf, size, "%llu GB", (b + (1ull << 29)) >> 30);
    else if (b >= 10ull << 20)
        snprintf(buf, size, "%llu MB", (b + (1ull << 19)) >> 20);
    else
        snprintf(buf, size, "%llu kB", (b + 1023) >> 10);
    return buf;
}

// Bytes of the likelihood tables of n sequences and p patterns.
unsigned long long likelihood_table_bytes(long long n, long long p) {
    const unsigned long long nodes = 2ull * static_cast<unsigned long long>(n) + 1;
    const unsigned long long rows = nodes + static_cast<unsigned long long>(n > 1 ? n - 1 : 0);
    const unsigned long long pats = static_cast<unsigned long long>(p);
    // A named model has its rate categories in every row and no derivative tables.
    const ModelSpec& chosen = settings.model_spec;
    const unsigned long long ncat = chosen.given ? static_cast<unsigned long long>(chosen.ncat) : 1;
    const unsigned long long derivative_tables = chosen.given ? 0 : 5;
    // partials (4 states of 8 bytes per category) and scaling counts of every row, the
    // derivative tables, the leaves' codes and freeml's parsimony sets (5 flags of 4 bytes)
    return rows * pats * (32 * ncat + 4) + derivative_tables * nodes * pats * 32 + nodes * pats +
           nodes * pats * 20;
}

// The coded alignment and its pattern table (both n x s ints), the column hashes and the
// pattern index.
unsigned long long alignment_bytes(long long n, long long s) {
    const unsigned long long sites = static_cast<unsigned long long>(s);
    return 2 * static_cast<unsigned long long>(n) * (sites + 5) * 4 + sites * 48;
}

// The archive's leaf-pair path counts ((n + 1) x (n + 1) ints) and the tree copies.
unsigned long long tree_bytes(long long n) {
    const unsigned long long m = static_cast<unsigned long long>(n) + 1;
    return m * m * 4 + m * 200;
}

// Bytes the working arrays of a run take at their largest, p being s while the patterns are
// not yet known.
unsigned long long memory_need(long long n, long long s, long long p) {
    return tree_bytes(n) + alignment_bytes(n, s) + likelihood_table_bytes(n, p);
}

// What a stage makes, and its bytes.
const char* stage_name(MemoryStage stage) {
    switch (stage) {
        case MemoryStage::kInfileText: return "the text of infile";
        case MemoryStage::kTreeArrays: return "the tree arrays and the archive's leaf-pair table";
        case MemoryStage::kCodedAlignment: return "the coded alignment";
        case MemoryStage::kSitePatterns: return "the site patterns";
        case MemoryStage::kLikelihoodTables: return "the likelihood tables";
        case MemoryStage::kSearch: break;
    }
    return "the search's trees and archive";
}

unsigned long long stage_bytes(MemoryStage stage, long long patterns) {
    const long long n = settings.ntaxa, s = settings.nsites;
    switch (stage) {
        case MemoryStage::kInfileText: return g_text_bytes;
        case MemoryStage::kTreeArrays: return tree_bytes(n);
        case MemoryStage::kCodedAlignment: return static_cast<unsigned long long>(n) * (s + 1) * 4;
        case MemoryStage::kSitePatterns: return alignment_bytes(n, s) / 2;
        case MemoryStage::kLikelihoodTables: return likelihood_table_bytes(n, patterns);
        case MemoryStage::kSearch: break;
    }
    return 0;
}

// A message built in a fixed buffer, piece by piece.
struct Message {
    char text[768] = "";
    size_t used = 0;
    void add(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        if (used >= sizeof text) return;
        va_list ap;
        va_start(ap, fmt);
        const int n = vsnprintf(text + used, sizeof text - used, fmt, ap);
        va_end(ap);
        if (n > 0) used += static_cast<size_t>(n);
    }
};

}  // namespace

void memory_stage(MemoryStage stage, unsigned long long text_bytes) {
    g_stage = stage;
    if (stage == MemoryStage::kInfileText) g_text_bytes = text_bytes;
}

void allocation_failed() {
    const Settings& s = settings;
    // The pattern count is known once the patterns are made; before, it is at most the sites.
    const bool known = g_stage >= MemoryStage::kLikelihoodTables && alignment.npat > 0;
    // Columns of n codes out of 16 take at most 16^n distinct forms.
    long long most = s.nsites;
    if (s.ntaxa > 0 && s.ntaxa < 8) most = std::min(most, 1LL << (4 * s.ntaxa));
    const long long patterns = known ? alignment.npat : most;
    char a[32], b[32], c[32], d[32], e[32], f[32];
    Message m;
    m.add("Error: out of memory while making %s", stage_name(g_stage));
    const unsigned long long bytes = stage_bytes(g_stage, patterns);
    if (bytes > 0) m.add(" (about %s)", in_units(bytes, a, sizeof a));
    if (s.ntaxa > 0 && s.nsites > 0)
        m.add("; this alignment of %d sequences and %d sites (%s%lld site patterns) needs about %s "
              "in all: %s for the sequences and their patterns (sequences x sites), %s for the "
              "likelihood tables (patterns x sequences) and %s for the archive's leaf-pair table "
              "(sequences x sequences)",
              s.ntaxa, s.nsites, known ? "" : "up to ", patterns,
              in_units(memory_need(s.ntaxa, s.nsites, patterns), b, sizeof b),
              in_units(alignment_bytes(s.ntaxa, s.nsites), c, sizeof c),
              in_units(likelihood_table_bytes(s.ntaxa, patterns), d, sizeof d),
              in_units(tree_bytes(s.ntaxa), f, sizeof f));
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        m.add("; this process may use at most %s (its address-space limit, ulimit -v)",
              in_units(limit.rlim_cur, e, sizeof e));
    printf("%s\nCan't allocate MemAlloc\n", m.text);
    record_error(m.text);
    exit(1);
}
