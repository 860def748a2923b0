// Timings of the likelihood core on simulated cases: full passes against libpll's pruning
// of the same tree and data, path passes of proposals, one iteration of each estimator;
// then whole runs of the programs (whole_runs.cpp). Times are medians of repeats.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/state.hpp"
#include "engine/derivatives.hpp"
#include "engine/likelihood.hpp"
#include "output/runlog.hpp"
#include "pll_reference.hpp"
#include "sim_case.hpp"

void whole_runs(const std::string& build_dir, const std::string& source_dir);
void iteration_rates(const std::string& build_dir, const std::string& other_dir);
void category_rates(const std::string& build_dir);

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Median seconds of one call of f, over repeats that fill about `budget` seconds.
template <class F>
double median_time(F f, double budget = 0.3) {
    const double t0 = now();
    f();
    const double once = std::max(now() - t0, 1e-7);
    const int reps = std::clamp(static_cast<int>(budget / once), 5, 2001);
    std::vector<double> t(reps);
    for (int r = 0; r < reps; ++r) {
        const double a = now();
        f();
        t[r] = now() - a;
    }
    std::nth_element(t.begin(), t.begin() + reps / 2, t.end());
    return t[reps / 2];
}

void reset_state() {
    reset_all_records();
    reset_runlog();
}

// Path of node v up to the root, as a proposal at v recomputes it.
std::vector<int> path_to_root(int v) {
    std::vector<int> path;
    for (; v != 0; v = tree.cur.parents[v]) path.push_back(v);
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string build_dir = argc > 1 ? argv[1] : ZELVO_BUILD_DIR;
    const std::string source_dir = argc > 2 ? argv[2] : ZELVO_SOURCE_DIR;
    // --kernels: the kernel timings only; --runs: the whole runs only.
    const std::string mode = argc > 3 ? argv[3] : "";
    if (mode == "--runs") {
        whole_runs(build_dir, source_dir);
        return 0;
    }
    // --iterations [OTHER_BUILD]: search iterations per second, against another build's
    // programs when one is named (bench/compare_builds makes one of an earlier commit).
    // --categories: the cost of a search iteration with four Gamma categories (F84+G4)
    // against the same run without them (F84 by name).
    if (mode == "--categories") {
        category_rates(build_dir);
        return 0;
    }
    if (mode == "--iterations") {
        iteration_rates(build_dir, argc > 4 ? argv[4] : "");
        return 0;
    }
    const bool kernels_only = mode == "--kernels";
    const unsigned attrib = pll_fastest_attributes();
    printf("libpll attributes: 0x%x (arch %s, tip-pattern lookup)\n", attrib,
           (attrib & PLL_ATTRIB_ARCH_AVX2) ? "AVX2" : (attrib & PLL_ATTRIB_ARCH_AVX) ? "AVX" : "SSE/CPU");
    std::vector<double> ratios;
    int failures = 0;
    for (int n : {16, 64, 256}) {
        for (int npat : {500, 5000}) {
            reset_state();
            make_sim_case(n, npat, 2, 0.02, 1000u * n + npat);
            const double updates = static_cast<double>(n - 1) * npat;

            const double ours = median_time([] { full_pass(); });
            const double lnl_ours = log_likelihood();
            PllReference ref;
            if (!pll_build(ref, attrib)) {
                printf("libpll refused the attributes\n");
                return 1;
            }
            const double theirs = median_time([&] { pll_full_pass(ref); });
            const double lnl_pll = pll_root_lnl(ref);
            pll_release(ref);
            const double ratio = ours / theirs;
            ratios.push_back(ratio);
            const bool agree = fabs(lnl_ours - lnl_pll) <= 1e-9 * fabs(lnl_pll);
            if (!agree) ++failures;
            printf("full_pass n=%d patterns=%d ours_ns_per_update=%.2f libpll_ns_per_update=%.2f "
                   "ratio=%.2f lnl_ours=%.6f lnl_libpll=%.6f%s\n",
                   n, npat, ours / updates * 1e9, theirs / updates * 1e9, ratio, lnl_ours, lnl_pll,
                   agree ? "" : " DISAGREE");

            // A proposal recomputes the path from the changed node to the root: the mean
            // over every internal node's path.
            full_pass();
            std::vector<std::vector<int>> paths;
            for (int v = n + 2; v <= 2 * n - 1; ++v) paths.push_back(path_to_root(v));
            std::size_t next = 0;
            const double path = median_time([&] {
                const std::vector<int>& p = paths[next++ % paths.size()];
                path_pass(p.data(), static_cast<int>(p.size()), tree.cur.ppTwoRow, tree.cur.TimeVec.data());
            });
            double mean_len = 0;
            for (const auto& p : paths) mean_len += static_cast<double>(p.size()) / paths.size();
            printf("path_pass n=%d patterns=%d full_over_path=%.1f mean_path_nodes=%.1f\n", n, npat,
                   ours / path, mean_len);

            const double est_mu = median_time([] { derivative_pass(DERIV_MU1 | DERIV_MU2); });
            const double est_both = median_time([] {
                derivative_pass(DERIV_MU1 | DERIV_MU2 | DERIV_K1 | DERIV_K2 | DERIV_MUK);
            });
            printf("estimator n=%d patterns=%d mu_ns_per_update=%.2f mu_kprime_ns_per_update=%.2f\n",
                   n, npat, est_mu / updates * 1e9, est_both / updates * 1e9);
            fflush(stdout);
        }
    }
    std::vector<double> r = ratios;
    std::sort(r.begin(), r.end());
    const double median = (r[r.size() / 2 - 1] + r[r.size() / 2]) / 2;
    printf("full_pass median_ratio=%.2f target<=1.00 %s\n", median, median <= 1.0 ? "met" : "missed");
    if (!kernels_only) whole_runs(build_dir, source_dir);
    if (failures) printf("libpll disagreement at %d grid points\n", failures);
    return failures ? 1 : 0;
}
