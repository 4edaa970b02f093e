// The test that an archive entry's name stays a plain file inside the extraction folder.
#include "prep/entry_name.h"

#include <cstring>

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The system treats the part before the first dot, without trailing
// spaces, as a device when it is one of these names.
bool IsDeviceName(const char* name) {
    size_t length = std::strcspn(name, ".");
    while (length > 0 && name[length - 1] == ' ') --length;
    char base[5] = {0, 0, 0, 0, 0};
    if (length < 3 || length > 4) return false;
    for (size_t i = 0; i < length; ++i) base[i] = Upper(name[i]);

    static const char* const THREE_LETTER[] = {"CON", "PRN", "AUX", "NUL"};
    if (length == 3) {
        for (const char* device : THREE_LETTER) {
            if (std::strcmp(base, device) == 0) return true;
        }
        return false;
    }
    // COM1..COM9 and LPT1..LPT9; the system also takes the superscript
    // digits 1, 2 and 3 of the ANSI code page as such a number.
    const unsigned char digit = static_cast<unsigned char>(base[3]);
    const bool number =
        (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    return number && (std::strncmp(base, "COM", 3) == 0 || std::strncmp(base, "LPT", 3) == 0);
}

}  // namespace

bool IsSafeEntryName(const char* name) {
    if (!name || name[0] == 0) return false;  // the folder itself
    if (std::strpbrk(name, "\\/:")) return false;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    return !IsDeviceName(name);
}
