#include "base/state.hpp"

#include "base/base_codes.hpp"

Settings settings;
RunFiles run_files;
Alignment alignment;
ModelParams mp;
RngState rng;
TreeArrays tree;
AnnealState ann;
Archive archive;

void reset_settings() { settings = Settings{}; }

void reset_run_files() { run_files = RunFiles{}; }

void reset_alignment() { alignment = Alignment{}; }

void reset_model_params() { mp = ModelParams{}; }

void reset_rng() { rng = RngState{}; }

void reset_tree(int n) {
    tree = TreeArrays{};
    tree.n = n;
    const std::size_t nodes = 2 * static_cast<std::size_t>(n) + 1;
    for (int r = 0; r < 2; ++r) tree.cur.ppTwoRow[r].assign(2 * n, 0);
    tree.cur.parents.assign(nodes, 0);
    tree.cur.TimeVec.assign(nodes, 0.0);
    tree.cur.RateVec.assign(nodes, 1.0);
    tree.temp = tree.cur;
    tree.best = tree.cur;
    tree.ChangeNodeLength.assign(nodes, 0.0);
    tree.recalced.assign(nodes, 0);
    tree.ops.assign(n > 0 ? n : 1, NodeOp{0, {0, 0}});
    tree.recalc_vec.assign(nodes, 0);
    tree.new_recalc_vec.assign(nodes, 0);
    tree.LenVec.assign(nodes, 0);
}

void reset_anneal_state() { ann = AnnealState{}; }

void reset_archive(int n, int n_keep) {
    for (TreeRecord* r = archive.head; r != nullptr;) {
        TreeRecord* next = r->next;
        delete r;
        r = next;
    }
    archive = Archive{};
    archive.n_keep = n_keep;
    // The store needs 2 * n_keep + 1 slots at most (room for the doubled capacity of the
    // second search plus one record over it). Only the first few are made here; the archive
    // adds the others as it first uses them, so a large capacity costs nothing up front.
    const long long slots = 2LL * (n_keep > 0 ? n_keep : 0) + 1;
    const std::size_t made = static_cast<std::size_t>(slots < 65 ? slots : 65);
    archive.pppTR.assign(made, std::vector<int>(2 * static_cast<std::size_t>(n), 0));
    archive.ppTimeVec.assign(made, std::vector<double>(2 * static_cast<std::size_t>(n) + 1, 0.0));
    archive.ppMatrix.assign(n + 1, std::vector<int>(n + 1, 0));
}

LikelihoodTables lik;

void reset_likelihood_tables(int n, int npat, int ncat, bool derivatives) {
    lik.nodes = 2 * n + 1;
    lik.npat = npat;
    lik.ncat = ncat;
    const std::size_t cells = derivatives ? static_cast<std::size_t>(lik.nodes) * npat : 0;
    const int internal = n > 1 ? n - 1 : 0;
    const std::size_t rows = static_cast<std::size_t>(lik.nodes) + internal;
    lik.pppLik.assign(rows * npat * ncat * 4, 0.0);
    lik.scale.assign(rows * npat, 0);
    lik.live.resize(lik.nodes);
    lik.spare.assign(lik.nodes, -1);
    for (int v = 0; v < lik.nodes; ++v) lik.live[v] = v;
    for (int i = 0; i < internal; ++i) lik.spare[n + 1 + i] = lik.nodes + i;
    lik.tip_code.assign(static_cast<std::size_t>(n + 1) * npat, 15);
    for (int code = 0; code < 16; ++code)
        for (int a = 0; a < 4; ++a) lik.tip_states[4 * code + a] = code_states(code)[a] ? 1.0 : 0.0;
    for (AlignedDoubles* t : {&lik.pppEstMu1, &lik.pppEstMu2, &lik.pppEstK1, &lik.pppEstK2,
                              &lik.pppEstMuK})
        t->assign(cells * 4, 0.0);
    lik.constant_states.assign(static_cast<std::size_t>(npat), 0);
    lik.site_terms.assign(static_cast<std::size_t>(npat) * kSiteTermSets, 0.0);
    lik.outside.clear();
    lik.outside_scale.clear();
}

void reset_all_records() {
    reset_settings();
    reset_run_files();
    reset_alignment();
    reset_model_params();
    reset_rng();
    reset_tree(0);
    reset_anneal_state();
    reset_archive(0, 0);
    reset_likelihood_tables(0, 0);
}
