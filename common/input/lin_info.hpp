// clockml's lin_info: two values per sequence from which its lineage rate follows.
#pragma once

#include <string>

// Parses n lines of a lin_info text into alignment.lin_array; stops on a bad line.
void parse_lin_info(const std::string& text, int n);
// clockml's relative rate of a lineage from its two lin_info values w and t.
double lineage_rate(double w, double t);
