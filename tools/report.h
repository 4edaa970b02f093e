// How velto-pack talks to its user: exit statuses, errors and warnings on stderr.
#pragma once

#include <string>

constexpr int EXIT_OK = 0;         // everything worked
constexpr int EXIT_BAD_DATA = 1;   // bad archive data or an I/O error
constexpr int EXIT_BAD_USAGE = 2;  // bad usage, or inputs that create refuses

// "velto-pack: <file>: <what>" on stderr; an empty file leaves that part out.
void ReportError(const std::string& file, const std::string& what);
// "velto-pack: <file>: warning: <what>" on stderr.
void ReportWarning(const std::string& file, const std::string& what);

// A name from an archive or the command line made safe to print: control
// bytes become \xNN, so that a hostile name cannot move the cursor or fake a
// second line. Other bytes stand as they are.
std::string PrintableName(const std::string& name);
// "entry <index> (<name>)" for messages about one archive entry.
std::string EntryLabel(int index, const std::string& name);
