// RELL tests of a set of trees. Every replicate draws the alignment's N sites again (with
// replacement, from one splitmix64 stream of the seed), and a tree's replicate
// log-likelihood is the sum of its site log-likelihoods over the draw, in pattern order:
// the trees are not re-fitted (Kishino, Miyata and Hasegawa 1990).
//
// With L_t the log-likelihood of tree t, L_t^b its value in replicate b and m_t the mean
// of L_t^b over the replicates:
// - bp: the share of replicates in which t has the highest L_t^b (the first on a tie);
// - KH (one-sided, against the best tree r, or for the best tree against the second):
//   the share of replicates with (L_r^b - m_r) - (L_t^b - m_t) > L_r - L_t;
// - SH: the share with max_j (L_j^b - m_j) - (L_t^b - m_t) > L_r - L_t
//   (Shimodaira and Hasegawa 1999);
// - AU (Shimodaira 2002): replicates of r N sites for r = 0.5, 0.6, ..., 1.4, each
//   log-likelihood divided by r; at each scale the smoothed share BP_r of replicates in
//   which t is at least as good as every other tree (max_j!=t L_j^b - L_t^b <= 0) gives
//   z_r = -Phi^-1(BP_r); z_r = d sqrt(r) + c / sqrt(r) is fitted by weighted least
//   squares (weights Phi'(z)^2 B / (BP (1 - BP))) and then by maximum likelihood of the
//   binomial counts (Fisher scoring), and p = 1 - Phi(d - c).
#include "runs/tree_tests.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "base/rng.hpp"

namespace {

constexpr double kAuScales[] = {0.5, 0.6, 0.7, 0.8, 0.9, 1.0, 1.1, 1.2, 1.3, 1.4};
constexpr int kAuScaleCount = 10;
constexpr int kScoringSteps = 30;

// The pattern of each site, sites in pattern order.
std::vector<int> site_patterns_of(const std::vector<int>& weights) {
    std::vector<int> site;
    for (std::size_t p = 0; p < weights.size(); ++p) site.insert(site.end(), static_cast<std::size_t>(weights[p]), static_cast<int>(p));
    return site;
}

// One replicate's count of every pattern: `draws` sites drawn from the stream.
void draw_counts(uint64_t& stream, const std::vector<int>& site, long draws, std::vector<int>& counts) {
    std::fill(counts.begin(), counts.end(), 0);
    for (long k = 0; k < draws; ++k) ++counts[static_cast<std::size_t>(site[splitmix64_below(stream, site.size())])];
}

// Every tree's log-likelihood under the pattern counts, summed in pattern order.
void replicate_lnl(const TreeTestInput& in, const std::vector<int>& counts, double* out) {
    for (std::size_t t = 0; t < in.pattern_lnl.size(); ++t) {
        const std::vector<double>& l = in.pattern_lnl[t];
        double sum = 0.0;
        for (std::size_t p = 0; p < counts.size(); ++p)
            if (counts[p] != 0) sum += counts[p] * l[p];
        out[t] = sum;
    }
}

// The empirical distribution function of the sorted values v at x, made continuous by
// joining the points (v_i, (i + 1/2) / n) with straight lines (and clamped to [0, 1]), so
// that a share does not jump with a single replicate.
double smoothed_share(const std::vector<double>& v, double x) {
    const std::size_t n = v.size();
    if (n < 2) return n == 1 && v[0] <= x ? 1.0 : 0.0;
    const std::size_t above = static_cast<std::size_t>(std::upper_bound(v.begin(), v.end(), x) - v.begin());
    double count;
    if (above == 0)
        count = v[1] > v[0] ? 0.5 + (x - v[0]) / (v[1] - v[0]) : 0.0;
    else if (above < n)
        count = v[above] > v[above - 1] ? 0.5 + (above - 1) + (x - v[above - 1]) / (v[above] - v[above - 1])
                                        : 0.5 + (above - 1);
    else
        count = v[n - 1] > v[n - 2] ? n - 0.5 + (x - v[n - 1]) / (v[n - 1] - v[n - 2]) : n;
    return std::clamp(count, 0.0, static_cast<double>(n)) / n;
}

// d and c of z_r = d sqrt(r) + c / sqrt(r) from the shares bp at the scales, B replicates
// each; false when fewer than two shares lie strictly between 0 and 1.
bool fit_au_curve(const double* bp, double B, double& d, double& c) {
    double saa = 0, sab = 0, sbb = 0, saz = 0, sbz = 0;
    int usable = 0;
    for (int k = 0; k < kAuScaleCount; ++k) {
        if (!(bp[k] > 0.0 && bp[k] < 1.0)) continue;
        const double z = -normal_quantile(bp[k]);
        const double phi = std::exp(-0.5 * z * z) / std::sqrt(2 * M_PI);
        const double w = phi * phi * B / (bp[k] * (1 - bp[k]));
        const double a = std::sqrt(kAuScales[k]), b = 1 / a;
        saa += w * a * a;
        sab += w * a * b;
        sbb += w * b * b;
        saz += w * a * z;
        sbz += w * b * z;
        ++usable;
    }
    if (usable < 2) return false;
    const double det = saa * sbb - sab * sab;
    if (!(det > 0)) return false;
    d = (sbb * saz - sab * sbz) / det;
    c = (saa * sbz - sab * saz) / det;
    // Maximum likelihood of the counts B bp_k ~ Binomial(B, 1 - Phi(eta_k)), from the
    // least-squares start, by Fisher scoring.
    for (int step = 0; step < kScoringSteps; ++step) {
        double g0 = 0, g1 = 0, i00 = 0, i01 = 0, i11 = 0;
        for (int k = 0; k < kAuScaleCount; ++k) {
            const double a = std::sqrt(kAuScales[k]), b = 1 / a;
            const double eta = d * a + c * b;
            const double Q = 1 - normal_cdf(eta), P = normal_cdf(eta);
            if (!(Q > 1e-300 && P > 1e-300)) continue;
            const double phi = std::exp(-0.5 * eta * eta) / std::sqrt(2 * M_PI);
            const double s = B * phi * (Q - bp[k]) / (Q * P);
            const double info = B * phi * phi / (Q * P);
            g0 += a * s;
            g1 += b * s;
            i00 += info * a * a;
            i01 += info * a * b;
            i11 += info * b * b;
        }
        const double idet = i00 * i11 - i01 * i01;
        if (!(idet > 0)) break;
        const double dd = (i11 * g0 - i01 * g1) / idet, dc = (i00 * g1 - i01 * g0) / idet;
        if (!std::isfinite(dd) || !std::isfinite(dc)) break;
        d += dd;
        c += dc;
        if (std::fabs(dd) + std::fabs(dc) < 1e-10) break;
    }
    return std::isfinite(d) && std::isfinite(c);
}

}  // namespace

double sh_alrt_support(const std::vector<double>* const l[3], const double L[3], const std::vector<int>& weights,
                       int replicates, uint64_t& stream) {
    const double delta = L[0] - std::max(L[1], L[2]);
    if (!(delta > 0)) return 0.0;
    const std::vector<int> site = site_patterns_of(weights);
    std::vector<int> counts(weights.size());
    int support = 0;
    for (int b = 0; b < replicates; ++b) {
        draw_counts(stream, site, static_cast<long>(site.size()), counts);
        double cs[3];
        for (int i = 0; i < 3; ++i) {
            double sum = 0.0;
            for (std::size_t p = 0; p < counts.size(); ++p)
                if (counts[p] != 0) sum += counts[p] * (*l[i])[p];
            cs[i] = sum - L[i];
        }
        std::sort(cs, cs + 3);
        if (delta > cs[2] - cs[1] + 0.05) ++support;
    }
    return static_cast<double>(support) / replicates;
}

double abayes_support(const double L[3]) {
    const double top = std::max(L[0], std::max(L[1], L[2]));
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) sum += std::exp(L[i] - top);
    return std::exp(L[0] - top) / sum;
}

double normal_cdf(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }

// Bisection to a bracket of 1e-14, then Newton steps on the distribution function.
double normal_quantile(double p) {
    double lo = -40, hi = 40;
    for (int k = 0; k < 200 && hi - lo > 1e-14; ++k) {
        const double mid = 0.5 * (lo + hi);
        (normal_cdf(mid) < p ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

std::vector<TreeTestResult> run_tree_tests(const TreeTestInput& in) {
    const std::size_t T = in.pattern_lnl.size(), npat = in.weights.size();
    std::vector<TreeTestResult> r(T);
    for (std::size_t t = 0; t < T; ++t) {
        double sum = 0.0;
        for (std::size_t p = 0; p < npat; ++p) sum += in.weights[p] * in.pattern_lnl[t][p];
        r[t].lnL = sum;
        r[t].bp = r[t].p_kh = r[t].p_sh = r[t].p_au = 1.0;
    }
    if (T < 2) return r;
    for (TreeTestResult& t : r) t.bp = 0.0;
    std::size_t best = 0, second = T;
    for (std::size_t t = 1; t < T; ++t)
        if (r[t].lnL > r[best].lnL) best = t;
    for (std::size_t t = 0; t < T; ++t)
        if (t != best && (second == T || r[t].lnL > r[second].lnL)) second = t;
    for (std::size_t t = 0; t < T; ++t) r[t].delta = r[best].lnL - r[t].lnL;

    const std::vector<int> site = site_patterns_of(in.weights);
    const long N = static_cast<long>(site.size());
    const std::size_t B = static_cast<std::size_t>(in.replicates);
    std::vector<int> counts(npat);
    uint64_t stream = in.seed;

    // KH, SH and bp from B replicates of N sites.
    std::vector<double> L(T * B);  // L[t * B + b]
    std::vector<double> row(T);
    std::vector<double> mean(T, 0.0);
    for (std::size_t b = 0; b < B; ++b) {
        draw_counts(stream, site, N, counts);
        replicate_lnl(in, counts, row.data());
        std::size_t top = 0;
        for (std::size_t t = 0; t < T; ++t) {
            L[t * B + b] = row[t];
            if (row[t] > row[top]) top = t;
        }
        r[top].bp += 1.0;
    }
    for (std::size_t t = 0; t < T; ++t) {
        r[t].bp /= B;
        double sum = 0.0;
        for (std::size_t b = 0; b < B; ++b) sum += L[t * B + b];
        mean[t] = sum / B;
    }
    for (std::size_t t = 0; t < T; ++t) {
        const std::size_t ref = t == best ? second : best;
        const double observed = r[ref].lnL - r[t].lnL;
        std::size_t kh = 0, sh = 0;
        for (std::size_t b = 0; b < B; ++b) {
            const double own = L[t * B + b] - mean[t];
            double top = -HUGE_VAL;
            for (std::size_t j = 0; j < T; ++j) top = std::max(top, L[j * B + b] - mean[j]);
            if ((L[ref * B + b] - mean[ref]) - own > observed) ++kh;
            if (top - own > observed) ++sh;
        }
        r[t].p_kh = static_cast<double>(kh) / B;
        r[t].p_sh = static_cast<double>(sh) / B;
    }

    // AU from B replicates at each scale: for every tree the sorted statistic
    // max_{j != t} L_j^b - L_t^b.
    std::vector<std::vector<double>> stat(T * kAuScaleCount, std::vector<double>(B));
    for (int k = 0; k < kAuScaleCount; ++k) {
        const long draws = std::lround(kAuScales[k] * N);
        for (std::size_t b = 0; b < B; ++b) {
            draw_counts(stream, site, draws, counts);
            replicate_lnl(in, counts, row.data());
            for (std::size_t t = 0; t < T; ++t) row[t] /= kAuScales[k];
            for (std::size_t t = 0; t < T; ++t) {
                double other = -HUGE_VAL;
                for (std::size_t j = 0; j < T; ++j)
                    if (j != t) other = std::max(other, row[j]);
                stat[t * kAuScaleCount + static_cast<std::size_t>(k)][b] = other - row[t];
            }
        }
    }
    for (std::size_t t = 0; t < T; ++t) {
        double bp[kAuScaleCount];
        int zeros = 0;
        for (int k = 0; k < kAuScaleCount; ++k) {
            std::vector<double>& v = stat[t * kAuScaleCount + static_cast<std::size_t>(k)];
            std::sort(v.begin(), v.end());
            bp[k] = smoothed_share(v, 0.0);
            if (bp[k] <= 0.0) ++zeros;
        }
        double d = 0, c = 0;
        if (fit_au_curve(bp, static_cast<double>(B), d, c))
            r[t].p_au = 1 - normal_cdf(d - c);
        else
            r[t].p_au = zeros > kAuScaleCount / 2 ? 0.0 : 1.0;
    }
    return r;
}
