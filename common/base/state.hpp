// Process-wide state of a run, grouped into a few records. Every record is sized once at
// start-up and lives until the process ends; each has a reset function so that tests can
// start from a clean slate.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "base/aligned_allocator.hpp"
#include "base/model_spec.hpp"

// ---------------------------------------------------------------------------------------
// Settings: the infile header, the 22 positional settings lines and the derived counts.
// Reals read with "%f" are single precision, as in the settings file's own format.
struct Settings {
    // infile header
    int ntaxa = 0, nsites = 0, layout = 0, nblocks = 0, block_width = 0, group_width = 0,
        last_width = 0;
    // settings lines
    int model = 0;            // 1 HKY, 2 F84, 3 JC, 4 K2P
    int keep_gaps = 0;
    int burnin_iter = 0;
    float burnin_prob = 0;
    float trial_prob = 0;
    int stop_mult = 0;
    int print_patterns = 0;
    int print_alignment = 0;
    float beta_num = 0;
    float beta_frac = 0;
    float improve_tol = 0;
    int n_keep = 0;           // as read; the archive keeps its own (doubled, halved) capacity
    int max_iter = 0;
    float beta_len = 0;
    int estimate = 0;         // as read; see estimation_on() for the run's own switch
    int use_lin_info = 0;     // clockml only
    float accept_prob2 = 0;
    float delta_lnl2 = 0;
    float gamma_shape = 0;    // freeml only
    int final_opt = 0;
    int nreps = 0;
    int seed1 = 0, seed2 = 0;
    // the optional line model_spec after the 22 (or --model): a model by name
    ModelSpec model_spec;
    // the optional line stop_flat: a search also ends once its best log-likelihood has not
    // risen by more than flat_lnl within flat_moves moves (0 moves: the line is absent)
    double flat_lnl = 0;
    int flat_moves = 0;
    // the optional line local_opt: 1 optimises each branch length (node time) from the
    // partials on both sides of it, on a walk down the tree, instead of by passes to the root
    int local_opt = 0;
    // the optional line newton_guard: 1 re-estimates the model's mu and Kprime by Newton steps
    // that keep the best point seen, without the quasi-Newton fallback
    int newton_guard = 0;
    // derived counts
    int stop_count = 0, min_trials = 0, burnin_len = 0;
};
extern Settings settings;
void reset_settings();

// ---------------------------------------------------------------------------------------
// Run files, in their fixed slot order. freeml never opens lin_info.
struct RunFiles {
    FILE* infile = nullptr;
    FILE* settings = nullptr;
    FILE* treefile = nullptr;
    FILE* besttree = nullptr;
    FILE* results = nullptr;
    FILE* lin_info = nullptr;
    FILE* paupfile = nullptr;
    FILE* best_tre = nullptr;  // the best tree alone, plain Newick
};
extern RunFiles run_files;
void reset_run_files();

// ---------------------------------------------------------------------------------------
// Alignment: names, coded sequences and unique site patterns.
// A clade whose age is bounded (clockml's calibrations): its taxa, and the bounds of its
// age in the units of the dates (lo = hi for a fixed age).
struct Calibration {
    std::vector<char> member;  // n entries, 1 for a taxon of the clade
    int size = 0;
    double lo = 0, hi = HUGE_VAL;
    int line = 0;              // of the calibrations file
};

struct Alignment {
    std::vector<std::string> TaxonNames;          // n names of at most 10 characters
    std::vector<std::vector<int>> ppBase;         // n rows x nsites BaseCode values
    std::vector<std::vector<int>> ppBase_unique;  // n rows x npat pattern codes
    std::vector<int> site_counter;                // weight of each pattern
    int npat = 0;
    std::vector<std::vector<double>> lin_array;   // clockml: n rows x 2 lin_info values
    // clockml with tip dates: each sequence's date (decimal years; empty in an undated run)
    // and the start tree's 1 / root age, from the root-to-tip regression
    std::vector<double> tip_date;
    double tip_scale_start = 0;
    std::vector<Calibration> calibrations;  // clockml: the calibrated clades, in file order
};
extern Alignment alignment;
void reset_alignment();

// ---------------------------------------------------------------------------------------
// Substitution model parameters and the constants derived from the base frequencies.
struct ModelParams {
    int model = 0;
    double piA = 0.25, piG = 0.25, piC = 0.25, piT = 0.25;
    double pi_r = 0.5, pi_y = 0.5;
    double ratio = 2.0;
    double Kappa = 0, K = 0, Kprime = 0;
    double mu = 0.5;
    double kDenom = 0;
    double aR = 0, aY = 0;
    // derived once by the model set-up, indexed by state A, G, C, T
    double inv_pi_r_m1 = 0, inv_pi_y_m1 = 0;  // 1/pi_r - 1, 1/pi_y - 1
    double pi[4] = {0.25, 0.25, 0.25, 0.25};
    double group[4] = {0.5, 0.5, 0.5, 0.5};   // Pi_j: pi_r for purines, pi_y for pyrimidines
    double inv_group_m1[4] = {0, 0, 0, 0};    // 1/Pi_j - 1
    double cond[4] = {0, 0, 0, 0};            // pi_j / Pi_j
    double cond_c[4] = {0, 0, 0, 0};          // 1 - pi_j / Pi_j
    // The model of a model string; `on` is false in a plain run, which uses the fields above.
    struct Named {
        bool on = false;
        ModelKind kind = ModelKind::kJC;
        // The model's own exchange parameters (exchange_parameter_count of them): kappa of
        // K2P and HKY, K of F84, A-G and C-T of TN93, A-C A-G A-T C-G C-T of GTR.
        double xp[5] = {1, 1, 1, 1, 1};
        bool xp_fixed = false;
        int ncat = 1;  // Gamma categories
        double alpha = 1;
        bool alpha_fixed = false;
        bool invariant = false;
        double pinv = 0;
        bool pinv_fixed = false;
        double pinv_max = 0;  // the share of sites whose pattern allows a constant state
        // derived by update_named_model
        double exch[6] = {1, 1, 1, 1, 1, 1};  // A-C A-G A-T C-G C-T G-T, before scaling
        double cat_rate[kMaxRateCategories] = {1};  // rate of each category, mean 1 over all sites
        double cat_weight = 1;                      // (1 - pinv) / ncat
        bool closed_form = true;                    // the TN93 family; GTR by eigenvectors
        double beta = 1, alpha_r = 1, alpha_y = 1;  // TN93 rates, scaled to one change per unit
        double eval[4] = {};                        // GTR: P(t)_ij = sum_k left[4i+k] e^(eval_k t) right[4k+j]
        double left[16] = {}, right[16] = {};
    } named;
};
extern ModelParams mp;
void reset_model_params();

// What an estimation moves: mu and Kprime, and K and ratio derived from Kprime; under a
// named model also its exchange parameters, Gamma shape and invariable proportion.
struct ModelEstimates {
    double mu = 0, Kprime = 0, K = 0, ratio = 0;
    double xp[5] = {};
    double alpha = 0, pinv = 0;
};

// ---------------------------------------------------------------------------------------
// Random number generators: the combined L'Ecuyer-Cote generator (32 virtual generators)
// and the state words of the multiply-with-carry stream of the starting tree.
struct RngState {
    int32_t ig1[33] = {}, ig2[33] = {};
    int32_t lg1[33] = {}, lg2[33] = {};
    int32_t cg1[33] = {}, cg2[33] = {};
    int32_t current = 1;
    bool constants_set = false;
    bool seeded = false;
    int32_t mwc_s0 = 123457;      // private first word of the starting-tree draw
    int32_t mwc_a = 0, mwc_b = 0; // the two seed words; hold the topology stream afterwards
    // persistent set-up values of the beta and gamma variates
    double bet_olda = -1.0, bet_oldb = -1.0;
    double bet_a = 0, bet_b = 0, bet_alpha = 0, bet_beta = 0, bet_gamma = 0, bet_delta = 0,
           bet_k1 = 0, bet_k2 = 0;
    double gam_aa = 0, gam_aaa = 0, gam_s2 = 0, gam_s = 0, gam_d = 0, gam_q0 = 0, gam_b = 0,
           gam_si = 0, gam_c = 0;
};
extern RngState rng;
void reset_rng();

// ---------------------------------------------------------------------------------------
// One copy of a tree. Leaves are 1..n, the root n+1, the other internal nodes n+2..2n-1;
// internal node m has the children ppTwoRow[0][m-(n+1)] and ppTwoRow[1][m-(n+1)].
// TimeVec holds clockml's node times or freeml's branch lengths (the branch above each
// node); RateVec clockml's relative rate of the lineage above each node. Copies are made
// by assignment: every array has its fixed size for the run.
struct TreeCopy {
    std::vector<int> ppTwoRow[2];   // 2n entries each
    std::vector<int> parents;       // 2n+1: the internal node holding each node, 0 for the root
    std::vector<double> TimeVec;    // 2n+1
    std::vector<double> RateVec;    // 2n+1
    // clockml with dated tips or calibrations: 1 / the root's age in the units of the dates
    double age_scale = 0;
};

// One node update of a pass: an internal node and its two children, the branch of each
// child being the one above it.
struct NodeOp {
    int parent;
    int child[2];
};

// The tree in its three copies: current, proposed (`temp`: between two proposals equal to
// the current tree, a proposal edits the entries of the moved nodes) and best (the highest
// log-likelihood a proposal has reached).
struct TreeArrays {
    int n = 0;
    TreeCopy cur, temp, best;
    std::vector<double> ChangeNodeLength;
    std::vector<int> recalced;        // 2n+1 visit marks of the traversal that orders a pass
    std::vector<NodeOp> ops;          // the node updates of the pass in hand, in order
    std::vector<int> recalc_vec;      // path of a proposal
    std::vector<int> new_recalc_vec;  // path of an optimisation objective
    // freeml's parsimony state sets: 5 flags (A, G, C, T, gap) per node and pattern
    std::vector<int> LenVec;
    std::vector<int> pppLen;          // index ((node * npat) + p) * 5 + state
};
extern TreeArrays tree;
// Sizes every array of the tree record for n taxa (all zero).
void reset_tree(int n);

// ---------------------------------------------------------------------------------------
// Annealing state, read by the run report.
struct AnnealState {
    double co = 0, ci = 0;
    float beta = 0;
    int anneal_iter = 0;
    double lnL_cur = 0, lnL_best = 0, lnL_ref = 0;
    double dlnL_max = 0;  // the largest change of one burn-in move
    int n_accepted = 0, n_changes = 0;
    int since_unique = 0;
    // stop_flat: the best log-likelihood at its last rise by more than flat_lnl, and the
    // moves of this search since then
    double flat_ref = 0;
    int flat_since = 0;
    int flat_ended = 0;  // the searches it ended: 1 the first, 2 the second
    int search_on = 0;
    int first_pass = 1;
    // the parameters in force when the best tree was last replaced
    ModelEstimates best;
    // HKY with parameter estimation asked for: the search says so and goes on without it
    bool estimation_dropped = false;
    // Where the annealing stands (AnnealPhase), and what it has to report from the phases
    // behind it, so that a checkpoint can take it up there.
    int phase = 0;
    double lnL_after_burnin = 0;
    int first_iterations = 0;
    bool second_ran = false;
    int second_iterations = 0;
    double anneal_seconds = 0;
    // The optimisation of the archived trees in hand: the next record (in archive order),
    // the best log-likelihood so far and the records that hold it and the highest one.
    struct ArchivePass {
        bool on = false;
        int next = 0;
        double best = 0;
        int best_index = -1, top_index = -1;
    } opt;
};
// The phases of the annealing, in order.
enum AnnealPhase {
    kAnnealStart = 0,
    kAnnealBurnIn,
    kAnnealFirstSearch,
    kAnnealFirstOptimisation,
    kAnnealSecondSearch,
    kAnnealSearchesOver,
    kAnnealFinalOptimisation,
};
extern AnnealState ann;
void reset_anneal_state();

// Whether the run estimates the model parameters: the settings' switch, unless the search
// dropped it (HKY). The settings themselves stay as read.
inline bool estimation_on() { return settings.estimate == 1 && !ann.estimation_dropped; }

// ---------------------------------------------------------------------------------------
// Best-tree archive: distinct topologies in ascending key order.
struct TreeRecord {
    std::string key;
    int first_hit = 0;
    int first_pass = 0;
    double lnL = 0;
    double ratio = 0;
    int hits = 0;
    int slot = 0;
    TreeRecord* next = nullptr;
    // The parameters under which the stored node values were last set, so that the tree
    // can be made current again with the model it was fitted under.
    ModelEstimates params;
};
struct Archive {
    TreeRecord* head = nullptr;
    int archive_count = 0;
    int n_keep = 0;              // capacity
    int archive_full = 0;
    int saved_slot = 0;
    int second_pass_count = 0;
    TreeRecord* cur_record = nullptr;
    std::vector<std::vector<int>> pppTR;        // per slot: row 0 (n ints) then row 1 (n ints)
    std::vector<std::vector<double>> ppTimeVec; // per slot: 2n+1 node values
    std::vector<std::vector<int>> ppMatrix;     // (n+1) x (n+1) leaf-pair path counts
};
extern Archive archive;
// Frees every record and sizes the store for n taxa and the settings capacity n_keep.
void reset_archive(int n, int n_keep);

// ---------------------------------------------------------------------------------------
// Likelihood tables: partials, scaling counts, derivative tables and the leaves' codes.
// Every internal node owns two rows of partials and scaling counts: `live` names the row
// that belongs to the current tree and `spare` the other. A proposal writes the spare rows
// along its path and swaps the two names; keeping the proposal keeps the swap, undoing it
// swaps back, and the rows of the current tree were never touched.
struct LikelihoodTables {
    int nodes = 0;  // 2n+1 node slots
    int npat = 0;
    int ncat = 1;   // rate categories: a row holds npat x ncat x 4 partials
    AlignedDoubles pppLik;          // [row][pattern][category][state], 3n rows
    std::vector<int, AlignedAllocator<int>> scale;  // [row][pattern] scaling counts
    std::vector<int> live, spare;   // [node] row indices; leaves and slot 0 have no spare
    AlignedDoubles pppEstMu1, pppEstMu2, pppEstK1, pppEstK2, pppEstMuK;
    // Leaves 1..n: each pattern's code (0..15), so that a node update looks a leaf child's
    // sums up by code instead of reading its row; tip_states holds each code's A G C T
    // vector, the values the leaf rows are filled with.
    std::vector<unsigned char> tip_code;  // [leaf][pattern]
    alignas(32) double tip_states[16 * 4] = {};
    // The states a pattern allows at every leaf (bits A 1, G 2, C 4, T 8): where it is not
    // 0 the pattern may come from an invariable site.
    std::vector<unsigned char> constant_states;  // [pattern]
    // Working space of the passes: each op's branch matrices and leaf sums, and each
    // pattern's terms of a sum over patterns, made in parallel and added in pattern order.
    AlignedDoubles pass_terms;
    std::vector<double> site_terms;  // [term][pattern], kSiteTermSets sets
    // The optimisation from both sides of each node (local_opt): the partials of the rest of
    // the tree seen from the top of a branch, one row per depth of the walk, and two rows
    // for the products of a trial (empty until that optimisation runs).
    AlignedDoubles outside;
    std::vector<int, AlignedAllocator<int>> outside_scale;
};
// The sums over patterns a pass makes at once (the log-likelihood and five derivatives).
constexpr int kSiteTermSets = 6;
extern LikelihoodTables lik;
// Sizes the tables for nodes 0..2n, npat patterns and ncat rate categories, all zero, with
// the spare rows and the code vectors set up; the derivative tables only with `derivatives`
// (the Newton-Raphson estimation of a plain run).
void reset_likelihood_tables(int n, int npat, int ncat = 1, bool derivatives = true);

// Every record above back to its start-up state (for tests and benchmarks; the run record
// of output/runlog.hpp has its own reset).
void reset_all_records();
