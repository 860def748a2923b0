// --help and --version of both programs. The texts that differ between the programs come
// from `program`; the rest is written once here.
#include "cli.hpp"

#include <cstring>

#include "program.hpp"

namespace {

void print_help(FILE* out) {
    fprintf(out, "Usage: %s [--help | --version]\n\n", program.name);
    fputs(program.help_summary, out);
    fprintf(out,
            "\nRun it without arguments in a folder that holds the input files; it writes\n"
            "its reports into the same folder.\n\n");
    fputs(program.help_files, out);
    fputs("Progress notes go to standard output; while standard error is a terminal, a\n"
          "status line there shows the phase, iteration, log-likelihoods, temperature,\n"
          "archived trees and elapsed time.\n\n"
          "Options:\n"
          "  --help        show this help and exit\n"
          "  --version     show the version and exit\n\n"
          "Exit status: 0 after a complete run, 1 after an error, 130 or 143 when\n"
          "interrupted (Ctrl-C or kill).\n\n",
          out);
    fprintf(out,
            "The file formats, the 22 settings lines and the reports are described in\n"
            "README.md of the source tree and in the manual page (man %s).\n",
            program.name);
}

}  // namespace

int handle_command_line(int argc, const char* const* argv, FILE* out, FILE* err) {
    if (argc <= 1) return kRunProgram;
    // Any word we do not know stops the run before a file is opened, so that a typo can
    // never start (and overwrite the reports of) a long search.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") != 0 && std::strcmp(argv[i], "--version") != 0) {
            fprintf(err, "%s: unknown argument '%s' (try '%s --help')\n", program.name, argv[i],
                    program.name);
            return 1;
        }
    }
    if (std::strcmp(argv[1], "--help") == 0)
        print_help(out);
    else
        fputs(program.version_line, out);
    return fflush(out) == 0 ? 0 : 1;
}
