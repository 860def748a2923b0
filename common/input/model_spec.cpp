// The model string's grammar: a name with optional fixed values in braces, then modifiers.
#include "input/model_spec.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct NameEntry {
    const char* name;
    ModelKind kind;
    bool empirical;  // the model's own frequencies are empirical
};
// F81 is JC with empirical frequencies; K80 and TN are the other usual names.
constexpr NameEntry kNames[] = {
    {"JC", ModelKind::kJC, false},   {"JC69", ModelKind::kJC, false},
    {"F81", ModelKind::kJC, true},   {"K2P", ModelKind::kK2P, false},
    {"K80", ModelKind::kK2P, false}, {"F84", ModelKind::kF84, true},
    {"HKY", ModelKind::kHKY, true},  {"HKY85", ModelKind::kHKY, true},
    {"TN93", ModelKind::kTN93, true}, {"TN", ModelKind::kTN93, true},
    {"TRN", ModelKind::kTN93, true}, {"GTR", ModelKind::kGTR, true},
    {"REV", ModelKind::kGTR, true},
};

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
}

// Numbers in braces at text[at] (which is '{'), separated by commas or slashes.
bool read_values(const std::string& text, size_t& at, std::vector<double>& values, std::string& why) {
    const size_t close = text.find('}', at);
    if (close == std::string::npos) {
        why = "a '{' is not closed with '}'";
        return false;
    }
    const std::string inside = text.substr(at + 1, close - at - 1);
    size_t i = 0;
    while (i <= inside.size()) {
        size_t j = inside.find_first_of(",/", i);
        if (j == std::string::npos) j = inside.size();
        const std::string word = inside.substr(i, j - i);
        char* end = nullptr;
        const double v = strtod(word.c_str(), &end);
        if (word.empty() || *end != '\0' || !std::isfinite(v)) {
            why = std::string("'") + word + "' in {" + inside + "} is not a number";
            return false;
        }
        values.push_back(v);
        i = j + 1;
    }
    at = close + 1;
    return true;
}

std::string number_text(double v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

std::string values_text(const double* v, int n) {
    std::string s = "{";
    for (int i = 0; i < n; ++i) {
        if (i > 0) s += ',';
        s += number_text(v[i]);
    }
    return s + "}";
}

}  // namespace

bool parse_model_spec(const std::string& text, ModelSpec& out, std::string& why) {
    ModelSpec s;
    s.given = true;
    s.text = text;
    size_t at = 0;
    while (at < text.size() && isalnum(static_cast<unsigned char>(text[at]))) ++at;
    const std::string name = upper(text.substr(0, at));
    const NameEntry* entry = nullptr;
    for (const NameEntry& e : kNames)
        if (name == e.name) entry = &e;
    if (entry == nullptr) {
        why = std::string("'") + text.substr(0, at) + "' is not a model this program knows (JC, K2P, F84, HKY, TN93, GTR)";
        return false;
    }
    s.kind = entry->kind;
    s.freqs = entry->empirical ? ModelSpec::Freqs::kEmpirical : ModelSpec::Freqs::kEqual;
    if (at < text.size() && text[at] == '{') {
        std::vector<double> v;
        if (!read_values(text, at, v, why)) return false;
        const int want = exchange_parameter_count(s.kind);
        if (static_cast<int>(v.size()) != want) {
            why = name + " takes " + std::to_string(want) + " value" + (want == 1 ? "" : "s") +
                  " in braces, not " + std::to_string(v.size());
            return false;
        }
        for (int i = 0; i < want; ++i) {
            // F84's K may be 0 (then it is F81); every other value is a rate ratio.
            const bool ok = s.kind == ModelKind::kF84 ? v[i] >= 0 : v[i] > 0;
            if (!ok) {
                why = "the values in braces after " + name + " must be positive";
                return false;
            }
            s.rates[i] = v[i];
        }
        s.fixed_rates = want;
    }
    bool seen_f = false, seen_g = false;
    while (at < text.size()) {
        if (text[at] != '+') {
            why = std::string("'") + text.substr(at) + "' follows the model where a '+' was expected";
            return false;
        }
        ++at;
        size_t end = at;
        while (end < text.size() && isalpha(static_cast<unsigned char>(text[end]))) ++end;
        const std::string mod = upper(text.substr(at, end - at));
        at = end;
        if (mod == "F" || mod == "FO" || mod == "FQ") {
            if (seen_f) {
                why = "the frequencies are given twice";
                return false;
            }
            seen_f = true;
            s.freqs = mod == "FQ" ? ModelSpec::Freqs::kEqual : ModelSpec::Freqs::kEmpirical;
            if (mod == "F" && at < text.size() && text[at] == '{') {
                std::vector<double> v;
                if (!read_values(text, at, v, why)) return false;
                double sum = 0;
                for (double x : v) sum += x;
                if (v.size() != 4 || !(v[0] > 0 && v[1] > 0 && v[2] > 0 && v[3] > 0) ||
                    std::fabs(sum - 1.0) > 1e-3) {
                    why = "+F{...} takes four positive frequencies of A, C, G and T that add up to 1";
                    return false;
                }
                s.freqs = ModelSpec::Freqs::kFixed;
                for (int i = 0; i < 4; ++i) s.fixed_freqs[i] = v[i] / sum;
            }
        } else if (mod == "I") {
            if (s.invariant) {
                why = "+I is given twice";
                return false;
            }
            s.invariant = true;
            if (at < text.size() && text[at] == '{') {
                std::vector<double> v;
                if (!read_values(text, at, v, why)) return false;
                if (v.size() != 1 || !(v[0] >= 0 && v[0] < 1)) {
                    why = "+I{p} takes one proportion p, 0 <= p < 1";
                    return false;
                }
                s.pinv_fixed = true;
                s.pinv = v[0];
            }
        } else if (mod == "G") {
            if (seen_g) {
                why = "+G is given twice";
                return false;
            }
            seen_g = true;
            size_t digits = at;
            while (digits < text.size() && isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
            s.ncat = digits > at ? atoi(text.substr(at, digits - at).c_str()) : 4;
            at = digits;
            if (s.ncat < 2 || s.ncat > kMaxRateCategories) {
                why = std::string("+G takes 2 to ") + std::to_string(kMaxRateCategories) + " categories";
                return false;
            }
            if (at < text.size() && text[at] == '{') {
                std::vector<double> v;
                if (!read_values(text, at, v, why)) return false;
                if (v.size() != 1 || !(v[0] > 0)) {
                    why = "+G{alpha} takes one positive shape alpha";
                    return false;
                }
                s.alpha_fixed = true;
                s.alpha = v[0];
            }
        } else {
            why = std::string("'+") + mod + "' is not a modifier this program knows (+F, +FQ, +I, +G)";
            return false;
        }
    }
    out = s;
    return true;
}

std::string model_spec_name(const ModelSpec& s) {
    static const char* const kKindNames[] = {"JC", "K2P", "F84", "HKY", "TN93", "GTR"};
    std::string name = kKindNames[static_cast<int>(s.kind)];
    if (s.fixed_rates > 0) name += values_text(s.rates, s.fixed_rates);
    const bool own_empirical = s.kind != ModelKind::kJC && s.kind != ModelKind::kK2P;
    if (s.freqs == ModelSpec::Freqs::kEmpirical)
        name += "+F";
    else if (s.freqs == ModelSpec::Freqs::kFixed)
        name += "+F" + values_text(s.fixed_freqs, 4);
    else if (own_empirical)
        name += "+FQ";
    if (s.invariant) name += s.pinv_fixed ? "+I" + values_text(&s.pinv, 1) : "+I";
    if (s.ncat > 1) name += "+G" + std::to_string(s.ncat) + (s.alpha_fixed ? values_text(&s.alpha, 1) : "");
    return name;
}
