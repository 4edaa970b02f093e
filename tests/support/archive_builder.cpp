// Archive bytes for tests, with the real encoder.
#include "tests/support/archive_builder.h"

#include <cstdio>
#include <cstdlib>

#include "codec/lzss.h"
#include "platform/filetime.h"

TDosTime MakeDosTime(int year, int month, int day, int hour, int minute, int second) {
    return PackDosTime(TCalendarTime{year, month, day, hour, minute, second}, nullptr);
}

int64_t DosTimeToUtc(TDosTime time) {
    int64_t seconds = -1;
    LocalToUtc(UnpackDosTime(time), &seconds);
    return seconds;
}

std::string PackEntry(const std::string& bytes, TDosTime time) {
    FILE* input = std::tmpfile();
    FILE* output = std::tmpfile();
    if (!input || !output) std::abort();
    std::fwrite(bytes.data(), 1, bytes.size(), input);
    std::rewind(input);
    TLZSS codec(0);
    if (!codec.Encode(input, output, time)) std::abort();
    std::string packed(static_cast<size_t>(std::ftell(output)), '\0');
    std::rewind(output);
    if (std::fread(packed.data(), 1, packed.size(), output) != packed.size()) std::abort();
    std::fclose(input);
    std::fclose(output);
    return packed;
}

std::string CountBytes(uint16_t count) {
    return std::string{static_cast<char>(count & 0xFF), static_cast<char>(count >> 8)};
}

std::string CountedName(const std::string& name) {
    return CountBytes(static_cast<uint16_t>(name.size())) + name;
}

std::string EntryBytes(const TTestEntry& entry) {
    return CountedName(entry.name) + PackEntry(entry.bytes, entry.time);
}

std::string MakeArchive(const std::vector<TTestEntry>& entries) {
    std::string archive = CountBytes(static_cast<uint16_t>(entries.size()));
    for (const TTestEntry& entry : entries) archive += EntryBytes(entry);
    return archive;
}
