// The test that an archive entry's name stays a plain file inside the extraction folder.
#include "prep/entry_name.h"

#include <cstring>

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

bool IsReservedDeviceName(const char* name) {
    // The system compares the part before the first dot, without trailing
    // spaces, with the device names ("con .txt" is CON too).
    size_t length = std::strcspn(name, ".");
    while (length > 0 && name[length - 1] == ' ') --length;
    if (length < 3 || length > 7) return false;
    char stem[8] = {};
    for (size_t i = 0; i < length; ++i) stem[i] = Upper(name[i]);

    static const char* const NAMED[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : NAMED) {
        if (std::strcmp(stem, device) == 0) return true;
    }
    // COM1..COM9 and LPT1..LPT9; the system also takes the superscript
    // digits 1, 2 and 3 of the ANSI code page as such a number.
    if (length != 4) return false;
    const unsigned char digit = static_cast<unsigned char>(stem[3]);
    const bool number =
        (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    return number && (std::strncmp(stem, "COM", 3) == 0 || std::strncmp(stem, "LPT", 3) == 0);
}

bool IsSafeEntryName(const char* name) {
    if (!name || name[0] == 0) return false;  // the folder itself
    if (std::strpbrk(name, "\\/:")) return false;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    return !IsReservedDeviceName(name);
}
