// What each line of the settings file means, in one place: the comments of a written
// settings file, the run record, `--describe-settings`, the manual page's SETTINGS section
// and the table of doc/settings.md all come from here.
#pragma once

#include <cstdio>

#include "base/state.hpp"

struct SettingDoc {
    const char* name;
    const char* meaning;  // one line: the comment of a written settings file
    const char* allowed;  // the values the reader accepts
    const char* effect;   // what changing it does
};

// The description of the line labelled `name` in this program.
const SettingDoc& setting_doc(const char* name);
// The recommended settings (those of the thorough examples) of this program.
Settings recommended_settings();
// The recommended settings for an alignment of `ntaxa` sequences and `npat` site patterns:
// the fixed recommendation with a move cap and a stop_flat line that grow with its size.
Settings recommended_settings_for_size(int ntaxa, int npat);
// The 22 lines with their recommended values: a Markdown table, or with `man` the entries
// of the manual page's SETTINGS section.
void describe_settings(FILE* out, bool man);
