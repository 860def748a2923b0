// Bracketing, Brent's method and the sweeps that optimise the node values of every archived
// tree. The programs supply the one-node step and the objective (node times in clockml,
// branch lengths in freeml); the sweeps, the stop tests and the archive walk live here.
#include "search/optimise.hpp"

#include <cmath>
#include <cstdio>
#include <utility>

#include "base/fatal.hpp"
#include "base/interrupt.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "search/estimation.hpp"
#include "search/checkpoint.hpp"
#include "search/progress.hpp"
#include "search/search_seams.hpp"
#include "search/tree.hpp"

namespace {

constexpr double kGold = 1.618034;       // default magnification of the bracket
constexpr double kGrowLimit = 100.0;     // furthest parabolic step, in bracket widths
constexpr double kTiny = 1e-20;          // floor of the parabola's denominator
constexpr double kGoldenSection = 0.381966;
constexpr double kZeroEpsilon = 1e-10;
constexpr int kBrentIterations = 100;

// Stop thresholds (change of lnL over a sweep) and sweep caps of the two phases.
constexpr double kPhaseStop[2] = {0.001, 0.0001};
constexpr int kPhaseSweeps[2] = {50, 35};

// |a| with the sign of b.
double with_sign(double a, double b) { return b >= 0.0 ? std::fabs(a) : -std::fabs(a); }

// Child rows of a slot into one child table (entries 0..n-1 of both rows).
void rows_from_slot(int slot, std::vector<int>* rows) {
    const int n = tree.n;
    const std::vector<int>& stored = archive.pppTR[slot];
    for (int k = 0; k < n; ++k) {
        rows[0][k] = stored[k];
        rows[1][k] = stored[n + k];
    }
}

// Makes the tree of a slot the current, temporary and best tree.
void make_slot_current_everywhere(int slot) {
    load_archived_tree(slot);
    copy_tree_current_to_best();
}

}  // namespace

void bracket_minimum(int c, double& ax, double& bx, double& cx, double& fa, double& fb,
                     double& fc, NodeObjective f) {
    fa = f(c, ax);
    fb = f(c, bx);
    if (fb > fa) {
        std::swap(ax, bx);
        std::swap(fa, fb);
    }
    cx = bx + kGold * (bx - ax);
    fc = f(c, cx);
    while (fb > fc) {
        const double r = (bx - ax) * (fb - fc);
        const double q = (bx - cx) * (fb - fa);
        double u = bx - ((bx - cx) * q - (bx - ax) * r) /
                            (2.0 * with_sign(std::fmax(std::fabs(q - r), kTiny), q - r));
        const double ulim = bx + kGrowLimit * (cx - bx);
        double fu;
        if ((bx - u) * (u - cx) > 0.0) {
            // the parabola's minimum lies between bx and cx
            fu = f(c, u);
            if (fu < fc) {
                ax = bx;
                bx = u;
                fa = fb;
                fb = fu;
                return;
            }
            if (fu > fb) {
                cx = u;
                fc = fu;
                return;
            }
            u = cx + kGold * (cx - bx);
            fu = f(c, u);
        } else if ((cx - u) * (u - ulim) > 0.0) {
            // between cx and the limit
            fu = f(c, u);
            if (fu < fc) {
                bx = cx;
                cx = u;
                u = cx + kGold * (cx - bx);
                fb = fc;
                fc = fu;
                fu = f(c, u);
            }
        } else if ((u - ulim) * (ulim - cx) >= 0.0) {
            u = ulim;
            fu = f(c, u);
        } else {
            u = cx + kGold * (cx - bx);
            fu = f(c, u);
        }
        ax = bx;
        bx = cx;
        cx = u;
        fa = fb;
        fb = fc;
        fc = fu;
    }
}

double brent(int c, double ax, double bx, double cx, NodeObjective f, double tol, double& xmin) {
    double a = ax < cx ? ax : cx;
    double b = ax > cx ? ax : cx;
    double x = bx, w = bx, v = bx;
    double fx = f(c, x);
    double fw = fx, fv = fx;
    double d = 0.0, e = 0.0;
    for (int iter = 1; iter <= kBrentIterations; ++iter) {
        const double xm = 0.5 * (a + b);
        const double tol1 = tol * std::fabs(x) + kZeroEpsilon;
        const double tol2 = 2.0 * tol1;
        if (std::fabs(x - xm) <= tol2 - 0.5 * (b - a)) {
            xmin = x;
            return fx;
        }
        if (std::fabs(e) > tol1) {
            // trial parabola through x, w and v
            const double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) p = -p;
            q = std::fabs(q);
            const double etemp = e;
            e = d;
            if (std::fabs(p) >= std::fabs(0.5 * q * etemp) || p <= q * (a - x) ||
                p >= q * (b - x)) {
                e = x >= xm ? a - x : b - x;
                d = kGoldenSection * e;
            } else {
                d = p / q;
                const double u = x + d;
                if (u - a < tol2 || b - u < tol2) d = with_sign(tol1, xm - x);
            }
        } else {
            e = x >= xm ? a - x : b - x;
            d = kGoldenSection * e;
        }
        const double u = std::fabs(d) >= tol1 ? x + d : x + with_sign(tol1, d);
        const double fu = f(c, u);
        if (fu <= fx) {
            if (u >= x)
                a = x;
            else
                b = x;
            v = w;
            w = x;
            x = u;
            fv = fw;
            fw = fx;
            fx = fu;
        } else {
            if (u < x)
                a = u;
            else
                b = u;
            if (fu <= fw || w == x) {
                v = w;
                w = u;
                fv = fw;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    fprintf(stderr, "Too many iterations in brent\n");
    xmin = x;
    return fx;
}

double path_objective(int c) {
    const int root = tree.n + 1;
    std::vector<int>& list = tree.new_recalc_vec;
    const int capacity = static_cast<int>(list.size());
    int count = 0;
    for (int v = c;; v = tree.cur.parents[v]) {
        if (count == capacity) out_of_memory("new_recalc_vec");
        list[count++] = v;
        if (v == root) break;
    }
    const int skip = c <= tree.n ? 1 : 0;
    return -path_pass_log_likelihood(list.data() + skip, count - skip, tree.cur.ppTwoRow,
                                     tree.cur.TimeVec.data());
}

bool node_settled(int c, double xmin) {
    return std::fabs(tree.temp.TimeVec[c] - xmin) < kSettleDistance;
}

namespace {

void visit_node(const SweepPlan& plan, const NodeRun& run, int c) {
    if (run.use_flags && tree.ChangeNodeLength[c] == 1.0) return;
    const bool settled = plan.optimise_node(c, run.lower_start);
    if (run.use_flags && settled) tree.ChangeNodeLength[c] = 1.0;
}

// The extension of a sweep: coordinate steps on values that are tied to each other (node
// times pressed against their children, lengths on either side of a node) move them a
// little in every sweep, so the sweeps creep along a ridge. The change a sweep made is
// tried again, 1, 2, 4, ... times over, from where the sweep ended, for as long as each
// step raises the log-likelihood and keeps the tree admissible; the best is kept. Each
// trial is a full pass, worth a few node trials.
constexpr int kMaxExtensions = 8;

void extend_sweep(const SweepPlan& plan, const std::vector<double>& before, double lnL_after) {
    std::vector<double>& values = tree.cur.TimeVec;
    const std::vector<double> after = values;
    const auto move_by = [&](double factor) {
        for (std::size_t v = 0; v < values.size(); ++v) values[v] = after[v] + factor * (after[v] - before[v]);
    };
    double best = lnL_after, best_factor = 0.0, factor = 1.0, passed = 0.0;
    for (int k = 0; k < kMaxExtensions; ++k, factor *= 2) {
        move_by(factor);
        if (!plan.values_admissible()) break;
        const double lnL = full_pass_log_likelihood();
        passed = factor;
        if (!(lnL > best)) break;
        best = lnL;
        best_factor = factor;
    }
    if (best_factor == 0.0) {
        values = after;
    } else {
        move_by(best_factor);
    }
    // The partials follow the last values passed over.
    if (passed != best_factor) full_pass();
}

}  // namespace

void sweep_node(const SweepPlan& plan, int phase, int c) {
    for (int r = 0; r < plan.run_count[phase]; ++r) {
        const NodeRun& run = plan.phase_runs[phase][r];
        if (c >= run.first && c <= run.last) {
            visit_node(plan, run, c);
            return;
        }
    }
}

// The estimations here may return a capped log-likelihood (see qn_estimate); it is not
// used, as the optimisation of the archived trees sets the best value itself at its end.
double optimise_tree(const SweepPlan& plan, double lnL_entry) {
    double lnL = lnL_entry;
    if (!search_interrupted()) lnL = settle_estimation(lnL, plan.reestimate).lnL;
    for (int c = plan.flag_first; c <= plan.flag_last; ++c) tree.ChangeNodeLength[c] = 0.0;
    for (int phase = 0; phase < 2; ++phase) {
        // The stop test compares the log-likelihood at the start of a sweep with the one
        // at its end, before the re-estimation; the first test starts from 0.
        double prev = lnL;
        double after_sweep = 0.0;
        int sweeps = 0;
        while (std::fabs(after_sweep - prev) > kPhaseStop[phase] &&
               sweeps < kPhaseSweeps[phase] && !search_interrupted()) {
            prev = log_likelihood();
            ++sweeps;
            if (plan.walk != nullptr) {
                const std::vector<double> before = tree.cur.TimeVec;
                plan.walk(plan, phase);
                if (plan.values_admissible != nullptr && !search_interrupted())
                    extend_sweep(plan, before, log_likelihood());
            } else {
                for (int r = 0; r < plan.run_count[phase]; ++r) {
                    const NodeRun& run = plan.phase_runs[phase][r];
                    for (int c = run.first; c <= run.last && !search_interrupted(); ++c)
                        visit_node(plan, run, c);
                }
            }
            // Every evaluation redid the path it changed, so the partials stand for the
            // tree as it is now.
            after_sweep = log_likelihood();
            lnL = after_sweep;
            check_current_lnl(lnL, "optimisation sweep");
            progress_refresh();
            // An interrupted run writes its reports at once.
            if (!search_interrupted()) lnL = settle_estimation(lnL, plan.reestimate).lnL;
        }
    }
    return lnL;
}

void load_archived_tree(int slot) {
    const int n = tree.n;
    rows_from_slot(slot, tree.cur.ppTwoRow);
    const std::vector<double>& values = archive.ppTimeVec[slot];
    for (int i = 1; i <= 2 * n - 1; ++i) tree.cur.TimeVec[i] = values[i];
    tree.cur.age_scale = values[0];  // a dated clock tree's age scale (see store_current_tree)
    parents_from_rows(tree.cur.ppTwoRow, tree.cur.parents);
    // The optimisation compares each node's value with the one it started from, held in
    // the temporary tree.
    copy_tree_current_to_temp();
}

namespace {

TreeRecord* record_at(int index) {
    TreeRecord* rec = archive.head;
    for (int i = 0; rec != nullptr && i < index; ++i) rec = rec->next;
    return index >= 0 ? rec : nullptr;
}

}  // namespace

ArchiveOptimisation optimise_archived_trees(double lnL_entry) {
    const int n = tree.n;
    // Where the pass stands lives in ann.opt, so that a checkpoint between two trees can
    // take it up there; a pass that starts afresh begins at the first record.
    AnnealState::ArchivePass& at = ann.opt;
    if (!at.on) at = AnnealState::ArchivePass{true, 0, lnL_entry, -1, -1};
    const int total = archive.archive_count;
    // An interrupt stops the work between trees (and inside one, between nodes): the trees
    // optimised so far, the one in hand included, keep their new values. When no optimised
    // tree beats the entry value, the highest optimised one is made current, so that the
    // search always goes on from a tree of the archive.
    for (TreeRecord* rec = record_at(at.next); rec != nullptr && !search_interrupted(); rec = rec->next) {
        progress_optimisation(at.next + 1, total);
        load_archived_tree(rec->slot);
        prepare_loaded_tree();
        full_pass();
        optimise_tree_values(log_likelihood());
        rec->lnL = log_likelihood();
        if (estimation_on()) rec->ratio = mp.ratio;
        rec->params = current_estimates();
        std::vector<double>& stored = archive.ppTimeVec[rec->slot];
        for (int i = 1; i <= 2 * n - 1; ++i) stored[i] = tree.cur.TimeVec[i];
        stored[0] = tree.cur.age_scale;
        if (rec->lnL > at.best) {
            at.best = rec->lnL;
            at.best_index = at.next;
        }
        if (at.top_index < 0 || rec->lnL > record_at(at.top_index)->lnL) at.top_index = at.next;
        at.next += 1;
        // A tree interrupted half way is not a place to take the pass up again.
        if (!search_interrupted()) checkpoint_if_due();
    }
    at.on = false;
    const double best = at.best;
    TreeRecord* best_rec = record_at(at.best_index);
    TreeRecord* top_rec = record_at(at.top_index);
    if (best_rec == nullptr) best_rec = top_rec;
    ArchiveOptimisation r;
    if (best_rec == nullptr) {
        // Interrupted before the first tree: the current tree stays as it was.
        r.lnL = log_likelihood();
        return r;
    }
    // The chosen tree goes on with the parameters it was optimised under, so that the best
    // tree, its reported log-likelihood and the reported estimates belong together.
    make_slot_current_everywhere(best_rec->slot);
    restore_estimates(best_rec->params);
    r.best_made_current = true;
    r.lnL_best = best;
    r.lnL = full_pass_log_likelihood();
    check_current_lnl(r.lnL, "optimisation of the archived trees");
    fflush(nullptr);
    return r;
}
