// --alrt N and --abayes (freeml): the support of every internal branch of the best tree from
// its nearest-neighbour alternatives, written to "support" and "supporttree".
#pragma once

// After a complete run: returns false (with a line on standard output) when the files could
// not be written.
bool write_branch_support(int alrt_replicates, bool abayes);
