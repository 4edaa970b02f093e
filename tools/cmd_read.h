// What the reading commands share: opening an archive and walking to its entries.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct TStreamCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using TStream = std::unique_ptr<FILE, TStreamCloser>;

// Opens the archive for reading and tells its size; reports a failure.
TStream OpenArchive(const std::string& path, uint64_t* size);
