// Whole runs of clockml and freeml: the shipped examples (wall time), a generated
// 256 x 5000 alignment (peak resident memory against the likelihood tables), a generated
// 500-taxon alignment run to the end of its first search (finite results), and the search
// iterations per second of two builds on the same generated alignments.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "base/base_codes.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "input/alignment.hpp"
#include "sim_case.hpp"

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int status = -1;
    double seconds = 0;
    double peak_rss_mb = 0;
};

// Runs `program` in `dir` with its output in files there.
RunResult run_program(const std::string& program, const fs::path& dir) {
    if (!fs::exists(program)) return RunResult{};
    RunResult r;
    const auto t0 = std::chrono::steady_clock::now();
    // posix_spawn shares our memory until the exec, so the child's peak resident size is
    // its own and not a copy of the benchmark's tables.
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
    posix_spawn_file_actions_addopen(&fa, 1, "stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, "stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    char* args[] = {const_cast<char*>(program.c_str()), nullptr};
    pid_t pid = 0;
    const int err = posix_spawn(&pid, program.c_str(), &fa, nullptr, args, environ);
    posix_spawn_file_actions_destroy(&fa);
    if (err != 0) return r;
    // The peak resident size is read from the child's own memory map while it runs: the
    // rusage of a spawned child starts from its parent's peak, which is ours.
    int status = 0;
    double hwm_kb = 0;
    const std::string status_file = "/proc/" + std::to_string(pid) + "/status";
    while (waitpid(pid, &status, WNOHANG) == 0) {
        std::ifstream in(status_file);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("VmHWM:", 0) == 0) hwm_kb = std::max(hwm_kb, std::stod(line.substr(6)));
        usleep(5000);
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peak_rss_mb = hwm_kb / 1024.0;
    return r;
}

fs::path fresh_dir(const std::string& name) {
    const fs::path d = fs::temp_directory_path() / ("bench_likelihood_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

// The generated alignment of make_sim_case as an infile (layout 1); returns the number
// of distinct columns.
int write_infile(const fs::path& file) {
    const int n = settings.ntaxa, nsites = alignment.npat;
    std::ofstream out(file);
    out << n << ' ' << nsites << " 1 0 0 0 0\n";
    for (int m = 1; m <= n; ++m) {
        char name[16];
        snprintf(name, sizeof name, "t%03d", m);
        out << name << std::string(11 - std::string(name).size(), ' ');
        for (int p = 0; p < nsites; ++p) out << base_letter(alignment.ppBase_unique[m - 1][p]);
        out << '\n';
    }
    std::set<std::string> columns;
    for (int p = 0; p < nsites; ++p) {
        std::string c;
        for (int m = 1; m <= n; ++m) c += static_cast<char>('a' + alignment.ppBase_unique[m - 1][p]);
        columns.insert(c);
    }
    return static_cast<int>(columns.size());
}

// A short run: a small burn-in and iteration limit, no re-estimation, no final optimisation.
void write_settings(const fs::path& file, bool clock) {
    std::ofstream out(file);
    out << "model            2\nkeep_gaps        0\nburnin_iter      20\nburnin_prob      0.9\n"
           "trial_prob       0.05\nstop_mult        2\nprint_patterns   0\nprint_alignment  0\n"
           "beta_num         1.0\nbeta_frac        0.5\nimprove_tol      0.001\nn_keep           2\n"
           "max_iter         60\nbeta_len         10.0\nestimate         0\n";
    if (clock) out << "use_lin_info     0\n";
    out << "accept_prob2     0.5\ndelta_lnl2       1.0\n";
    if (!clock) out << "gamma_shape      20.0\n";
    out << "final_opt        0\nnreps            0\nseed1            12345\nseed2            67890\n";
}

std::string file_text(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The recommended settings with a capped search, no archive (so freeml's optimisation
// between its two searches has no tree to work on) and no final optimisation: what is
// left of a run after its start-up is proposals, their evaluation and the estimation
// points. `estimate` 0 leaves only clockml's re-estimation of mu.
void write_search_settings(const fs::path& file, bool clock, int burnin, int max_iter, int estimate,
                           const std::string& model = "") {
    std::ofstream out(file);
    out << "model            2\nkeep_gaps        1\nburnin_iter      " << burnin
        << "\nburnin_prob      0.9\ntrial_prob       0.05\nstop_mult        100\n"
           "print_patterns   0\nprint_alignment  0\nbeta_num         0.5\nbeta_frac        0.5\n"
           "improve_tol      0.0005\nn_keep           0\nmax_iter         "
        << max_iter << "\nbeta_len         10.0\nestimate         " << estimate << "\n";
    if (clock) out << "use_lin_info     0\n";
    out << "accept_prob2     0.5\ndelta_lnl2       1.0\n";
    if (!clock) out << "gamma_shape      20.0\n";
    out << "final_opt        0\nnreps            0\nseed1            12345\nseed2            67890\n";
    if (!model.empty()) out << "model_spec       " << model << "\n";
}

// The reports of a run without its timing lines.
std::string reports_of(const fs::path& d) {
    std::string all;
    std::istringstream results(file_text(d / "results"));
    for (std::string line; std::getline(results, line);)
        if (line.find("Time to perform") == std::string::npos) all += line + "\n";
    for (const char* f : {"besttree", "treefile", "paupfile.nex", "stdout.txt"}) all += file_text(d / f);
    return all;
}

int iterations_in(const fs::path& d) {
    const std::string t = file_text(d / "results");
    const std::string key = "The number of iterations was ";
    const std::size_t at = t.find(key);
    return at == std::string::npos ? -1 : std::atoi(t.c_str() + at + key.size());
}

struct Rate {
    double per_second = 0;
    double peak_rss_mb = 0;
    std::string reports;
    bool ok = false;
};

// Iterations per second of one build: a run to the iteration cap less a run of the same
// start-up with no burn-in and no search, so that reading the data, the starting tree and
// freeml's first optimisation of its branch lengths are not counted.
Rate search_rate(const std::string& program, const fs::path& d, bool clock, int max_iter, int estimate,
                 const std::string& model = "") {
    Rate r;
    // The faster of two runs each: a shared machine's hiccups only ever add time.
    const auto faster = [&](RunResult a) {
        const RunResult b = run_program(program, d);
        if (b.status != 0 || b.seconds < a.seconds) a.seconds = b.seconds;
        if (b.status != 0) a.status = b.status;
        return a;
    };
    write_search_settings(d / "settings", clock, 0, 0, estimate, model);
    const RunResult start = faster(run_program(program, d));
    const int start_iters = iterations_in(d);
    write_search_settings(d / "settings", clock, 200, max_iter, estimate, model);
    const RunResult full = faster(run_program(program, d));
    const int iters = iterations_in(d) - start_iters;
    r.ok = start.status == 0 && full.status == 0 && full.seconds > start.seconds;
    if (r.ok) r.per_second = iters / (full.seconds - start.seconds);
    r.peak_rss_mb = full.peak_rss_mb;
    r.reports = reports_of(d);
    return r;
}

bool results_finite(const fs::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    const std::string t = s.str();
    return t.find("nan") == std::string::npos && t.find("inf") == std::string::npos &&
           t.find("likelihood") != std::string::npos;
}

}  // namespace

void iteration_rates(const std::string& build_dir, const std::string& other_dir) {
    lik = LikelihoodTables{};
    struct Case {
        int n, sites, max_iter, estimate;
    };
    const Case cases[] = {{64, 2000, 40000, 0}, {256, 1500, 40000, 0}, {64, 2000, 10000, 1}};
    for (const Case& c : cases) {
        reset_settings();
        reset_alignment();
        make_sim_case(c.n, c.sites, 2, 0.0, 1000u * c.n + c.sites);
        lik = LikelihoodTables{};
        const fs::path d = fresh_dir("iterations");
        const int npat = write_infile(d / "infile");
        for (const bool clock : {true, false}) {
            const std::string name = clock ? "clockml" : "freeml";
            const Rate ours = search_rate(fs::absolute(build_dir + "/" + name), d, clock, c.max_iter, c.estimate);
            printf("iterations_per_second program=%s n=%d patterns=%d settings=%s rate=%.0f "
                   "peak_rss_mb=%.1f",
                   name.c_str(), c.n, npat, c.estimate ? "recommended" : "search", ours.per_second,
                   ours.peak_rss_mb);
            if (!other_dir.empty()) {
                const Rate theirs = search_rate(fs::absolute(other_dir + "/" + name), d, clock, c.max_iter, c.estimate);
                printf(" other_rate=%.0f other_peak_rss_mb=%.1f ratio=%.2f identical=%s",
                       theirs.per_second, theirs.peak_rss_mb,
                       theirs.per_second > 0 ? ours.per_second / theirs.per_second : 0.0,
                       ours.ok && theirs.ok && ours.reports == theirs.reports ? "yes" : "no");
            }
            printf("%s\n", ours.ok ? "" : " status=failed");
            fflush(stdout);
        }
        fs::remove_all(d);
    }
}

void category_rates(const std::string& build_dir) {
    lik = LikelihoodTables{};
    reset_settings();
    reset_alignment();
    make_sim_case(64, 2000, 2, 0.0, 64002000u);
    lik = LikelihoodTables{};
    const fs::path d = fresh_dir("categories");
    const int npat = write_infile(d / "infile");
    for (const bool clock : {true, false}) {
        const std::string name = clock ? "clockml" : "freeml";
        const std::string program = fs::absolute(build_dir + "/" + name);
        // Estimation on: the iterations and their estimation points, the model's too.
        const Rate plain = search_rate(program, d, clock, 10000, 1, "F84");
        const Rate g4 = search_rate(program, d, clock, 10000, 1, "F84+G4");
        printf("category_cost program=%s n=64 patterns=%d rate_F84=%.0f rate_F84+G4=%.0f "
               "cost_ratio=%.2f peak_rss_mb_F84=%.1f peak_rss_mb_F84+G4=%.1f\n",
               name.c_str(), npat, plain.per_second, g4.per_second,
               g4.per_second > 0 ? plain.per_second / g4.per_second : 0.0, plain.peak_rss_mb, g4.peak_rss_mb);
        fflush(stdout);
    }
    fs::remove_all(d);
}

void whole_runs(const std::string& build_dir, const std::string& source_dir) {
    const std::string clockml = fs::absolute(build_dir + "/clockml"),
                      freeml = fs::absolute(build_dir + "/freeml");
    // The kernels' tables are not needed any more.
    lik = LikelihoodTables{};
    for (const auto& entry : fs::directory_iterator(fs::path(source_dir) / "examples")) {
        if (!entry.is_directory()) continue;
        const std::string name = entry.path().filename();
        const bool clock = name.find("_clock") != std::string::npos;
        const fs::path d = fresh_dir(name);
        for (const auto& f : fs::directory_iterator(entry.path())) fs::copy(f.path(), d / f.path().filename());
        const RunResult r = run_program(clock ? clockml : freeml, d);
        printf("whole_run program=%s example=%s seconds=%.2f peak_rss_mb=%.1f status=%d\n",
               clock ? "clockml" : "freeml", name.c_str(), r.seconds, r.peak_rss_mb, r.status);
        fflush(stdout);
        fs::remove_all(d);
    }

    // Peak memory of a short clockml run on 256 taxa x 5000 sites against the likelihood
    // tables.
    // (freeml's start-up optimisation of all 509 branch lengths takes minutes at this size.)
    for (const bool clock : {true}) {
        reset_settings();
        reset_alignment();
        make_sim_case(256, 5000, 2, 0.0, 4242);
        lik = LikelihoodTables{};
        const fs::path d = fresh_dir("memory");
        const int npat = write_infile(d / "infile");
        write_settings(d / "settings", clock);
        // Partials and scaling counts for 2n + 1 nodes and the spare rows of the n - 1
        // internal ones, five derivative tables for 2n + 1 nodes, and the leaves' pattern
        // codes.
        const double tables = ((3.0 * 256) * npat * (4 * 8 + 4) + (2.0 * 256 + 1) * npat * (5 * 4 * 8) +
                               (256.0 + 1) * npat) /
                              (1024.0 * 1024.0);
        const RunResult r = run_program(clock ? clockml : freeml, d);
        printf("memory n=256 patterns=%d peak_rss_mb=%.1f tables_mb=%.1f program=%s seconds=%.1f "
               "status=%d limit_mb=%.1f %s\n",
               npat, r.peak_rss_mb, tables, clock ? "clockml" : "freeml", r.seconds, r.status,
               1.5 * tables + 50, r.peak_rss_mb <= 1.5 * tables + 50 ? "met" : "missed");
        fflush(stdout);
        fs::remove_all(d);
    }

    // Scale: 500 taxa to the end of clockml's first search.
    for (const bool clock : {true}) {
        reset_settings();
        reset_alignment();
        make_sim_case(500, 1000, 2, 0.01, 500);
        lik = LikelihoodTables{};
        const fs::path d = fresh_dir("scale");
        write_infile(d / "infile");
        write_settings(d / "settings", clock);
        const RunResult r = run_program(clock ? clockml : freeml, d);
        printf("scale n=500 sites=1000 program=%s seconds=%.1f status=%d finite=%s\n",
               clock ? "clockml" : "freeml", r.seconds, r.status,
               results_finite(d / "results") ? "yes" : "no");
        fflush(stdout);
        fs::remove_all(d);
    }
}
