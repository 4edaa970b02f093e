// The command line of velto-pack, parsed into a small struct before anything is done.
#pragma once

#include <string>
#include <vector>

enum class TVerb { NONE, CREATE, LIST, EXTRACT, TEST, HELP, VERSION };

struct TOptions {
    TVerb verb = TVerb::NONE;
    std::string archive;             // the ARCHIVE operand
    std::vector<std::string> paths;  // create: the files and folders to pack
    std::string directory;           // extract: -C DIR, empty for the current folder
    bool quiet = false;              // -q: no progress line
    bool noInstaller = false;        // create: --no-installer
};

// Parses argv[1..argc-1]. Returns true with *options filled, or false with
// *error saying what is wrong (for the usage message, exit status 2).
// Options may stand anywhere after the verb; "--" ends them.
bool ParseOptions(int argc, const char* const* argv, TOptions* options, std::string* error);

// The full help text (for --help, on stdout).
const char* HelpText();
// The short synopsis printed after a usage error.
const char* UsageText();
