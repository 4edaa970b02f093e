// Entry-name rules.
#include "tools/names.h"

#include <cstring>

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The part of name before its first dot, without trailing spaces, which is
// what Windows compares against the device names ("con .txt" is CON too).
std::string DeviceStem(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (char& c : stem) c = UpperAscii(c);
    return stem;
}

bool IsDeviceName(const std::string& stem) {
    static const char* const DEVICES[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : DEVICES)
        if (stem == device) return true;
    // COM1..COM9 and LPT1..LPT9; Windows counts the superscript digits
    // 1, 2 and 3 (ANSI 0xB9, 0xB2, 0xB3) as digits here too.
    if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0)) {
        unsigned char digit = static_cast<unsigned char>(stem[3]);
        return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
    }
    return false;
}

}  // namespace

const char* EntryNameProblem(const std::string& name) {
    if (name.empty()) return "empty name";
    if (name.size() > MAX_NAME_BYTES) return "name longer than 255 bytes";
    if (name == "." || name == "..") return "not a file name";
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F) return "control character in name";
        if (c == '\\' || c == '/' || c == ':') return "path separator or drive in name";
        if (std::strchr("<>\"|?*", c) != nullptr) return "character not allowed in Windows names";
    }
    if (name.back() == '.' || name.back() == ' ') return "name ends in a dot or space";
    if (IsDeviceName(DeviceStem(name))) return "reserved device name";
    return nullptr;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}
