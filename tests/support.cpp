#include "support.hpp"

#include <fstream>
#include <sstream>

#include "state.hpp"

void reset_all_state() {
    reset_settings();
    reset_run_files();
    reset_alignment();
    reset_model_params();
    reset_rng();
    reset_tree(0);
    reset_anneal_state();
    reset_archive(0, 0);
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
