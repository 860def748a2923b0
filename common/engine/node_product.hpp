// The inner loop of the pruning pass: one internal node's partials for every pattern from
// its two children, with the scaling rule applied on the way.
#pragma once

// One child of the node being updated, seen through its branch. An internal child gives
// its partials and scaling counts together with the branch matrix of each rate category
// stored column by column (Q[16 * c + 4 * b + a] is the probability of a to b in category
// c). A leaf gives its pattern codes and, for each of the 16 codes and each category, the
// four sums the matrix makes of that code's 0/1 vector (see tip_sums), so its row of
// partials is not read at all. Partials are laid out pattern by pattern, category by
// category within a pattern, state by state within a category.
struct ChildInput {
    const double* Q = nullptr;
    const double* x = nullptr;
    const int* k = nullptr;
    const unsigned char* code = nullptr;
    const double* tip = nullptr;
};

// tip[4 * (code * ncat + c) + a] = the sum over b = A, G, C, T, in order and from 0.0, of
// Q[16 * c + 4 * b + a] * states[4 * code + b]: exactly what the pattern loop computes from
// a leaf row holding that code's vector.
void tip_sums(const double* Q, const double* states, double* tip, int ncat = 1);

// out and kv receive npat patterns of the node; for each the two children's sums are
// multiplied state by state (category by category), then the pattern's products are scaled
// by kScaleFactor (and the count raised by one) when all of them are below
// kScaleThreshold. The AVX2 form runs where the processor has it, the plain form elsewhere;
// both give the same bits.
void node_product(int npat, int ncat, const ChildInput& c0, const ChildInput& c1, double* out, int* kv);

// The two forms themselves, for the test that holds them to the same bits.
void node_product_plain(int npat, int ncat, const ChildInput& c0, const ChildInput& c1, double* out,
                        int* kv);
// Whether the processor runs the AVX2 forms of the kernels (checked once).
bool cpu_has_avx2();
// False, with nothing written, where the processor lacks AVX2.
bool node_product_avx2(int npat, int ncat, const ChildInput& c0, const ChildInput& c1, double* out,
                       int* kv);
