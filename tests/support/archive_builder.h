// Archive bytes for tests: entries by the real encoder, counts and names by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "codec/dostime.h"

// A local time packed as the archive stores it.
TDosTime MakeDosTime(int year, int month, int day, int hour, int minute, int second);
// The last-write time (UTC seconds) an unpacked file of that entry time carries.
int64_t DosTimeToUtc(TDosTime time);

// One compressed entry (header and token stream) for bytes, by TLZSS::Encode.
std::string PackEntry(const std::string& bytes, TDosTime time);
// The two bytes of an entry count, little-endian.
std::string CountBytes(uint16_t count);
// A counted name: two bytes of length, little-endian, then the name's bytes.
std::string CountedName(const std::string& name);

struct TTestEntry {
    std::string name;
    std::string bytes;
    TDosTime time;
};
// One entry: its counted name, then its compressed entry.
std::string EntryBytes(const TTestEntry& entry);
// A whole archive: the count of entries, then every entry.
std::string MakeArchive(const std::vector<TTestEntry>& entries);
