// The few file-system operations velto-pack needs beyond standard streams, one implementation per
// OS.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// What a path names.
struct TPathInfo {
    bool isDirectory = false;
    bool isRegular = false;  // a regular file (after following links)
    uint64_t size = 0;       // bytes, for a regular file
};

// Fills *info for path. Returns false with *error set when it cannot be looked at.
bool StatPath(const std::string& path, TPathInfo* info, std::string* error);
// The names of the regular files directly in folder, sorted byte by byte.
bool ListRegularFiles(const std::string& folder, std::vector<std::string>* names,
                      std::string* error);

// A new, unique file beside base ("<base>.<n>.tmp" or similar), created
// exclusively and opened "wb+". Returns the stream and sets *path, or null.
FILE* CreateTempBeside(const std::string& base, std::string* path, std::string* error);
// Reads up to count bytes at offset of the file behind stream, without
// moving the stream or using its buffer (threads may read at once); *got is
// below count only at the end of the file. False with *error set on a read error.
bool ReadAt(FILE* stream, uint64_t offset, void* buffer, size_t count, size_t* got,
            std::string* error);
// Moves from onto to, replacing a file that is there.
bool ReplaceFile(const std::string& from, const std::string& to, std::string* error);
// Deletes a file; failures are ignored (used to drop temporary files).
void RemoveFile(const std::string& path);

// dir and name joined with the OS's separator.
std::string JoinPath(const std::string& dir, const std::string& name);
// The last component of path (after the last separator), without trailing separators.
std::string BaseName(const std::string& path);

// The text of the last OS error (errno), for messages.
std::string LastErrorText();
bool StderrIsTerminal();
