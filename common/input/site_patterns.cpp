// Unique site patterns: the columns of the coded alignment, each once with its weight, and
// the draw of a bootstrap replicate, which works on the pattern weights alone (no resampled
// alignment is ever written).
#include "input/site_patterns.hpp"

#include <cstdint>
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "base/fatal.hpp"
#include "base/rng.hpp"
#include "base/state.hpp"

// Whether site j shows the same codes as site k in every sequence.
static bool same_column(int j, int k) {
    for (const std::vector<int>& row : alignment.ppBase)
        if (row[j] != row[k]) return false;
    return true;
}

void build_patterns() {
    const int n = settings.ntaxa, s = settings.nsites;
    Alignment& a = alignment;
    a.ppBase_unique.assign(n, std::vector<int>(static_cast<size_t>(s) + 5, 0));
    a.site_counter.assign(static_cast<size_t>(s) + 1, 0);
    a.npat = 0;

    // A hash of every column (FNV-1a over its codes), built row by row, and the columns
    // left out for their gaps.
    std::vector<uint64_t> hash_store(s, 0xCBF29CE484222325ULL);
    std::vector<char> excluded_store(s, 0);
    uint64_t* hash = hash_store.data();
    char* excluded = excluded_store.data();
    for (int i = 0; i < n; ++i) {
        const int* row = a.ppBase[i].data();
        for (int j = 0; j < s; ++j)
            hash[j] = (hash[j] ^ static_cast<uint32_t>(row[j])) * 0x100000001B3ULL;
        if (settings.keep_gaps == 0)
            for (int j = 0; j < s; ++j)
                if (row[j] == 4) excluded[j] = 1;
    }

    // Each site joins the pattern of the first equal column before it, or opens a new
    // pattern: patterns come in order of first occurrence, weighted by their columns.
    std::unordered_map<uint64_t, int> first_with_hash;
    std::vector<int> same_hash_next;  // next pattern whose column has the same hash
    std::vector<int> pattern_site;    // first site of each pattern
    first_with_hash.reserve(static_cast<size_t>(s));
    for (int j = 0; j < s; ++j) {
        if (excluded[j]) continue;
        auto it = first_with_hash.find(hash[j]);
        int p = it == first_with_hash.end() ? -1 : it->second;
        while (p >= 0 && !same_column(j, pattern_site[p])) p = same_hash_next[p];
        if (p >= 0) {
            ++a.site_counter[p];
            continue;
        }
        p = a.npat++;
        a.site_counter[p] = 1;
        pattern_site.push_back(j);
        same_hash_next.push_back(it == first_with_hash.end() ? -1 : it->second);
        first_with_hash[hash[j]] = p;
    }
    for (int i = 0; i < n; ++i) {
        const int* row = a.ppBase[i].data();
        int* unique = a.ppBase_unique[i].data();
        for (int p = 0; p < a.npat; ++p) unique[p] = row[pattern_site[p]];
    }
    if (a.npat == 0)
        input_error("infile", 0, "every site has a gap in at least one sequence, so no site "
                    "is left once the gapped sites are excluded");
}


ResampleDraw resample_patterns(int32_t seed1, int32_t seed2) {
    Alignment& a = alignment;
    // Site k of the draw's list belongs to the pattern that holds it, in pattern order.
    std::vector<int> site_pattern;
    for (int p = 0; p < a.npat; ++p)
        site_pattern.insert(site_pattern.end(), static_cast<size_t>(a.site_counter[p]), p);
    const uint64_t sites = site_pattern.size();
    std::vector<int> drawn(static_cast<size_t>(a.npat), 0);
    uint64_t state = (static_cast<uint64_t>(static_cast<uint32_t>(seed1)) << 32) |
                     static_cast<uint32_t>(seed2);
    for (uint64_t k = 0; k < sites; ++k) {
        // The high bits of the product give an index below `sites`.
        const uint64_t pick =
            static_cast<uint64_t>((static_cast<unsigned __int128>(splitmix64(state)) * sites) >> 64);
        ++drawn[site_pattern[pick]];
    }
    const int before = a.npat;
    int kept = 0;
    for (int p = 0; p < a.npat; ++p) {
        if (drawn[static_cast<size_t>(p)] == 0) continue;
        for (std::vector<int>& row : a.ppBase_unique) row[static_cast<size_t>(kept)] = row[static_cast<size_t>(p)];
        a.site_counter[static_cast<size_t>(kept)] = drawn[static_cast<size_t>(p)];
        ++kept;
    }
    for (int p = kept; p < a.npat; ++p) a.site_counter[static_cast<size_t>(p)] = 0;
    a.npat = kept;
    return ResampleDraw{sites, kept, before};
}
