// The files of a folder as the end-to-end reports list them: name, size, local last-write time and
// a hash.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/e2e/e2e_env.h"

// FNV-1a, 64 bits, over the whole file; "" when it cannot be read (a running
// program can always be read, so INSTALL.EXE hashes too).
inline std::string FileHash(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return std::string();
    unsigned long long hash = 14695981039346656037ULL;
    unsigned char buffer[8192];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (size_t i = 0; i < count; ++i) {
            hash ^= buffer[i];
            hash *= 1099511628211ULL;
        }
    }
    std::fclose(file);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", hash);
    return text;
}

// "YYYY-MM-DD HH:MM:SS" of a file time, in local time as the archive keeps it.
inline std::string LocalTimeText(const FILETIME& time) {
    FILETIME local;
    SYSTEMTIME parts;
    if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &parts))
        return "?";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

// Adds "file.N=name|size|time|hash" lines (sorted by name) and "files=N" to report.
inline void AddFolderListing(TReport& report, const std::string& folder) {
    std::vector<std::string> lines;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            const unsigned long long size =
                (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            lines.push_back(name + "|" + (isFolder ? "dir" : std::to_string(size)) + "|" +
                            LocalTimeText(found.ftLastWriteTime) + "|" +
                            (isFolder ? "" : FileHash(folder + name)));
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    std::sort(lines.begin(), lines.end());
    report.Add("files", static_cast<long long>(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) report.Add("file." + std::to_string(i), lines[i]);
}
