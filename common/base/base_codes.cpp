// Printed letters and state sets of the nucleotide codes.
#include "base/base_codes.hpp"

char base_letter(int code) { return code >= 0 && code < 16 ? "AGCT-MRWSYKBDHVN"[code] : '?'; }

const int* code_states(int code) {
    // A G C T compatibility of every code; a gap is missing data to the likelihood.
    static const int states[16][4] = {
        {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}, {1, 0, 1, 0},
        {1, 1, 0, 0}, {1, 0, 0, 1}, {0, 1, 1, 0}, {0, 0, 1, 1}, {0, 1, 0, 1}, {0, 1, 1, 1},
        {1, 1, 0, 1}, {1, 0, 1, 1}, {1, 1, 1, 0}, {1, 1, 1, 1}};
    return states[code >= 0 && code < 16 ? code : 15];
}
