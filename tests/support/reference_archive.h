// A plain in-memory reading of archives and entries, written apart from the codec, for oracles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/dostime.h"

// Why a reference expansion ended.
enum class TReferenceStop {
    BAD_MAGIC,    // the first four bytes (missing ones as zero) are not the entry magic
    EMPTY_ENTRY,  // unpackedSize 0: the header alone
    PACKED_END,   // packedSize token bytes used
    INPUT_END,    // the data ended inside the token stream
    REFUSED,      // the byte at refuseAt was refused; its token was taken whole
};

// One compressed entry as a straightforward decoder over a byte array sees
// it. Nothing here is allocated by a size taken from the data beyond the
// output, which is bounded by the token bytes present.
struct TReferenceExpansion {
    TReferenceStop stop = TReferenceStop::BAD_MAGIC;
    size_t headerRead = 0;      // header bytes present, 0..36
    uint32_t magic = 0;         // missing bytes as zero
    TDosTime time = {0, 0};     // the six fields, each masked to its width
    uint32_t unpackedSize = 0;  // missing bytes as zero
    uint32_t packedSize = 0;    // missing bytes as zero
    size_t tokenRead = 0;       // token bytes taken
    size_t consumed = 0;        // bytes taken from the data in all (4 at most for a bad magic)
    std::string output;         // every byte the tokens yield, beyond unpackedSize too

    // What the preloader's Decode reports when the target file takes every byte.
    bool DecodeSucceeds() const;
    // A sound entry: whole header, token stream used exactly to packedSize,
    // exactly unpackedSize bytes; an empty entry announces no token bytes.
    bool Sound() const;
};

// Expands the entry that starts at data[at] (at <= size). With refuseAt,
// the output byte of that index is refused as a sink may refuse it: the
// expansion ends with the tokens up to the one that made it taken.
TReferenceExpansion ReferenceExpand(const uint8_t* data, size_t size, size_t at,
                                    size_t refuseAt = SIZE_MAX);

// The largest output that tokenBytes bytes of token stream can describe:
// whole groups (a flag byte and eight 2-byte references of 18 bytes each,
// 17 bytes giving 144), then a last group of references and at most one literal.
uint64_t MaxExpansion(uint64_t tokenBytes);

// One entry of an archive as read front to back.
struct TReferenceEntry {
    size_t offset = 0;          // where its name length starts
    bool nameComplete = false;  // both length bytes and every name byte present
    std::string name;           // the stored name up to its first zero byte
    size_t headerOffset = 0;    // where its compressed entry starts
    TReferenceExpansion data;   // valid when nameComplete
    size_t end = 0;             // where the data stands after the entry
};

// An archive read as the preloader reads it: the count, then for each entry
// its name and expansion, until the count is reached or the data ends.
// Entries whose name is cut short end the walk (they are the last one listed).
struct TReferenceArchive {
    int count = 0;  // signed 16-bit, 0 when fewer than two bytes
    bool countComplete = false;
    std::vector<TReferenceEntry> entries;
};
TReferenceArchive ReferenceWalk(const std::string& archive);

// The byte of a little-endian 32-bit field, for building entries by hand.
std::string LE32(uint32_t value);
// A compressed entry header with the given sizes and time fields.
std::string EntryHeader(uint32_t unpackedSize, uint32_t packedSize, TDosTime time);
