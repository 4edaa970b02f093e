// Entry-name rules.
#include "tools/names.h"

#include <cstring>

#include "prep/entry_name.h"

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

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
    if (IsReservedDeviceName(name.c_str())) return "reserved device name";
    return nullptr;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}
