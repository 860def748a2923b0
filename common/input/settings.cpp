// Run files, the infile header, the settings file, lin_info, derived counts and the timer.
#include "input/settings.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "base/fatal.hpp"
#include "base/program.hpp"
#include "base/rng.hpp"
#include "base/text_reader.hpp"

// ---------------------------------------------------------------------------------------
// Run files

namespace {

const char* file_kind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// A report's part file is made afresh (a link left under its name is removed, never
// written through); an input is opened as it is, links included.
bool open_one(FILE*& slot, const char* path, const char* mode, const char* label) {
    errno = 0;
    slot = mode[0] == 'r' ? fopen(path, mode) : create_file(path);
    if (slot == nullptr) {
        printf("Can't open %s: %s\n", label, strerror(errno));
        return false;
    }
    if (mode[0] != 'r') return true;
    // An input must be a file (or a pipe): a folder reads as nothing, and a device such as
    // /dev/zero would be read until memory runs out.
    struct stat st {};
    if (fstat(fileno(slot), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISFIFO(st.st_mode)) {
        printf("Can't open %s: it is %s, not a file\n", label, file_kind(st.st_mode));
        fclose(slot);
        slot = nullptr;
        return false;
    }
    return true;
}

}  // namespace

bool open_run_files() {
    return open_one(run_files.infile, "infile", "r", "infile") &&
           open_one(run_files.settings, "settings", "r", "settings") &&
           open_one(run_files.treefile, "treefile.part", "w", "treefile") &&
           open_one(run_files.besttree, "besttree.part", "w", "besttree") &&
           open_one(run_files.results, "results.part", "w", "results") &&
           open_one(run_files.paupfile, "paupfile.nex.part", "w", "paupfile.nex") &&
           open_one(run_files.best_tre, "best.tre.part", "w", "best.tre");
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
        // A file that does not even begin with a number is in none of the formats read.
        if (st == kNotANumber && k == 0)
            input_error("infile", lines[k], "not in a format the program reads (its own, FASTA, "
                        "PHYLIP or NEXUS); it begins with '%s', where its own format and PHYLIP "
                        "begin with the number of sequences, FASTA with '>' and NEXUS with "
                        "'#NEXUS'", printable(tok).c_str());
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

// The values each setting may take. Every value the run gives a meaning stays allowed:
// beta_num 0 keeps the temperature constant, n_keep 0 keeps no trees, stop_mult 0 stops a
// search at its first step, and nreps 0 or less writes no bootstrap lines.
struct IntRange {
    int Settings::*field;
    int lo, hi;
    const char* text;
};
struct RealRange {
    float Settings::*field;
    float lo;
    bool lo_open;
    float hi;  // HUGE_VALF: no upper bound
    bool hi_open;
    const char* text;
};

constexpr IntRange kIntRanges[] = {
    {&Settings::keep_gaps, 0, 1, "it must be 0 or 1"},
    {&Settings::burnin_iter, 0, INT_MAX, "it cannot be negative"},
    {&Settings::stop_mult, 0, INT_MAX, "it cannot be negative"},
    {&Settings::print_patterns, 0, 1, "it must be 0 or 1"},
    {&Settings::print_alignment, 0, 1, "it must be 0 or 1"},
    {&Settings::n_keep, 0, INT_MAX, "it cannot be negative"},
    {&Settings::max_iter, 0, INT_MAX, "it cannot be negative"},
    {&Settings::estimate, 0, 1, "it must be 0 or 1"},
    {&Settings::use_lin_info, 0, 1, "it must be 0 or 1"},
    {&Settings::final_opt, 0, 1, "it must be 0 or 1"},
    {&Settings::seed1, 1, kSeed1Max, "it must lie in 1 to 2147483562, the generator's range"},
    {&Settings::seed2, 1, kSeed2Max, "it must lie in 1 to 2147483398, the generator's range"},
};

// The derived counts take logarithms of the two probabilities; the second search's
// temperature divides by -ln(accept_prob2).
constexpr RealRange kRealRanges[] = {
    {&Settings::burnin_prob, 0.0f, true, 1.0f, false, "it must lie in (0, 1]"},
    {&Settings::trial_prob, 0.0f, true, 1.0f, false, "it must lie in (0, 1]"},
    {&Settings::beta_num, 0.0f, false, HUGE_VALF, false, "it cannot be negative"},
    {&Settings::beta_frac, 0.0f, false, 1.0f, true, "it must lie in [0, 1)"},
    {&Settings::improve_tol, 0.0f, false, HUGE_VALF, false, "it cannot be negative"},
    {&Settings::beta_len, 0.0f, false, HUGE_VALF, false, "it cannot be negative"},
    {&Settings::accept_prob2, 0.0f, true, 1.0f, true, "it must lie in (0, 1)"},
    {&Settings::delta_lnl2, 0.0f, true, HUGE_VALF, false, "it must be positive"},
    {&Settings::gamma_shape, 0.0f, true, HUGE_VALF, false, "it must be positive"},
};

bool in_range(float v, const RealRange& r) {
    const bool above = r.lo_open ? v > r.lo : v >= r.lo;
    const bool below = r.hi_open ? v < r.hi : v <= r.hi;
    return above && below;
}

// The value is quoted as the file has it, so that 1e-9 is not shown as 0.000000.
void check_setting_ranges(const SettingField fields[kSettingsLines],
                          const int value_line[kSettingsLines],
                          const std::string values[kSettingsLines]) {
    for (int k = 0; k < kSettingsLines; ++k) {
        const SettingField& f = fields[k];
        for (const IntRange& r : kIntRanges)
            if (f.int_value == &(settings.*r.field) && !(*f.int_value >= r.lo && *f.int_value <= r.hi))
                input_error("settings", value_line[k], "%s is %s; %s", f.name, values[k].c_str(),
                            r.text);
        for (const RealRange& r : kRealRanges)
            if (f.float_value == &(settings.*r.field) && !in_range(*f.float_value, r))
                input_error("settings", value_line[k], "%s is %s; %s", f.name, values[k].c_str(),
                            r.text);
    }
}


// Where each value of the last settings text read stands, and how it is written there, for
// the checks that need the infile header too.
int g_value_line[kSettingsLines] = {};
std::string g_values[kSettingsLines];

int settings_index(const float* field) {
    SettingField fields[kSettingsLines];
    settings_layout(fields);
    for (int k = 0; k < kSettingsLines; ++k)
        if (fields[k].float_value == field) return k;
    return 0;
}

}  // namespace

float cooling_constant() {
    const int n = settings.ntaxa;
    return settings.beta_num / ((1 - settings.beta_frac) * n -
                                settings.beta_frac * settings.beta_len / settings.nsites);
}

double second_search_temperature(float beta) {
    return (beta + 1) * settings.delta_lnl2 / (-std::log(static_cast<double>(settings.accept_prob2)));
}

void parse_settings(const std::string& text) {
    SettingField fields[kSettingsLines];
    settings_layout(fields);
    int* const value_line = g_value_line;
    std::string* const values = g_values;
    for (int k = 0; k < kSettingsLines; ++k) {
        value_line[k] = 0;
        values[k].clear();
    }
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
        if (st == kUnderflow)
            input_error("settings", value_line[k],
                        "setting %d (%s) is %s, too small for a single-precision number (the "
                        "smallest is about 1.4e-45)",
                        k + 1, f.name, printable(value).c_str());
        values[k] = printable(value);
        // The rest of a line after its value may be a comment starting with '#'.
        if (more_on_line(r) && (*r.text)[r.pos] == '#')
            while (r.pos < r.text->size() && (*r.text)[r.pos] != '\n') ++r.pos;
    }
    check_setting_ranges(fields, value_line, values);
}

namespace {

// What each line of a settings file means, for the comments of a written one.
const char* setting_comment(const char* name) {
    static const struct {
        const char* name;
        const char* text;
    } kComments[] = {
        {"model", "1 HKY, 2 F84, 3 JC, 4 K2P"},
        {"keep_gaps", "1 keeps sites with gaps (as missing data), 0 drops them"},
        {"burnin_iter", "burn-in moves, which set the starting temperature"},
        {"burnin_prob", "probability behind the reported burn-in length, in (0, 1]"},
        {"trial_prob", "probability behind the minimum trials per tree, in (0, 1]"},
        {"stop_mult", "a search stops after stop_mult x n moves without a new tree"},
        {"print_patterns", "1 lists the site patterns in results"},
        {"print_alignment", "1 prints the pattern-ordered alignment"},
        {"beta_num", "numerator of the cooling constant (0: constant temperature)"},
        {"beta_frac", "fraction in the cooling constant's denominator, in [0, 1)"},
        {"improve_tol", "relative rise of lnL that triggers a re-estimation"},
        {"n_keep", "best trees kept and reported"},
        {"max_iter", "move cap of each search"},
        {"beta_len", "length term in the cooling constant's denominator"},
        {"estimate", "1 re-estimates the transition/transversion parameter"},
        {"use_lin_info", "1 reads per-lineage rates from lin_info"},
        {"accept_prob2", "probability of accepting a fall of delta_lnl2 at the second start"},
        {"delta_lnl2", "the lnL fall of accept_prob2"},
        {"gamma_shape", "shape of the branch-length multipliers of a move"},
        {"final_opt", "1 optimises the best trees again at the end"},
        {"nreps", "bootstrap replicates in the PAUP block (0: none)"},
        {"seed1", "first seed, 1 to 2147483562"},
        {"seed2", "second seed, 1 to 2147483398"},
    };
    for (const auto& c : kComments)
        if (std::strcmp(c.name, name) == 0) return c.text;
    return "";
}

}  // namespace

void write_settings_text(FILE* out, const Settings& values) {
    // The layout points into the process-wide record, so the values are shown through it.
    const Settings saved = settings;
    settings = values;
    SettingField fields[kSettingsLines];
    settings_layout(fields);
    for (int k = 0; k < kSettingsLines; ++k) {
        const SettingField& f = fields[k];
        char value[32];
        if (f.int_value != nullptr)
            snprintf(value, sizeof value, "%d", *f.int_value);
        else  // the shortest form that reads back as the same single-precision value
            for (int digits = 6; digits <= 9; ++digits) {
                snprintf(value, sizeof value, "%.*g", digits, static_cast<double>(*f.float_value));
                if (strtof(value, nullptr) == *f.float_value) break;
            }
        fprintf(out, "%-18s %-12s # %s\n", f.name, value, setting_comment(f.name));
    }
    settings = saved;
}

// Stops the run when a count does not fit a 32-bit integer.
static int checked_count(double value, const char* what) {
    if (!(value >= INT_MIN && value <= INT_MAX))
        input_error("settings", 0, "the %s (%.0f) is too large", what, value);
    return static_cast<int>(value);
}

// The cooling constant and the second search's starting temperature combine several
// settings with the alignment's size; each must come out finite, and not negative, or the
// searches would heat up instead of cooling (or never accept a fall).
static void check_temperatures() {
    const Settings& s = settings;
    const float beta = cooling_constant();
    const float denominator =
        (1 - s.beta_frac) * s.ntaxa - s.beta_frac * s.beta_len / s.nsites;
    if (!(denominator > 0.0f) || !std::isfinite(beta) || !(beta >= 0.0f)) {
        const int k = settings_index(&settings.beta_len);
        input_error("settings", g_value_line[k],
                    "beta_len is %s; with beta_frac %s, %d sequences and %d sites the cooling "
                    "constant beta_num / ((1 - beta_frac) ntaxa - beta_frac beta_len / nsites) "
                    "is %g, and it must be finite and not negative",
                    g_values[k].c_str(), g_values[settings_index(&settings.beta_frac)].c_str(),
                    s.ntaxa, s.nsites, static_cast<double>(beta));
    }
    const double co = second_search_temperature(beta);
    if (!std::isfinite(co)) {
        const int k = settings_index(&settings.delta_lnl2);
        input_error("settings", g_value_line[k],
                    "delta_lnl2 is %s; with accept_prob2 %s and the cooling constant %g the "
                    "second search's starting temperature is %g, and it must be finite",
                    g_values[k].c_str(), g_values[settings_index(&settings.accept_prob2)].c_str(),
                    static_cast<double>(beta), co);
    }
}

void compute_derived_counts() {
    check_temperatures();
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

double lineage_rate(double w, double t) { return pow(w, -0.25) * exp(-0.6 / (0.846 * t)); }

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
        float v[2] = {0, 0};
        if (toks.size() != 3 || parse_int_token(toks[0], tag) != kNumberOk)
            input_error("lin_info", line, "expected an integer and two numbers for sequence %d",
                        i + 1);
        for (int j = 0; j < 2; ++j) {
            const NumberStatus st = parse_float_token(toks[1 + j], v[j]);
            if (st == kUnderflow)
                input_error("lin_info", line,
                            "value %d of sequence %d, %s, is too small for a single-precision "
                            "number (the smallest is about 1.4e-45)",
                            j + 1, i + 1, printable(toks[1 + j]).c_str());
            if (st != kNumberOk)
                input_error("lin_info", line,
                            "expected an integer and two numbers for sequence %d", i + 1);
        }
        const float w = v[0], t = v[1];
        if (!(w > 0.0f) || !(t > 0.0f))
            input_error("lin_info", line, "the values of sequence %d must be positive (read "
                        "%s and %s)", i + 1, printable(toks[1]).c_str(),
                        printable(toks[2]).c_str());
        // A rate that is zero or not a number in double precision would make the likelihood
        // of every tree undefined.
        const double rate = lineage_rate(w, t);
        if (!std::isfinite(rate) || !(rate >= DBL_MIN))
            input_error("lin_info", line,
                        "the values of sequence %d (%s and %s) give the lineage rate %g, "
                        "outside what a double-precision number holds",
                        i + 1, printable(toks[1]).c_str(), printable(toks[2]).c_str(), rate);
        alignment.lin_array[i][0] = w;
        alignment.lin_array[i][1] = t;
    }
}

// ---------------------------------------------------------------------------------------
// Timer: the processor clock in milliseconds.

static long long timer_start_ms = 0;

static long long clock_ms() {
    return static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC;
}

void start_timer() { timer_start_ms = clock_ms(); }

double elapsed_seconds() { return (clock_ms() - timer_start_ms) / 1000.0; }
