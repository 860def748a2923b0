// Calibrations. A clade's least possible age is the oldest of its own lower bound, its tips'
// ages and its calibrated sub-clades' least ages; its greatest, the least of its upper bound
// and the greatest ages of the clades that hold it. A clade whose least age is not below its
// greatest leaves no tree.
#include "input/calibrations.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "base/fatal.hpp"
#include "base/text_reader.hpp"

namespace {

bool age_number(const std::string& t, double& v) {
    if (t.empty()) return false;
    for (const char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-')) return false;
    errno = 0;
    char* end = nullptr;
    v = std::strtod(t.c_str(), &end);
    return end == t.c_str() + t.size() && errno == 0 && std::isfinite(v);
}

std::string describe(const Calibration& c) {
    char buf[64];
    if (c.lo == c.hi)
        snprintf(buf, sizeof buf, "age %g", c.lo);
    else if (std::isinf(c.hi))
        snprintf(buf, sizeof buf, "age at least %g", c.lo);
    else if (c.lo == 0)
        snprintf(buf, sizeof buf, "age at most %g", c.hi);
    else
        snprintf(buf, sizeof buf, "age %g..%g", c.lo, c.hi);
    return buf;
}

bool holds(const Calibration& a, const Calibration& b) {  // b's taxa all in a
    for (size_t i = 0; i < a.member.size(); ++i)
        if (b.member[i] && !a.member[i]) return false;
    return true;
}

}  // namespace

std::vector<Calibration> read_calibrations(const std::string& text, const char* file,
                                           const std::vector<std::string>& names) {
    std::vector<Calibration> cals;
    const size_t n = names.size();
    size_t pos = 0;
    int line_no = 0;
    std::string line;
    while (next_content_line(text, pos, line_no, line)) {
        size_t cut = line.size();
        while (cut > 0 && !is_space_char(line[cut - 1])) --cut;
        if (cut == 0)
            input_error(file, line_no, "expected the taxa of a clade, separated by commas, then its age, read '%s'",
                        printable(line).c_str());
        const std::string list = line.substr(0, cut), age = line.substr(cut);
        Calibration c;
        c.line = line_no;
        c.member.assign(n, 0);
        size_t from = 0;
        while (from <= list.size()) {
            size_t comma = list.find(',', from);
            if (comma == std::string::npos) comma = list.size();
            const std::string name = trimmed(list.substr(from, comma - from));
            from = comma + 1;
            if (name.empty()) continue;
            size_t i = 0;
            while (i < n && trimmed(names[i]) != name) ++i;
            if (i == n)
                input_error(file, line_no, "'%s' is not the name of a sequence in the alignment", printable(name).c_str());
            if (c.member[i])
                input_error(file, line_no, "'%s' is named twice in this clade", printable(name).c_str());
            c.member[i] = 1;
            ++c.size;
        }
        if (c.size < 2)
            input_error(file, line_no, "a calibrated clade needs two taxa at least (the tips are dated by the dates file)");
        const size_t dots = age.find("..");
        if (dots == std::string::npos) {
            if (!age_number(age, c.lo))
                input_error(file, line_no, "the age '%s' is not a number, nor bounds such as 40..55", printable(age).c_str());
            c.hi = c.lo;
        } else {
            const std::string a = age.substr(0, dots), b = age.substr(dots + 2);
            if (a.empty() && b.empty())
                input_error(file, line_no, "the bounds '..' give neither end");
            if ((!a.empty() && !age_number(a, c.lo)) || (!b.empty() && !age_number(b, c.hi)))
                input_error(file, line_no, "the bounds '%s' are not numbers such as 40..55", printable(age).c_str());
            if (c.lo > c.hi)
                input_error(file, line_no, "the bounds '%s' are in the wrong order (the lower first)", printable(age).c_str());
        }
        if (c.lo < 0)
            input_error(file, line_no, "the age '%s' is negative; ages count back from the present", printable(age).c_str());
        if (c.hi == 0)
            input_error(file, line_no, "the clade's age must be above 0 (the present)");
        for (const Calibration& d : cals)
            if (d.member == c.member)
                input_error(file, line_no, "this clade is calibrated already, on line %d", d.line);
        cals.push_back(c);
    }
    return cals;
}

std::vector<int> enclosing_calibrations(const std::vector<Calibration>& cals) {
    std::vector<int> up(cals.size(), -1);
    for (size_t a = 0; a < cals.size(); ++a)
        for (size_t b = 0; b < cals.size(); ++b)
            if (a != b && cals[b].size > cals[a].size && holds(cals[b], cals[a]) &&
                (up[a] < 0 || cals[b].size < cals[static_cast<size_t>(up[a])].size))
                up[a] = static_cast<int>(b);
    return up;
}

std::vector<double> least_calibrated_ages(const std::vector<Calibration>& cals, const std::vector<double>& tip_age) {
    // Smaller clades first, so that each sub-clade is settled before the clades that hold it.
    std::vector<size_t> order(cals.size());
    for (size_t k = 0; k < order.size(); ++k) order[k] = k;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return cals[a].size < cals[b].size; });
    const std::vector<int> up = enclosing_calibrations(cals);
    std::vector<double> least(cals.size(), 0.0);
    for (const size_t k : order) {
        double oldest_tip = 0;
        for (size_t i = 0; i < cals[k].member.size(); ++i)
            if (cals[k].member[i]) oldest_tip = std::max(oldest_tip, tip_age[i]);
        least[k] = std::max({least[k], cals[k].lo, oldest_tip});
        if (up[k] >= 0) least[static_cast<size_t>(up[k])] = std::max(least[static_cast<size_t>(up[k])], least[k]);
    }
    return least;
}

void check_calibrations(const std::vector<Calibration>& cals, const std::vector<double>& tip_age, const char* file) {
    for (size_t a = 0; a < cals.size(); ++a)
        for (size_t b = a + 1; b < cals.size(); ++b) {
            bool shared = false;
            for (size_t i = 0; i < cals[a].member.size(); ++i) shared = shared || (cals[a].member[i] && cals[b].member[i]);
            if (shared && !holds(cals[a], cals[b]) && !holds(cals[b], cals[a]))
                input_error(file, cals[b].line, "this clade shares taxa with the clade of line %d without one holding "
                            "the other, so no tree has both", cals[a].line);
        }
    const std::vector<double> least = least_calibrated_ages(cals, tip_age);
    const std::vector<int> up = enclosing_calibrations(cals);
    for (size_t k = 0; k < cals.size(); ++k) {
        // What the clade must be strictly older than: its tips and the clades inside it.
        double inner = 0;
        for (size_t i = 0; i < cals[k].member.size(); ++i)
            if (cals[k].member[i]) inner = std::max(inner, tip_age[i]);
        for (size_t j = 0; j < cals.size(); ++j)
            if (up[j] == static_cast<int>(k)) inner = std::max(inner, least[j]);
        // What it must be strictly younger than: the upper bounds of the clades that hold it.
        double outer = HUGE_VAL;
        for (int u = up[k]; u >= 0; u = up[static_cast<size_t>(u)]) outer = std::min(outer, cals[static_cast<size_t>(u)].hi);
        if (!(inner < cals[k].hi && least[k] <= cals[k].hi && least[k] < outer))
            input_error(file, cals[k].line, "the clade's %s leaves it no age: it must be older than %g (its tips and "
                        "the calibrated clades inside it)%s and younger than %g (its bounds and those of the clades "
                        "that hold it)", describe(cals[k]).c_str(), inner, cals[k].lo > inner ? ", at least its lower bound," : "",
                        std::min(cals[k].hi, outer));
    }
}
