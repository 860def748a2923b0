// The first error message of a run, in a fixed buffer: an error after memory ran out must
// still be kept.
#include "base/error_record.hpp"

#include <cstdio>
#include <cstring>

namespace {
char g_error[512] = "";
}  // namespace

void record_error(const char* message) {
    if (g_error[0] != '\0') return;
    snprintf(g_error, sizeof g_error, "%s", message);
    for (char* c = g_error; *c != '\0'; ++c)
        if (*c == '\n' || *c == '\r') *c = ' ';
    size_t len = strlen(g_error);
    while (len > 0 && g_error[len - 1] == ' ') g_error[--len] = '\0';
}

const char* recorded_error() { return g_error; }

void clear_recorded_error() { g_error[0] = '\0'; }
