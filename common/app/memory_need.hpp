// What a run's working arrays take, so that a run that runs out of memory can say what it
// was making, how large that was, and what the whole alignment needs: enough to size the
// memory of a cluster job.
#pragma once

// The parts of a run that take memory, in the order the start-up makes them.
enum class MemoryStage {
    kInfileText,        // the infile's text, and the sequences read from another format
    kTreeArrays,        // the tree copies and the archive's leaf-pair table (n x n)
    kCodedAlignment,    // the sequences as codes (n x sites)
    kSitePatterns,      // the pattern table (n x sites at most)
    kLikelihoodTables,  // partials and derivative tables (nodes x patterns x 4)
    kSearch,            // the archive's stored trees, as the search meets them
};
// The run is now making `stage`; its size follows from the settings and the alignment.
void memory_stage(MemoryStage stage, unsigned long long text_bytes = 0);
// The run's new-handler: names the stage, its size and the run's whole need, then the
// allocation message, and ends the run with status 1. It allocates nothing itself.
[[noreturn]] void allocation_failed();
