// freeml's node values for an annealing step: the branches above X and above its two
// children (before the move) are rescaled by independent gamma multipliers of mean 1.
#include <algorithm>

#include "base/rng.hpp"
#include "base/state.hpp"
#include "free.hpp"
#include "search/search_seams.hpp"

void propose_node_values(int X, int /*P*/, int A, int B, int /*S*/, int /*side*/, int /*k*/) {
    const float shape = settings.gamma_shape;
    const float g1 = static_cast<float>(gen_gamma(shape, shape));
    const float g2 = static_cast<float>(gen_gamma(shape, shape));
    const float g3 = static_cast<float>(gen_gamma(shape, shape));
    tree.temp.TimeVec[X] = std::clamp(g1 * tree.temp.TimeVec[X], kMinProposedLength, kMaxBranchLength);
    tree.temp.TimeVec[A] = std::clamp(g2 * tree.temp.TimeVec[A], kMinProposedLength, kMaxBranchLength);
    tree.temp.TimeVec[B] = std::clamp(g3 * tree.temp.TimeVec[B], kMinProposedLength, kMaxBranchLength);
}
