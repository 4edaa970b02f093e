// velto-pack: packs, lists, extracts and tests SETUP.TMP archives for the setup.exe preloader.
#include <cstdio>
#include <string>

#include "tools/commands.h"
#include "tools/options.h"
#include "tools/report.h"

#ifndef VELTO_VERSION
#define VELTO_VERSION "unknown"
#endif

int main(int argc, char** argv) {
    TOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        ReportError("", error);
        std::fputs(UsageText(), stderr);
        return EXIT_BAD_USAGE;
    }
    switch (options.verb) {
        case TVerb::HELP:
            std::fputs(HelpText(), stdout);
            return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_BAD_DATA;
        case TVerb::VERSION:
            std::printf("velto-pack %s\n", VELTO_VERSION);
            return EXIT_OK;
        case TVerb::CREATE:
            return RunCreate(options);
        case TVerb::LIST:
            return RunList(options);
        case TVerb::EXTRACT:
            return RunExtract(options);
        case TVerb::TEST:
            return RunTest(options);
        case TVerb::NONE:
            break;
    }
    return EXIT_BAD_USAGE;
}
