// Nucleotide codes: the BaseCode of each sequence character (A 0, G 1, C 2, T 3, - 4,
// M R W S Y K B D H V 5..14, N and ? 15), its printed letter, and the states it stands for.
// States are A, G, C, T in that order, purines first.
#pragma once

// The codes of all 256 byte values: -1 for '.', -2 for a character outside the table.
struct BaseCodeTable {
    signed char code[256];
    constexpr BaseCodeTable() : code{} {
        constexpr char letters[] = "AGCT-MRWSYKBDHVN";
        for (int c = 0; c < 256; ++c) code[c] = -2;
        for (int k = 0; k < 16; ++k) {
            const unsigned char up = static_cast<unsigned char>(letters[k]);
            code[up] = static_cast<signed char>(k);
            if (up >= 'A' && up <= 'Z') code[up - 'A' + 'a'] = static_cast<signed char>(k);
        }
        code[static_cast<unsigned char>('?')] = 15;
        code[static_cast<unsigned char>('.')] = -1;
    }
};
inline constexpr BaseCodeTable kBaseCodes{};

// BaseCode of a sequence character, -1 for '.', -2 for a character outside the table.
inline int base_code(char c) { return kBaseCodes.code[static_cast<unsigned char>(c)]; }
// Printed letter of a BaseCode ("AGCT-MRWSYKBDHVN").
char base_letter(int code);
// The state set of a code as four 0/1 flags in the order A, G, C, T (gap and N: all four).
const int* code_states(int code);
