// freeml's node values for an annealing step: the branches above X and above its two
// children (before the move) are rescaled by independent gamma multipliers of mean 1.
#include <algorithm>

#include "free.hpp"
#include "program.hpp"
#include "rng.hpp"

void propose_node_values(int X, int /*P*/, int A, int B, int /*S*/, int /*side*/, int /*k*/) {
    const float shape = settings.gamma_shape;
    const float g1 = static_cast<float>(gen_gamma(shape, shape));
    const float g2 = static_cast<float>(gen_gamma(shape, shape));
    const float g3 = static_cast<float>(gen_gamma(shape, shape));
    tree.TimeVec_temp[X] = std::clamp(g1 * tree.TimeVec_temp[X], kMinProposedLength, kMaxBranchLength);
    tree.TimeVec_temp[A] = std::clamp(g2 * tree.TimeVec_temp[A], kMinProposedLength, kMaxBranchLength);
    tree.TimeVec_temp[B] = std::clamp(g3 * tree.TimeVec_temp[B], kMinProposedLength, kMaxBranchLength);
}
