// Error and warning lines of velto-pack.
#include "tools/report.h"

#include <cstdio>

#include "tools/progress.h"

void ReportError(const std::string& file, const std::string& what) {
    ClearProgressLine();
    if (file.empty())
        std::fprintf(stderr, "velto-pack: %s\n", what.c_str());
    else
        std::fprintf(stderr, "velto-pack: %s: %s\n", PrintableName(file).c_str(), what.c_str());
}

void ReportWarning(const std::string& file, const std::string& what) {
    ReportError(file, "warning: " + what);
}

std::string PrintableName(const std::string& name) {
    static const char HEX[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += HEX[c >> 4];
            out += HEX[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string EntryLabel(int index, const std::string& name) {
    return "entry " + std::to_string(index) + " (" + PrintableName(name) + ")";
}
