// Reading SETUP.TMP with every read checked: the entry count, each counted name and compressed
// entry.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "codec/lzss.h"

class TProgress;

constexpr uint32_t ENTRY_HEADER_SIZE = 36;  // magic, six time fields, unpackedSize, packedSize
constexpr int MAX_ENTRIES = 32767;          // the largest positive 16-bit entry count

// One entry as the reader found it.
struct TArchiveEntry {
    int index = 0;              // 1 for the first entry
    std::string name;           // the stored name up to its first zero byte
    uint64_t offset = 0;        // where the entry (its name length) starts in the archive
    uint64_t headerOffset = 0;  // where its compressed entry (the magic) starts
    TEntryInfo data;            // the header fields and what decoding found
};

// Walks an archive front to back, as the preloader does, but checks every
// read and names the byte offset of the first thing that is wrong. Nothing
// is allocated by a size taken from the archive beyond one name (at most
// 65535 bytes); decoded bytes go straight to a sink.
//
// Use: ReadCount, then for each of EntryCount() entries ReadName and either
// ReadData (decode) or SkipData (header only). After a failure, Error()
// says what went wrong; CanContinue() tells whether the next entry can still
// be found (the failed entry's end is known and was reached).
class TArchiveReader {
public:
    // stream stands at the archive's first byte; it is not owned.
    explicit TArchiveReader(FILE* stream);

    // Reads the 2-byte entry count. False when the archive is shorter.
    bool ReadCount();
    // The entries announced: the count read, or 0 when it is 0 or negative.
    int EntryCount() const { return count > 0 ? count : 0; }
    // The count as a signed 16-bit value, as stored.
    int StoredCount() const { return count; }

    // Reads the next entry's counted name into *entry. False when the archive
    // ends first (a count larger than the entries present, or a cut name).
    bool ReadName(TArchiveEntry* entry);
    // Decodes the entry's data into sink; more bytes than its header gives
    // are refused. True for a sound entry; false otherwise, with the input
    // moved to the entry's end when it is known (CanContinue).
    bool ReadData(TArchiveEntry* entry, TEntrySink& sink, TProgress* progress);
    // Reads the entry's header and passes over its token stream without
    // decoding it. True when the header is sound and all of it is present.
    bool SkipData(TArchiveEntry* entry);

    // Reads to the end and returns how many bytes follow the last entry.
    uint64_t CountTrailingBytes();

    bool CanContinue() const { return canContinue; }
    // What went wrong, e.g. "entry 3 (DATA.BIN): cut short at byte 81920".
    const std::string& Error() const { return error; }
    // Bytes of the archive consumed so far.
    uint64_t Offset() const { return offset; }
    // True when the last ReadData failed because the caller's sink refused a
    // byte (the caller knows why) rather than because of the archive.
    bool SinkFailed() const { return sinkFailed; }

private:
    size_t ReadBytes(void* buffer, size_t size);  // reads, counting what was read
    uint64_t SkipBytes(uint64_t size);            // passes over bytes; returns those present
    bool Fail(const std::string& what);
    bool Fail(const TArchiveEntry& entry, const std::string& what);
    bool CheckHeader(TArchiveEntry* entry);
    uint64_t DataEnd(const TArchiveEntry& entry) const;

    FILE* stream;
    TLZSS codec{0};           // only Expand is used
    uint64_t offset = 0;      // bytes consumed from stream
    int count = 0;            // entry count as stored (signed 16-bit)
    int entriesRead = 0;      // names read so far
    bool canContinue = true;  // false once the archive cannot be followed further
    bool sinkFailed = false;
    std::string error;
};

// A sink that only counts, for entries that are checked but not stored.
class TCountingSink : public TEntrySink {
public:
    bool Put(uint8_t) override {
        ++count;
        return true;
    }
    size_t Write(const uint8_t*, size_t bytes) override {
        count += bytes;
        return bytes;
    }
    uint64_t count = 0;
};
