// Entry-name rules: which names are one plain Windows file name, and names compared as Windows
// does.
#pragma once

#include <string>

constexpr size_t MAX_NAME_BYTES = 255;

// Why name is not one plain Windows file name, or null when it is. Refused:
// the empty name, a separator or drive colon (\ / :), characters Windows
// does not allow in a name (< > " | ? *), control characters, "." and "..",
// a trailing dot or space, more than 255 bytes, and the reserved device
// names (CON, PRN, AUX, NUL, COM1..COM9, LPT1..LPT9, CONIN$, CONOUT$) with or
// without an extension. Bytes from 0x80 up (ANSI letters) are allowed.
const char* EntryNameProblem(const std::string& name);

// True when a and b name the same file on Windows: equal but for the case of
// ASCII letters.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

constexpr char INSTALLER_NAME[] = "INSTALL.EXE";  // what the preloader starts
constexpr char INI_NAME[] = "Install.ini";        // what the preloader writes over
