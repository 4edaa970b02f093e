// Command-line parsing and the help text of velto-pack.
#include "tools/options.h"

#include <cstring>

namespace {

bool VerbFromWord(const std::string& word, TVerb* verb) {
    static const struct {
        const char* word;
        TVerb verb;
    } VERBS[] = {
        {"create", TVerb::CREATE}, {"list", TVerb::LIST},         {"extract", TVerb::EXTRACT},
        {"test", TVerb::TEST},     {"--help", TVerb::HELP},       {"-h", TVerb::HELP},
        {"help", TVerb::HELP},     {"--version", TVerb::VERSION},
    };
    for (const auto& entry : VERBS) {
        if (word == entry.word) {
            *verb = entry.verb;
            return true;
        }
    }
    return false;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, TOptions* options, std::string* error) {
    *options = TOptions();
    if (argc < 2) {
        *error = "no command given";
        return false;
    }
    if (!VerbFromWord(argv[1], &options->verb)) {
        *error = std::string("unknown command '") + argv[1] + "'";
        return false;
    }
    TVerb verb = options->verb;
    if (verb == TVerb::HELP || verb == TVerb::VERSION) {
        if (argc > 2) {
            *error = std::string("'") + argv[1] + "' takes no operands";
            return false;
        }
        return true;
    }

    std::vector<std::string> operands;
    bool haveDirectory = false;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string word = argv[i];
        if (optionsEnded || word.empty() || word[0] != '-' || word == "-") {
            operands.push_back(word);
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "-q" || word == "--quiet") {
            options->quiet = true;
        } else if (word == "--no-installer") {
            if (verb != TVerb::CREATE) {
                *error = "--no-installer applies to create only";
                return false;
            }
            options->noInstaller = true;
        } else if (word.compare(0, 2, "-C") == 0) {
            if (verb != TVerb::EXTRACT) {
                *error = "-C applies to extract only";
                return false;
            }
            if (haveDirectory) {
                *error = "-C given twice";
                return false;
            }
            if (word.size() > 2) {
                options->directory = word.substr(2);
            } else if (i + 1 < argc) {
                options->directory = argv[++i];
            } else {
                *error = "-C needs a folder";
                return false;
            }
            if (options->directory.empty()) {
                *error = "-C needs a folder";
                return false;
            }
            haveDirectory = true;
        } else {
            *error = "unknown option '" + word + "'";
            return false;
        }
    }

    if (operands.empty()) {
        *error = "no archive given";
        return false;
    }
    options->archive = operands[0];
    operands.erase(operands.begin());
    if (verb == TVerb::CREATE) {
        if (operands.empty()) {
            *error = "create needs at least one file or folder to pack";
            return false;
        }
        options->paths = operands;
    } else if (!operands.empty()) {
        *error = "unexpected operand '" + operands[0] + "'";
        return false;
    }
    return true;
}

const char* UsageText() {
    return "usage: velto-pack create ARCHIVE PATH... [-q] [--no-installer]\n"
           "       velto-pack list ARCHIVE\n"
           "       velto-pack extract ARCHIVE [-C DIR] [-q]\n"
           "       velto-pack test ARCHIVE [-q]\n"
           "       velto-pack --help | --version\n";
}

const char* HelpText() {
    return "velto-pack: makes and checks SETUP.TMP, the archive that the setup.exe\n"
           "preloader unpacks before it starts the product's INSTALL.EXE.\n"
           "\n"
           "Usage:\n"
           "  velto-pack create ARCHIVE PATH...   pack files into a new ARCHIVE; a folder\n"
           "                                      adds the regular files directly in it,\n"
           "                                      sorted by name (no subfolders)\n"
           "  velto-pack list ARCHIVE             one line per entry: name, size, packed\n"
           "                                      size, date and time (local time)\n"
           "  velto-pack extract ARCHIVE [-C DIR] unpack into DIR (default: the current\n"
           "                                      folder), restoring file times\n"
           "  velto-pack test ARCHIVE             decode every entry without writing and\n"
           "                                      report each bad one\n"
           "  velto-pack --help | --version\n"
           "\n"
           "Options (anywhere after the command; \"--\" ends them):\n"
           "  -q              no progress line (it is shown only on a terminal, for\n"
           "                  work that takes longer than half a second)\n"
           "  -C DIR          extract: unpack into DIR, which must exist\n"
           "  --no-installer  create: allow an archive without INSTALL.EXE (the\n"
           "                  preloader starts nothing without it)\n"
           "\n"
           "Entry names are the files' base names and must be plain Windows file names:\n"
           "no \\ / : < > \" | ? * or control characters, not . or .., no trailing dot or\n"
           "space, at most 255 bytes, not a device name (CON, PRN, AUX, NUL, COM1-COM9,\n"
           "LPT1-LPT9, with or without an extension). create refuses such names, two\n"
           "names that differ only in case, more than 32767 entries and files larger\n"
           "than 3.5 GiB (3817748706 bytes), and then writes nothing. An entry named\n"
           "Install.ini is packed with a warning: the preloader overwrites it. extract\n"
           "never writes outside DIR: an entry with an unsafe name is reported and\n"
           "skipped.\n"
           "\n"
           "Speed: create codes a file of 2 MiB or more on all processors at once, and\n"
           "extract writes on one processor while it decodes on another; the archive\n"
           "and the files are the same byte for byte as with one processor.\n"
           "\n"
           "Times: entries keep the files' last-write times as local calendar time with\n"
           "two-second resolution. Times before 1980 or after 2107 are clamped, with a\n"
           "warning. If SOURCE_DATE_EPOCH is set (seconds since 1970-01-01 UTC), no\n"
           "entry's time is later than it, so that the same files, times and time zone\n"
           "always give the same archive bytes.\n"
           "\n"
           "Exit status: 0 when everything worked, 1 for bad archive data or an I/O\n"
           "error, 2 for bad usage or inputs that create refuses.\n"
           "Errors read \"velto-pack: FILE: what\", naming the entry and the byte offset\n"
           "where an archive went wrong.\n";
}
