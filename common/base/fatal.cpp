#include "base/fatal.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "base/error_record.hpp"

namespace {

// The message goes to `out` whole and, as far as it fits, into the run record.
void report(FILE* out, const char* prefix, const char* fmt, va_list ap) {
    char kept[512];
    const int used = snprintf(kept, sizeof kept, "%s", prefix);
    va_list copy;
    va_copy(copy, ap);
    if (used >= 0 && static_cast<size_t>(used) < sizeof kept)
        vsnprintf(kept + used, sizeof kept - static_cast<size_t>(used), fmt, copy);
    va_end(copy);
    fputs(prefix, out);
    vfprintf(out, fmt, ap);
    record_error(kept);
}

}  // namespace

void fatal(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    report(stdout, "", fmt, ap);
    va_end(ap);
    exit(1);
}

void fatal_stderr(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    report(stderr, "", fmt, ap);
    va_end(ap);
    exit(1);
}

void input_error(const char* file, int line, const char* fmt, ...) {
    char prefix[128];
    if (line > 0)
        snprintf(prefix, sizeof prefix, "Error in %s, line %d: ", file, line);
    else
        snprintf(prefix, sizeof prefix, "Error in %s: ", file);
    va_list ap;
    va_start(ap, fmt);
    report(stdout, prefix, fmt, ap);
    va_end(ap);
    printf("\n");
    exit(1);
}

void out_of_memory(const char* name) {
    printf("Can't memalloc %s\n", name);
    char kept[160];
    snprintf(kept, sizeof kept, "Can't memalloc %s", name);
    record_error(kept);
    exit(1);
}
