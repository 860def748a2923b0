#include "support.hpp"

#include <fstream>
#include <sstream>

#include "app/app_seams.hpp"
#include "base/state.hpp"
#include "engine/likelihood.hpp"
#include "engine/model.hpp"
#include "output/runlog.hpp"

void reset_all_state() {
    reset_all_records();
    reset_runlog();
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string file_text(FILE* f) {
    fflush(f);
    rewind(f);
    std::string s;
    for (int c; (c = fgetc(f)) != EOF;) s += static_cast<char>(c);
    return s;
}

std::string capture(const std::function<void(FILE*)>& write) {
    FILE* f = tmpfile();
    write(f);
    std::string text = file_text(f);
    fclose(f);
    return text;
}

void set_patterns(const std::vector<std::string>& rows, const std::vector<int>& weights) {
    const std::string letters = "AGCT-MRWSYKBDHVN";
    settings.ntaxa = static_cast<int>(rows.size());
    alignment.ppBase_unique.clear();
    for (const std::string& r : rows) {
        std::vector<int> codes;
        for (char ch : r) codes.push_back(static_cast<int>(letters.find(ch)));
        alignment.ppBase_unique.push_back(codes);
    }
    alignment.site_counter = weights;
    alignment.npat = static_cast<int>(weights.size());
    settings.nsites = 0;
    for (int w : weights) settings.nsites += w;
}

void set_columns(const std::vector<std::string>& seqs, int model, int estimate) {
    std::vector<int> weights;
    for (std::size_t p = 0; p < seqs[0].size(); ++p) weights.push_back(1 + static_cast<int>(p % 3));
    set_patterns(seqs, weights);
    settings.estimate = estimate;
    use_model(model);
}

void use_model(int model) {
    static FILE* sink = fopen("/dev/null", "w");
    run_files.results = sink;
    settings.model = model;
    setup_model();
}

double start_likelihood() {
    reset_likelihood_tables(tree.n, alignment.npat);
    program_leaf_setup();
    init_leaf_partials();
    full_pass();
    return log_likelihood();
}

void set_children(int n, const std::vector<Children>& joins) {
    reset_tree(n);
    for (const Children& j : joins) {
        const int k = j.node - (n + 1);
        tree.cur.ppTwoRow[0][k] = tree.temp.ppTwoRow[0][k] = j.c0;
        tree.cur.ppTwoRow[1][k] = tree.temp.ppTwoRow[1][k] = j.c1;
        tree.cur.parents[j.c0] = tree.temp.parents[j.c0] = j.node;
        tree.cur.parents[j.c1] = tree.temp.parents[j.c1] = j.node;
    }
}
