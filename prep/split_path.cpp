// Splitting a path into its drive and its directory.
#include "prep/split_path.h"

#include <cstring>

namespace {
constexpr size_t PATH_CHARS_READ = 260;
}

bool SplitPath(const char* path, char drive[DRIVE_SIZE], char directory[DIRECTORY_SIZE]) {
    drive[0] = 0;
    directory[0] = 0;
    if (!path) return true;
    size_t length = 0;
    while (length < PATH_CHARS_READ && path[length] != 0) ++length;

    size_t start = 0;
    if (length >= 2 && path[1] == ':') start = 2;
    size_t end = start;  // one past the last separator, or start when there is none
    for (size_t i = start; i < length; ++i) {
        if (path[i] == '\\' || path[i] == '/') end = i + 1;
    }
    if (end - start >= DIRECTORY_SIZE) return false;

    if (start == 2) {
        drive[0] = path[0];
        drive[1] = ':';
        drive[2] = 0;
    }
    std::memcpy(directory, path + start, end - start);
    directory[end - start] = 0;
    return true;
}
