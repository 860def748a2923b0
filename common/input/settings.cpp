// The settings file: its 22 positional lines, their ranges and comments, and the counts and
// temperatures derived from them with the alignment's size.
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
#include "base/program_info.hpp"
#include "base/rng.hpp"
#include "base/state.hpp"
#include "base/text_reader.hpp"
#include "input/model_spec.hpp"
#include "input/settings_doc.hpp"

namespace {

}  // namespace

int settings_lines(SettingLine out[kSettingsLines]) {
    int k = 0;
    auto d = [&](const char* name, int Settings::*v) { out[k++] = {name, v, nullptr}; };
    auto r = [&](const char* name, float Settings::*v) { out[k++] = {name, nullptr, v}; };
    d("model", &Settings::model);
    d("keep_gaps", &Settings::keep_gaps);
    d("burnin_iter", &Settings::burnin_iter);
    r("burnin_prob", &Settings::burnin_prob);
    r("trial_prob", &Settings::trial_prob);
    d("stop_mult", &Settings::stop_mult);
    d("print_patterns", &Settings::print_patterns);
    d("print_alignment", &Settings::print_alignment);
    r("beta_num", &Settings::beta_num);
    r("beta_frac", &Settings::beta_frac);
    r("improve_tol", &Settings::improve_tol);
    d("n_keep", &Settings::n_keep);
    d("max_iter", &Settings::max_iter);
    r("beta_len", &Settings::beta_len);
    d("estimate", &Settings::estimate);
    // Lines 16-18 depend on the program.
    if (program.has_lin_info) {
        d("use_lin_info", &Settings::use_lin_info);
        r("accept_prob2", &Settings::accept_prob2);
        r("delta_lnl2", &Settings::delta_lnl2);
    } else {
        r("accept_prob2", &Settings::accept_prob2);
        r("delta_lnl2", &Settings::delta_lnl2);
        r("gamma_shape", &Settings::gamma_shape);
    }
    d("final_opt", &Settings::final_opt);
    d("nreps", &Settings::nreps);
    d("seed1", &Settings::seed1);
    d("seed2", &Settings::seed2);
    return k;
}

std::string setting_value_text(const Settings& values, const SettingLine& line) {
    char value[32];
    if (line.int_field != nullptr) {
        snprintf(value, sizeof value, "%d", values.*line.int_field);
        return value;
    }
    // The shortest form that reads back as the same single-precision value.
    const float v = values.*line.float_field;
    for (int digits = 6; digits <= 9; ++digits) {
        snprintf(value, sizeof value, "%.*g", digits, static_cast<double>(v));
        if (strtof(value, nullptr) == v) break;
    }
    return value;
}

namespace {

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
void check_setting_ranges(const SettingLine lines[kSettingsLines],
                          const int value_line[kSettingsLines],
                          const std::string values[kSettingsLines]) {
    for (int k = 0; k < kSettingsLines; ++k) {
        const SettingLine& f = lines[k];
        for (const IntRange& r : kIntRanges)
            if (f.int_field == r.field && !(settings.*r.field >= r.lo && settings.*r.field <= r.hi))
                input_error("settings", value_line[k], "%s is %s; %s", f.name, values[k].c_str(),
                            r.text);
        for (const RealRange& r : kRealRanges)
            if (f.float_field == r.field && !in_range(settings.*r.field, r))
                input_error("settings", value_line[k], "%s is %s; %s", f.name, values[k].c_str(),
                            r.text);
    }
}


// Where each value of the last settings text read stands, and how it is written there, for
// the checks that need the infile header too.
int g_value_line[kSettingsLines] = {};
std::string g_values[kSettingsLines];
// Whether the last settings text read had a local_opt or a newton_guard line (a second one
// is refused).
bool g_local_opt_given = false;
bool g_newton_guard_given = false;

int settings_index(float Settings::*field) {
    SettingLine lines[kSettingsLines];
    settings_lines(lines);
    for (int k = 0; k < kSettingsLines; ++k)
        if (lines[k].float_field == field) return k;
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

namespace {

// The rest of a line after its value may be a comment starting with '#'.
void skip_comment(TextReader& r) {
    if (more_on_line(r) && (*r.text)[r.pos] == '#')
        while (r.pos < r.text->size() && (*r.text)[r.pos] != '\n') ++r.pos;
}

// model_spec's value: one model string.
void read_model_spec_line(TextReader& r, int line) {
    std::string value;
    int value_line = 0;
    if (!more_on_line(r) || !next_token(r, value, &value_line))
        input_error("settings", line, "%s has no value (a model such as GTR+G4)", kModelSpecLabel);
    if (settings.model_spec.given) input_error("settings", line, "%s is given twice", kModelSpecLabel);
    std::string why;
    if (!parse_model_spec(value, settings.model_spec, why))
        input_error("settings", value_line, "%s is '%s': %s", kModelSpecLabel,
                    printable(value).c_str(), why.c_str());
}

// stop_flat's values: a log-likelihood rise (0 or more) and a number of moves (1 or more).
void read_stop_flat_line(TextReader& r, int line) {
    std::string rise, moves;
    int rise_line = 0, moves_line = 0;
    if (!more_on_line(r) || !next_token(r, rise, &rise_line) || !more_on_line(r) ||
        (*r.text)[r.pos] == '#' || !next_token(r, moves, &moves_line))
        input_error("settings", line, "%s needs two values: a rise of the log-likelihood and a "
                    "number of moves (such as 0.01 25000)", kStopFlatLabel);
    if (settings.flat_moves > 0) input_error("settings", line, "%s is given twice", kStopFlatLabel);
    char* end = nullptr;
    errno = 0;
    const double lnl = strtod(rise.c_str(), &end);
    if (*end != '\0' || errno != 0 || !(lnl >= 0) || !std::isfinite(lnl))
        input_error("settings", rise_line, "%s: the rise is '%s'; it must be a number, 0 or more",
                    kStopFlatLabel, printable(rise).c_str());
    int count = 0;
    if (parse_int_token(moves, count) != kNumberOk || count < 1)
        input_error("settings", moves_line, "%s: the number of moves is '%s'; it must be a whole "
                    "number, 1 or more", kStopFlatLabel, printable(moves).c_str());
    settings.flat_lnl = lnl;
    settings.flat_moves = count;
}

// The value of a switch line (local_opt, newton_guard): 0 or 1, once.
void read_switch_line(TextReader& r, int line, const char* label, bool& given, int& field) {
    std::string value;
    int value_line = 0;
    if (!more_on_line(r) || !next_token(r, value, &value_line))
        input_error("settings", line, "%s has no value (0 or 1)", label);
    if (given) input_error("settings", line, "%s is given twice", label);
    int v = -1;
    if (parse_int_token(value, v) != kNumberOk || (v != 0 && v != 1))
        input_error("settings", value_line, "%s is '%s'; it must be 0 or 1", label,
                    printable(value).c_str());
    given = true;
    field = v;
}

// After the 22 lines come optional lines named by their label (a line starting with '#'
// is a comment). An unknown label is an error: a misspelt model_spec must not quietly run
// another model.
void read_optional_lines(TextReader& r) {
    settings.model_spec = ModelSpec{};
    settings.flat_lnl = 0;
    settings.flat_moves = 0;
    settings.local_opt = 0;
    settings.newton_guard = 0;
    g_local_opt_given = false;
    g_newton_guard_given = false;
    std::string label;
    int line = 0;
    while (next_token(r, label, &line)) {
        if (label[0] == '#') {
            while (r.pos < r.text->size() && (*r.text)[r.pos] != '\n') ++r.pos;
            continue;
        }
        if (label == kModelSpecLabel)
            read_model_spec_line(r, line);
        else if (label == kStopFlatLabel)
            read_stop_flat_line(r, line);
        else if (label == kLocalOptLabel)
            read_switch_line(r, line, kLocalOptLabel, g_local_opt_given, settings.local_opt);
        else if (label == kNewtonGuardLabel)
            read_switch_line(r, line, kNewtonGuardLabel, g_newton_guard_given, settings.newton_guard);
        else
            input_error("settings", line, "'%s' follows the %d settings lines; only a line %s (a "
                        "model such as GTR+G4), a line %s (a rise and a number of moves), a line "
                        "%s or %s (0 or 1) or a comment starting with '#' may follow them",
                        printable(label).c_str(), kSettingsLines, kModelSpecLabel, kStopFlatLabel,
                        kLocalOptLabel, kNewtonGuardLabel);
        skip_comment(r);
    }
}

}  // namespace

void parse_settings(const std::string& text) {
    SettingLine fields[kSettingsLines];
    settings_lines(fields);
    int* const value_line = g_value_line;
    std::string* const values = g_values;
    for (int k = 0; k < kSettingsLines; ++k) {
        value_line[k] = 0;
        values[k].clear();
    }
    TextReader r = make_reader(text);
    std::string label, value;
    for (int k = 0; k < kSettingsLines; ++k) {
        const SettingLine& f = fields[k];
        // The label is one word of up to 18 characters; what is left of a longer word
        // is taken as the value, as the file's fixed format reads it.
        int label_line = 0;
        if (!next_token(r, label, &label_line, 18))
            input_error("settings", 0, "only %d of the %d settings lines are present", k,
                        kSettingsLines);
        if (!next_token(r, value, &value_line[k]))
            input_error("settings", label_line, "setting %d (%s) has no value", k + 1, f.name);
        const NumberStatus st = f.int_field != nullptr ? parse_int_token(value, settings.*f.int_field)
                                                       : parse_float_token(value, settings.*f.float_field);
        if (st == kNotANumber)
            input_error("settings", value_line[k], "setting %d (%s) is '%s', not %s", k + 1,
                        f.name, printable(value).c_str(),
                        f.int_field != nullptr ? "an integer" : "a number");
        if (st == kOutOfRange)
            input_error("settings", value_line[k], "setting %d (%s) is %s, out of range", k + 1,
                        f.name, printable(value).c_str());
        if (st == kUnderflow)
            input_error("settings", value_line[k],
                        "setting %d (%s) is %s, too small for a single-precision number (the "
                        "smallest is about 1.4e-45)",
                        k + 1, f.name, printable(value).c_str());
        values[k] = printable(value);
        skip_comment(r);
    }
    check_setting_ranges(fields, value_line, values);
    read_optional_lines(r);
}

void take_model_option(const std::string& text) {
    if (text.empty()) return;
    ModelSpec chosen;
    std::string why;
    if (!parse_model_spec(text, chosen, why)) input_error("the command line", 0, "--model %s: %s", text.c_str(), why.c_str());
    if (settings.model_spec.given && model_spec_name(settings.model_spec) != model_spec_name(chosen))
        input_error("settings", 0, "its line %s names the model %s, but --model asks for %s; give "
                    "one of them", kModelSpecLabel, settings.model_spec.text.c_str(), text.c_str());
    settings.model_spec = chosen;
}

void write_settings_text(FILE* out, const Settings& values) {
    SettingLine lines[kSettingsLines];
    settings_lines(lines);
    for (const SettingLine& line : lines)
        fprintf(out, "%-18s %-12s # %s\n", line.name, setting_value_text(values, line).c_str(),
                setting_doc(line.name).meaning);
    if (values.model_spec.given)
        fprintf(out, "%-18s %-12s # %s\n", kModelSpecLabel, values.model_spec.text.c_str(),
                "the substitution model by name; it replaces line 1");
    if (values.flat_moves > 0) {
        char both[64];
        snprintf(both, sizeof both, "%g %d", values.flat_lnl, values.flat_moves);
        fprintf(out, "%-18s %-12s # %s\n", kStopFlatLabel, both,
                "a search also ends when its best lnL has not risen by more than the first "
                "value within the second's moves");
    }
    if (values.local_opt != 0)
        fprintf(out, "%-18s %-12d # %s\n", kLocalOptLabel, values.local_opt,
                "1 optimises each node from the partials on both sides of it (faster; last "
                "digits differ from 0)");
    if (values.newton_guard != 0)
        fprintf(out, "%-18s %-12d # %s\n", kNewtonGuardLabel, values.newton_guard,
                "1 re-estimates the model by Newton steps that keep the best point (faster; no "
                "quasi-Newton fallback)");
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
        const int k = settings_index(&Settings::beta_len);
        input_error("settings", g_value_line[k],
                    "beta_len is %s; with beta_frac %s, %d sequences and %d sites the cooling "
                    "constant beta_num / ((1 - beta_frac) ntaxa - beta_frac beta_len / nsites) "
                    "is %g, and it must be finite and not negative",
                    g_values[k].c_str(), g_values[settings_index(&Settings::beta_frac)].c_str(),
                    s.ntaxa, s.nsites, static_cast<double>(beta));
    }
    const double co = second_search_temperature(beta);
    if (!std::isfinite(co)) {
        const int k = settings_index(&Settings::delta_lnl2);
        input_error("settings", g_value_line[k],
                    "delta_lnl2 is %s; with accept_prob2 %s and the cooling constant %g the "
                    "second search's starting temperature is %g, and it must be finite",
                    g_values[k].c_str(), g_values[settings_index(&Settings::accept_prob2)].c_str(),
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


size_t settings_line_start(const std::string& text, int index) {
    size_t at = 0;
    for (int k = 1; k < index && at != std::string::npos; ++k) {
        at = text.find('\n', at);
        if (at != std::string::npos) ++at;
    }
    return at != std::string::npos && at < text.size() ? at : std::string::npos;
}

std::string settings_line_value(const std::string& text, int index) {
    const size_t at = settings_line_start(text, index);
    if (at == std::string::npos) return "?";
    const std::string line = text.substr(at, text.find('\n', at) - at);
    char label[64], value[256];
    if (sscanf(line.c_str(), "%63s %255s", label, value) != 2) return "?";
    return value;
}
