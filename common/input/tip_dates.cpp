// Tip dates. A calendar date is converted the way TreeTime and BEAST users expect: the
// year plus the share of the year elapsed at the middle of the day, with leap years.
#include "input/tip_dates.hpp"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "base/fatal.hpp"
#include "base/text_reader.hpp"

namespace {

bool leap_year(long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

bool all_digits(const std::string& s, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

bool parse_calendar_date(const std::string& t, double& year) {
    // YYYY-MM-DD, the year of one to four digits
    const size_t d1 = t.find('-', 1);
    if (d1 == std::string::npos) return false;
    const size_t d2 = t.find('-', d1 + 1);
    if (d2 == std::string::npos || !all_digits(t, 0, d1) || d1 > 4 || !all_digits(t, d1 + 1, d2) ||
        d2 - d1 > 3 || !all_digits(t, d2 + 1, t.size()) || t.size() - d2 > 3)
        return false;
    const long y = std::strtol(t.substr(0, d1).c_str(), nullptr, 10);
    const long m = std::strtol(t.substr(d1 + 1, d2 - d1 - 1).c_str(), nullptr, 10);
    const long d = std::strtol(t.substr(d2 + 1).c_str(), nullptr, 10);
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12) return false;
    const int in_month = kDays[m - 1] + (m == 2 && leap_year(y) ? 1 : 0);
    if (d < 1 || d > in_month) return false;
    long day_of_year = d;
    for (int k = 0; k < m - 1; ++k) day_of_year += kDays[k] + (k == 1 && leap_year(y) ? 1 : 0);
    const double days = leap_year(y) ? 366.0 : 365.0;
    year = static_cast<double>(y) + (static_cast<double>(day_of_year) - 0.5) / days;
    return true;
}

// The name and the date of one line: split at its last tab or comma, or else at its last
// run of blanks (names may hold blanks only where a tab or a comma separates).
bool split_line(const std::string& line, std::string& name, std::string& date) {
    size_t cut = line.find_last_of("\t,");
    if (cut == std::string::npos) {
        size_t end = line.size();
        cut = line.find_last_of(' ', end);
        if (cut == std::string::npos) return false;
    }
    name = trimmed(line.substr(0, cut));
    date = trimmed(line.substr(cut + 1));
    return !name.empty() && !date.empty();
}

int taxon_index(const std::vector<std::string>& names, const std::string& name) {
    for (size_t i = 0; i < names.size(); ++i)
        if (trimmed(names[i]) == name) return static_cast<int>(i);
    return -1;
}

}  // namespace

bool parse_date(const std::string& text, double& year) {
    const std::string t = trimmed(text);
    if (t.empty()) return false;
    if (parse_calendar_date(t, year)) return true;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || errno != 0 || !std::isfinite(v)) return false;
    // Hexadecimal and exponent forms are numbers to strtod but no one writes a year so.
    for (const char c : t)
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+')) return false;
    year = v;
    return true;
}

std::vector<double> read_tip_dates(const std::string& text, const char* file,
                                   const std::vector<std::string>& names) {
    std::vector<double> dates(names.size(), NAN);
    std::vector<int> line_of(names.size(), 0);
    size_t pos = 0;
    int line_no = 0;
    bool first = true;
    std::string line;
    while (next_content_line(text, pos, line_no, line)) {
        std::string name, date;
        if (!split_line(line, name, date))
            input_error(file, line_no, "expected a sequence name and its date, read '%s'",
                        printable(line).c_str());
        const int i = taxon_index(names, name);
        double year = 0;
        const bool is_date = parse_date(date, year);
        if (first && !is_date && i < 0) {  // a header such as "name,date"
            first = false;
            continue;
        }
        first = false;
        if (i < 0)
            input_error(file, line_no, "'%s' is not the name of a sequence in the alignment",
                        printable(name).c_str());
        if (!is_date)
            input_error(file, line_no, "the date of %s, '%s', is neither a decimal year (2003.42) "
                        "nor a date YYYY-MM-DD", printable(name).c_str(), printable(date).c_str());
        if (line_of[static_cast<size_t>(i)] != 0)
            input_error(file, line_no, "%s has a date already, on line %d", printable(name).c_str(),
                        line_of[static_cast<size_t>(i)]);
        dates[static_cast<size_t>(i)] = year;
        line_of[static_cast<size_t>(i)] = line_no;
    }
    for (size_t i = 0; i < names.size(); ++i)
        if (line_of[i] == 0)
            input_error(file, 0, "sequence %zu, %s, has no date; every sequence needs one", i + 1,
                        printable(trimmed(names[i])).c_str());
    return dates;
}

std::vector<double> tip_dates_from_names(const std::vector<std::string>& names) {
    std::vector<double> dates(names.size(), 0.0);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string name = trimmed(names[i]);
        const size_t cut = name.find_last_of("|_");
        if (cut == std::string::npos || !parse_date(name.substr(cut + 1), dates[i]))
            input_error("infile", 0, "--dates-from-names: sequence %zu, %s, does not end in a date "
                        "after '|' or '_' (such as seq_2003.42 or seq|2003-06-03)", i + 1,
                        printable(name).c_str());
    }
    return dates;
}

void check_tip_dates_usable(const std::vector<double>& dates, const char* from) {
    for (const double d : dates)
        if (d != dates[0]) return;
    input_error(from, 0, "every sequence has the same date, %g: dates that differ are needed to "
                "estimate a rate", dates.empty() ? 0.0 : dates[0]);
}
