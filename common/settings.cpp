// Run files, the infile header, the settings file, lin_info, derived counts and the timer.
#include "settings.hpp"

#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "fatal.hpp"
#include "program.hpp"
#include "text_reader.hpp"

bool read_whole_file(FILE* f, std::string& out) {
    out.clear();
    if (f == nullptr) return false;
    char buf[65536];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, got);
    return ferror(f) == 0;
}

// ---------------------------------------------------------------------------------------
// Run files

static bool open_one(FILE*& slot, const char* path, const char* mode, const char* label) {
    slot = fopen(path, mode);
    if (slot != nullptr) return true;
    printf("Can't open %s\n", label);
    return false;
}

// The reports are written under their part names and take their own names only when the
// run has written them whole, so that a run that fails or is killed leaves the reports of
// the last good run as they were.
bool open_run_files() {
    return open_one(run_files.infile, "infile", "r", "infile") &&
           open_one(run_files.settings, "settings", "r", "settings") &&
           open_one(run_files.treefile, "treefile.part", "w", "treefile") &&
           open_one(run_files.besttree, "besttree.part", "w", "besttree") &&
           open_one(run_files.results, "results.part", "w", "results") &&
           open_one(run_files.paupfile, "paupfile.nex.part", "w", "paupfile");
}

bool open_lin_info() { return open_one(run_files.lin_info, "lin_info", "r", "lin_info"); }

// ---------------------------------------------------------------------------------------
// Infile header

static const char* const kHeaderNames[7] = {"ntaxa",       "nsites",      "layout",    "nblocks",
                                            "block_width", "group_width", "last_width"};

size_t parse_infile_header(const std::string& text) {
    int* const fields[7] = {&settings.ntaxa,       &settings.nsites,      &settings.layout,
                            &settings.nblocks,     &settings.block_width, &settings.group_width,
                            &settings.last_width};
    int lines[7] = {1, 1, 1, 1, 1, 1, 1};
    TextReader r = make_reader(text);
    std::string tok;
    for (int k = 0; k < 7; ++k) {
        if (!next_token(r, tok, &lines[k]))
            input_error("infile", r.line, "the header ends before field %d (%s); it needs seven "
                        "integers", k + 1, kHeaderNames[k]);
        const NumberStatus st = parse_int_token(tok, *fields[k]);
        if (st == kNotANumber)
            input_error("infile", lines[k], "header field %d (%s) is '%s', not an integer", k + 1,
                        kHeaderNames[k], printable(tok).c_str());
        if (st == kOutOfRange)
            input_error("infile", lines[k], "header field %d (%s) is %s, out of range", k + 1,
                        kHeaderNames[k], printable(tok).c_str());
    }
    Settings& s = settings;
    if (s.layout != 1 && s.layout != 2) fatal("Error in data format specification\n");
    if (s.ntaxa < 3)
        input_error("infile", lines[0], "ntaxa is %d; a tree search needs at least 3 sequences",
                    s.ntaxa);
    if (s.nsites < 1)
        input_error("infile", lines[1], "nsites is %d; there must be at least one site",
                    s.nsites);
    if (s.layout == 1) {
        s.block_width = s.nsites;
    } else {
        if (s.nblocks < 2)
            input_error("infile", lines[3], "nblocks is %d; an interleaved file has at least 2 "
                        "blocks", s.nblocks);
        for (int k = 4; k < 7; ++k)
            if (*fields[k] <= 0)
                input_error("infile", lines[k], "%s is %d; it must be positive", kHeaderNames[k],
                            *fields[k]);
        const long long total =
            static_cast<long long>(s.nblocks - 1) * s.block_width + s.last_width;
        if (total != s.nsites)
            input_error("infile", lines[6], "the blocks hold (%d - 1) * %d + %d = %lld sites, "
                        "but nsites is %d", s.nblocks, s.block_width, s.last_width, total,
                        s.nsites);
    }
    // Every site of every sequence takes at least one byte of the file.
    if (static_cast<long long>(s.ntaxa) * s.nsites > static_cast<long long>(text.size()))
        input_error("infile", lines[1], "%d sequences of %d sites cannot fit in a file of %zu "
                    "bytes", s.ntaxa, s.nsites, text.size());
    return r.pos;
}

// ---------------------------------------------------------------------------------------
// Settings

namespace {

struct SettingField {
    const char* name;
    int* int_value;      // read with "%d" when set
    float* float_value;  // read with "%f" otherwise
};

constexpr int kSettingsLines = 22;

// The settings lines in file order; lines 16-18 depend on the program.
void settings_layout(SettingField f[kSettingsLines]) {
    Settings& s = settings;
    int k = 0;
    auto d = [&](const char* name, int* v) { f[k++] = {name, v, nullptr}; };
    auto r = [&](const char* name, float* v) { f[k++] = {name, nullptr, v}; };
    d("model", &s.model);
    d("keep_gaps", &s.keep_gaps);
    d("burnin_iter", &s.burnin_iter);
    r("burnin_prob", &s.burnin_prob);
    r("trial_prob", &s.trial_prob);
    d("stop_mult", &s.stop_mult);
    d("print_patterns", &s.print_patterns);
    d("print_alignment", &s.print_alignment);
    r("beta_num", &s.beta_num);
    r("beta_frac", &s.beta_frac);
    r("improve_tol", &s.improve_tol);
    d("n_keep", &s.n_keep);
    d("max_iter", &s.max_iter);
    r("beta_len", &s.beta_len);
    d("estimate", &s.estimate);
    if (program.has_lin_info) {
        d("use_lin_info", &s.use_lin_info);
        r("accept_prob2", &s.accept_prob2);
        r("delta_lnl2", &s.delta_lnl2);
    } else {
        r("accept_prob2", &s.accept_prob2);
        r("delta_lnl2", &s.delta_lnl2);
        r("gamma_shape", &s.gamma_shape);
    }
    d("final_opt", &s.final_opt);
    d("nreps", &s.nreps);
    d("seed1", &s.seed1);
    d("seed2", &s.seed2);
}

}  // namespace

void parse_settings(const std::string& text) {
    SettingField fields[kSettingsLines];
    settings_layout(fields);
    int value_line[kSettingsLines] = {};
    TextReader r = make_reader(text);
    std::string label, value;
    for (int k = 0; k < kSettingsLines; ++k) {
        const SettingField& f = fields[k];
        // The label is one word of up to 18 characters; what is left of a longer word
        // is taken as the value, as the file's fixed format reads it.
        int label_line = 0;
        if (!next_token(r, label, &label_line, 18))
            input_error("settings", 0, "only %d of the %d settings lines are present", k,
                        kSettingsLines);
        if (!next_token(r, value, &value_line[k]))
            input_error("settings", label_line, "setting %d (%s) has no value", k + 1, f.name);
        const NumberStatus st = f.int_value != nullptr ? parse_int_token(value, *f.int_value)
                                                       : parse_float_token(value, *f.float_value);
        if (st == kNotANumber)
            input_error("settings", value_line[k], "setting %d (%s) is '%s', not %s", k + 1,
                        f.name, printable(value).c_str(),
                        f.int_value != nullptr ? "an integer" : "a number");
        if (st == kOutOfRange)
            input_error("settings", value_line[k], "setting %d (%s) is %s, out of range", k + 1,
                        f.name, printable(value).c_str());
    }
    // The derived counts take logarithms of the two probabilities.
    for (int k = 0; k < kSettingsLines; ++k) {
        const float* p = fields[k].float_value;
        if ((p == &settings.burnin_prob || p == &settings.trial_prob) && !(*p > 0.0f && *p <= 1.0f))
            input_error("settings", value_line[k], "%s is %f; it must lie in (0, 1]",
                        fields[k].name, *p);
        // The second search's temperature divides by -ln(accept_prob2).
        if (p == &settings.accept_prob2 && !(*p > 0.0f && *p < 1.0f))
            input_error("settings", value_line[k], "%s is %f; it must lie in (0, 1)",
                        fields[k].name, *p);
        if (p == &settings.gamma_shape && !(*p > 0.0f))
            input_error("settings", value_line[k], "%s is %f; it must be positive",
                        fields[k].name, *p);
        // Counts and iteration limits: a negative value is a slip of the pen.
        const int* c = fields[k].int_value;
        if ((c == &settings.n_keep || c == &settings.max_iter || c == &settings.stop_mult) &&
            *c < 0)
            input_error("settings", value_line[k], "%s is %d; it cannot be negative",
                        fields[k].name, *c);
    }
}

void read_settings() {
    std::string text;
    if (!read_whole_file(run_files.settings, text))
        input_error("settings", 0, "the file cannot be read");
    parse_settings(text);
}

// Stops the run when a count does not fit a 32-bit integer.
static int checked_count(double value, const char* what) {
    if (!(value >= INT_MIN && value <= INT_MAX))
        input_error("settings", 0, "the %s (%.0f) is too large", what, value);
    return static_cast<int>(value);
}

void compute_derived_counts() {
    Settings& s = settings;
    const int n = s.ntaxa;
    const double per_round = n * log(1.0 - 1.0 / n);
    s.stop_count = checked_count(static_cast<double>(s.stop_mult) * n,
                                 "number of iterations after the last unique tree");
    const int K =
        checked_count(ceil(log(static_cast<double>(s.trial_prob)) / per_round), "trial count");
    s.min_trials = checked_count(3.0 * K * n, "number of trials within each tree");
    const int B =
        checked_count(ceil(log(static_cast<double>(s.burnin_prob)) / per_round), "burn-in length");
    s.burnin_len =
        checked_count(static_cast<double>(B) * n + s.burnin_iter, "burn-in length");
}

// ---------------------------------------------------------------------------------------
// lin_info

void parse_lin_info(const std::string& text, int n) {
    alignment.lin_array.assign(n > 0 ? n : 0, std::vector<double>(2, 0.0));
    TextReader r = make_reader(text);
    std::vector<std::string> toks;
    for (int i = 0; i < n; ++i) {
        int line = 0;
        if (!next_line_tokens(r, toks, &line))
            input_error("lin_info", 0, "there is no line for sequence %d; %d lines are needed",
                        i + 1, n);
        int tag = 0;
        float w = 0, t = 0;
        if (toks.size() != 3 || parse_int_token(toks[0], tag) != kNumberOk ||
            parse_float_token(toks[1], w) != kNumberOk ||
            parse_float_token(toks[2], t) != kNumberOk)
            input_error("lin_info", line, "expected an integer and two numbers for sequence %d",
                        i + 1);
        if (!(w > 0.0f) || !(t > 0.0f))
            input_error("lin_info", line, "the values of sequence %d must be positive (read "
                        "%s and %s)", i + 1, printable(toks[1]).c_str(),
                        printable(toks[2]).c_str());
        alignment.lin_array[i][0] = w;
        alignment.lin_array[i][1] = t;
    }
}

void read_lin_info() {
    std::string text;
    if (!read_whole_file(run_files.lin_info, text))
        input_error("lin_info", 0, "the file cannot be read");
    parse_lin_info(text, settings.ntaxa);
}

// ---------------------------------------------------------------------------------------
// Timer: the processor clock in milliseconds.

static long long timer_start_ms = 0;

static long long clock_ms() {
    return static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
}

void start_timer() { timer_start_ms = clock_ms(); }

double elapsed_seconds() { return (clock_ms() - timer_start_ms) / 1000.0; }
