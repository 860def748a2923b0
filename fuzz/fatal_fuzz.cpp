// Stand-in for common/fatal.cpp in the fuzz targets. The readers end the process on bad
// input; a fuzz target must instead get control back and go on to the next input. Each
// routine still formats its message (so the arguments of every message are exercised under
// the sanitizers) and then unwinds to the target's FuzzStop handler. Unwinding, unlike a
// long jump, runs the destructors of the readers' strings and vectors, so nothing leaks.
#include <cstdarg>
#include <cstdio>

#include "base/fatal.hpp"
#include "fuzz_support.hpp"

namespace {

[[noreturn]] void stop(const char* fmt, va_list ap) {
    char buf[1024];
    vsnprintf(buf, sizeof buf, fmt, ap);
    throw FuzzStop{};
}

}  // namespace

void fatal(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    stop(fmt, ap);
}

void fatal_stderr(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    stop(fmt, ap);
}

void input_error(const char* file, int line, const char* fmt, ...) {
    char head[256];
    snprintf(head, sizeof head, "Error in %s, line %d: ", file, line);
    va_list ap;
    va_start(ap, fmt);
    stop(fmt, ap);
}

void out_of_memory(const char* name) {
    char buf[256];
    snprintf(buf, sizeof buf, "Can't memalloc %s\n", name);
    throw FuzzStop{};
}
