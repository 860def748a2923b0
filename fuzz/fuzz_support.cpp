#include "fuzz_support.hpp"

#include <cstdio>
#include <cstdlib>

#include "base/file_io.hpp"
#include "base/state.hpp"

static FILE* null_results = nullptr;

void fuzz_init() {
    if (null_results != nullptr) return;
    // The readers write their summaries to results and standard output; neither is of
    // interest here and a terminal would slow every execution down.
    null_results = fopen("/dev/null", "w");
    if (null_results == nullptr || freopen("/dev/null", "w", stdout) == nullptr) {
        fprintf(stderr, "fuzz: cannot open /dev/null\n");
        abort();
    }
}

void fuzz_reset() {
    fuzz_init();
    reset_settings();
    reset_alignment();
    reset_run_files();
    run_files.results = null_results;
}

std::string fuzz_text(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    ready_input_text(text);
    return text;
}
