// freeml's fitting of a nearest-neighbour alternative: the swapped branch and its four
// neighbours optimised (up to three rounds, until a round gains less than 1e-6), the other
// lengths and the model as they are.
#include <algorithm>

#include "app/app_seams.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "free.hpp"

namespace {

constexpr int kRounds = 3;
constexpr double kRoundGain = 1e-6;
constexpr double kMinLength = 1e-6;

}  // namespace

double program_fit_alternative(const int (&around)[5]) {
    double lnL = full_pass_log_likelihood();
    for (int round = 0; round < kRounds; ++round) {
        // Each search starts at the branch's length and walks uphill from there: the
        // alternative's own optimum, not the star tree that a bracket from zero can reach.
        for (int c : around) optimise_branch(c, std::max(kMinLength, 0.5 * tree.cur.TimeVec[c]));
        const double next = full_pass_log_likelihood();
        const bool done = !(next > lnL + kRoundGain);
        lnL = next;
        if (done) break;
    }
    return lnL;
}
