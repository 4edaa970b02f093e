// The checked archive reader: offsets of every fault, and entries skipped correctly after one.
#include "tools/archive_reader.h"

#include <cstring>

#include "tools/progress.h"
#include "tools/report.h"

namespace {

uint32_t LittleEndian32(const unsigned char* b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

std::string HexBytes(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%02X %02X %02X %02X", value & 0xFF, (value >> 8) & 0xFF,
                  (value >> 16) & 0xFF, value >> 24);
    return text;
}

// Stands between the decoder and the caller's sink: refuses the first byte
// beyond the header's unpackedSize, so that hostile token streams cannot run
// on, and keeps the progress line moving.
class TGuardSink : public TEntrySink {
public:
    TGuardSink(TEntrySink& inner, const TLZSS& codec, TProgress* progress, uint64_t tokenOffset)
        : inner(inner), codec(codec), progress(progress), tokenOffset(tokenOffset) {}

    bool Put(uint8_t byte) override { return Write(&byte, 1) == 1; }

    size_t Write(const uint8_t* bytes, size_t count) override {
        const uint64_t room = codec.unpackedSize - produced;
        const size_t allowed = count < room ? count : static_cast<size_t>(room);
        const size_t taken = allowed == 0 ? 0 : inner.Write(bytes, allowed);
        if (progress != nullptr && ((produced + taken) >> 16) != (produced >> 16))
            progress->Update(tokenOffset + codec.packedRead);
        produced += taken;
        if (taken < allowed) {
            innerRefused = true;
        } else if (allowed < count) {
            overflowed = true;
        }
        return taken;
    }

    TEntrySink& inner;
    const TLZSS& codec;
    TProgress* progress;
    uint64_t tokenOffset;  // archive offset of the entry's token stream
    uint64_t produced = 0;
    bool overflowed = false;
    bool innerRefused = false;
};

}  // namespace

TArchiveReader::TArchiveReader(FILE* stream) : stream(stream) {}

size_t TArchiveReader::ReadBytes(void* buffer, size_t size) {
    size_t got = std::fread(buffer, 1, size, stream);
    offset += got;
    return got;
}

uint64_t TArchiveReader::SkipBytes(uint64_t size) {
    unsigned char chunk[16384];
    uint64_t skipped = 0;
    while (skipped < size) {
        uint64_t want = size - skipped < sizeof chunk ? size - skipped : sizeof chunk;
        size_t got = ReadBytes(chunk, static_cast<size_t>(want));
        skipped += got;
        if (got < want) break;
    }
    return skipped;
}

bool TArchiveReader::Fail(const std::string& what) {
    error = what;
    return false;
}

bool TArchiveReader::Fail(const TArchiveEntry& entry, const std::string& what) {
    return Fail(EntryLabel(entry.index, entry.name) + ": " + what);
}

bool TArchiveReader::ReadCount() {
    unsigned char bytes[2];
    if (ReadBytes(bytes, 2) < 2) {
        canContinue = false;
        return Fail("cut short at byte " + std::to_string(offset) +
                    ": an archive starts with a 2-byte entry count");
    }
    count = static_cast<int16_t>(bytes[0] | bytes[1] << 8);
    return true;
}

bool TArchiveReader::ReadName(TArchiveEntry* entry) {
    *entry = TArchiveEntry();
    entry->index = ++entriesRead;
    entry->offset = offset;
    unsigned char lengthBytes[2];
    size_t got = ReadBytes(lengthBytes, 2);
    canContinue = false;  // until the whole name is there
    if (got == 0) {
        return Fail("entry count is " + std::to_string(count) + " but only " +
                    std::to_string(entry->index - 1) +
                    " entries are present: the archive ends at byte " + std::to_string(offset));
    }
    if (got < 2)
        return Fail("entry " + std::to_string(entry->index) + ": cut short at byte " +
                    std::to_string(offset) + " (in the name length)");
    size_t length = lengthBytes[0] | lengthBytes[1] << 8;
    std::string name(length, '\0');
    got = length == 0 ? 0 : ReadBytes(&name[0], length);
    entry->name = std::string(name.c_str());  // a zero byte ends the name
    if (got < length)
        return Fail(*entry, "cut short at byte " + std::to_string(offset) + " (in the name)");
    entry->headerOffset = offset;
    canContinue = true;
    return true;
}

uint64_t TArchiveReader::DataEnd(const TArchiveEntry& entry) const {
    // An empty entry is its header alone, whatever its packedSize says: the
    // decoder reads no token byte for it.
    uint64_t tokens = entry.data.unpackedSize == 0 ? 0 : entry.data.packedSize;
    return entry.headerOffset + ENTRY_HEADER_SIZE + tokens;
}

// Checks what the header read found: cut short or a wrong magic ends the walk.
bool TArchiveReader::CheckHeader(TArchiveEntry* entry) {
    const TEntryInfo& data = entry->data;
    bool magicPresent = data.headerRead >= 4;
    if (magicPresent && data.magic != TLZSS::ENTRY_MAGIC) {
        canContinue = false;
        return Fail(*entry, "wrong magic at byte " + std::to_string(entry->headerOffset) + ": " +
                                HexBytes(data.magic) + " instead of " +
                                HexBytes(TLZSS::ENTRY_MAGIC));
    }
    if (data.headerRead < ENTRY_HEADER_SIZE) {
        canContinue = false;
        return Fail(*entry, "cut short at byte " +
                                std::to_string(entry->headerOffset + data.headerRead) +
                                " (in the entry header)");
    }
    return true;
}

bool TArchiveReader::ReadData(TArchiveEntry* entry, TEntrySink& sink, TProgress* progress) {
    sinkFailed = false;
    TGuardSink guard(sink, codec, progress, entry->headerOffset + ENTRY_HEADER_SIZE);
    int sound = codec.Expand(stream, guard, &entry->data);
    const TEntryInfo& data = entry->data;
    offset = entry->headerOffset + data.inputRead;
    if (progress != nullptr) progress->Update(offset);
    if (!CheckHeader(entry)) return false;
    if (data.stop == TExpandStop::INPUT_END) {
        canContinue = false;
        return Fail(*entry, "cut short at byte " + std::to_string(offset) + " (" +
                                std::to_string(data.tokenRead) + " of " +
                                std::to_string(data.packedSize) + " packed bytes present)");
    }
    if (sound && data.Complete()) return true;

    // The header is sound, so the entry's end is known: go there, so that
    // the next entry can still be read.
    uint64_t end = DataEnd(*entry);
    if (offset < end) {
        SkipBytes(end - offset);
        if (offset < end) {
            canContinue = false;
            return Fail(*entry,
                        "cut short at byte " + std::to_string(offset) + " (" +
                            std::to_string(offset - entry->headerOffset - ENTRY_HEADER_SIZE) +
                            " of " + std::to_string(data.packedSize) + " packed bytes present)");
        }
    }
    canContinue = offset == end;
    if (guard.innerRefused) {
        sinkFailed = true;
        return Fail(*entry, "output refused");
    }
    std::string sizes = "sizes do not match: the header says " + std::to_string(data.unpackedSize) +
                        " bytes, the data gives ";
    if (guard.overflowed)
        return Fail(*entry, sizes + "more (entry ends at byte " + std::to_string(end) + ")");
    if (data.produced != data.unpackedSize)
        return Fail(*entry, sizes + std::to_string(data.produced) + " (entry ends at byte " +
                                std::to_string(end) + ")");
    if (data.stop == TExpandStop::EMPTY_ENTRY)
        return Fail(*entry, "packed size " + std::to_string(data.packedSize) +
                                " for an empty entry, whose token stream the preloader never "
                                "reads (entry ends at byte " +
                                std::to_string(end) + ")");
    return Fail(*entry, "token stream does not end at its packed size " +
                            std::to_string(data.packedSize) + " (entry ends at byte " +
                            std::to_string(end) + ")");
}

bool TArchiveReader::SkipData(TArchiveEntry* entry) {
    unsigned char header[ENTRY_HEADER_SIZE] = {};
    TEntryInfo& data = entry->data;
    data = TEntryInfo();
    data.headerRead = static_cast<uint32_t>(ReadBytes(header, ENTRY_HEADER_SIZE));
    data.magic = LittleEndian32(header);
    uint32_t fields[6];
    for (int i = 0; i < 6; ++i) fields[i] = LittleEndian32(header + 4 + 4 * i);
    data.time.time =
        static_cast<uint16_t>((fields[0] & 31) | (fields[1] & 63) << 5 | (fields[2] & 31) << 11);
    data.time.date =
        static_cast<uint16_t>((fields[3] & 31) | (fields[4] & 15) << 5 | (fields[5] & 127) << 9);
    data.unpackedSize = LittleEndian32(header + 28);
    data.packedSize = LittleEndian32(header + 32);
    if (!CheckHeader(entry)) return false;
    uint64_t end = DataEnd(*entry);
    data.tokenRead = static_cast<uint32_t>(SkipBytes(end - offset));
    data.inputRead = static_cast<uint32_t>(offset - entry->headerOffset);
    if (offset < end) {
        canContinue = false;
        return Fail(*entry, "cut short at byte " + std::to_string(offset) + " (" +
                                std::to_string(data.tokenRead) + " of " +
                                std::to_string(data.packedSize) + " packed bytes present)");
    }
    data.stop = data.unpackedSize == 0 ? TExpandStop::EMPTY_ENTRY : TExpandStop::PACKED_END;
    canContinue = true;
    return true;
}

uint64_t TArchiveReader::CountTrailingBytes() { return SkipBytes(UINT64_MAX); }
