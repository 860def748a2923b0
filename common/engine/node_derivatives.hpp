// The inner loop of the derivative pass: one internal node's partials and derivative
// entries for every pattern from its two children, with the scaling rule applied.
#pragma once

// One branch's matrix and the derivative matrices a pass needs, built once per branch and
// pass. They are stored by column (entry 4 j + i for row i, column j), so that the four
// parent states of a pattern are summed side by side, each over j = A, G, C, T.
struct BranchTerms {
    double P[16], mu1[16], mu2[16], k1[16], k2[16], muk[16];
};

// The rows of one node in the partials and the derivative tables (null where a table is
// not in use).
struct DerivRows {
    double *L, *mu1, *mu2, *k1, *k2, *muk;
    int* scale;
};

// The sums A_c, A_c^x, A_c^xx, A_c^muK of one child at one pattern, for the four parent
// states.
struct ChildSums {
    double L[4], mu1[4], mu2[4], k1[4], k2[4], muk[4];
};

// One child seen through its branch: an internal child's rows, or a leaf's pattern codes
// with its sums for each of the 16 codes (tip_child_sums), so that the leaf's rows are not
// read.
struct DerivChild {
    const BranchTerms* B = nullptr;
    DerivRows rows{};
    const unsigned char* code = nullptr;
    const ChildSums* tip = nullptr;
};

// `which` is a set of DERIV_* bits closed under prerequisites (a second derivative with its
// first, the mixed one with both first ones).

// tip[code]: the sums that the pattern loop computes from a leaf whose row holds that
// code's vector from `states` (16 x 4) and whose derivative entries are zero.
void tip_child_sums(int which, const BranchTerms& B, const double* states, ChildSums* tip);

// Node v's npat patterns from children a and b: the partials are the products of the two
// children's sums, the derivatives follow by the product rule, and a pattern whose four
// partials all fall below kScaleThreshold is scaled by kScaleFactor together with its
// derivative entries. The AVX2 form runs where the processor has it; both give the same
// bits.
void node_derivatives(int which, int npat, const DerivChild& a, const DerivChild& b,
                      const DerivRows& v);

// The two forms themselves, for the test that holds them to the same bits.
void node_derivatives_plain(int which, int npat, const DerivChild& a, const DerivChild& b,
                            const DerivRows& v);
// False, with nothing written, where the processor lacks AVX2.
bool node_derivatives_avx2(int which, int npat, const DerivChild& a, const DerivChild& b,
                           const DerivRows& v);
