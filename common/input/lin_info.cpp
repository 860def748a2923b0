// clockml's lin_info: two values per sequence from which its lineage rate follows.
#include "input/lin_info.hpp"

#include <cfloat>
#include <cmath>
#include <vector>

#include "base/fatal.hpp"
#include "base/state.hpp"
#include "base/text_reader.hpp"

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
