// Writing SETUP.TMP: into a temporary file beside the archive, renamed into place only when
// complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "codec/lzss.h"
#include "tools/parallel_encoder.h"

// Writes the entry count, then per entry the counted name and the compressed
// entry. Until Commit succeeds the archive's own path is not touched; a
// writer destroyed before that removes its temporary file, so a failed run
// leaves neither a half-written archive nor the temporary file behind.
class TArchiveWriter {
public:
    TArchiveWriter() = default;
    ~TArchiveWriter();
    TArchiveWriter(const TArchiveWriter&) = delete;
    TArchiveWriter& operator=(const TArchiveWriter&) = delete;

    // Creates the temporary file and writes the entry count (0..32767).
    bool Begin(const std::string& archivePath, int entryCount, std::string* error);
    // Packs all of input as the entry name, stamped with time. expectedSize
    // is the file's size when it was checked: a file that has changed since
    // is an error rather than an entry with a surprising size. A large file
    // is coded on several threads (parallel_encoder.h), to the same bytes;
    // progress, when given, hears how much of it is done.
    bool AddEntry(const std::string& name, FILE* input, TDosTime time, uint64_t expectedSize,
                  std::string* error, const TEncodeProgress& progress = TEncodeProgress());
    // Flushes and closes the temporary file and renames it to the archive.
    bool Commit(std::string* error);

    // Bytes of the archive written so far.
    uint64_t Size() const { return size; }

    TParallelPlan plan;  // how large files are split over threads

private:
    bool WriteBytes(const void* bytes, size_t count, std::string* error);
    void Abandon();

    std::string archivePath;
    std::string tempPath;  // the file being written, empty when none
    FILE* output = nullptr;
    TLZSS codec{0};
    uint64_t size = 0;
};
