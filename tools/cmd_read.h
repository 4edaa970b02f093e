// What the reading commands share: opening an archive and walking to its entries.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "tools/archive_reader.h"

struct TStreamCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using TStream = std::unique_ptr<FILE, TStreamCloser>;

// An archive opened for reading, its entry count read.
struct TOpenArchive {
    TStream stream;                          // the archive, buffered
    uint64_t size = 0;                       // its size in bytes, for the progress line
    std::unique_ptr<TArchiveReader> reader;  // walks its entries, from the first name on
};

// Opens the archive and reads its entry count; reports a failure and returns false.
bool OpenArchiveForReading(const std::string& path, TOpenArchive* archive);
