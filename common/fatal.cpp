#include "fatal.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void fatal(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    exit(1);
}

void fatal_stderr(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    exit(1);
}

void input_error(const char* file, int line, const char* fmt, ...) {
    if (line > 0)
        printf("Error in %s, line %d: ", file, line);
    else
        printf("Error in %s: ", file);
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    printf("\n");
    exit(1);
}

void out_of_memory(const char* name) {
    printf("Can't memalloc %s\n", name);
    exit(1);
}
