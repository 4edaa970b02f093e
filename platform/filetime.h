// Last-write times of open streams and conversion between UTC and local calendar time.
#pragma once

#include <cstdint>
#include <cstdio>

// A wall-clock time in the local time zone.
struct TCalendarTime {
    int year;    // e.g. 1995
    int month;   // 1..12
    int day;     // 1..31
    int hour;    // 0..23
    int minute;  // 0..59
    int second;  // 0..59
};

// Last-write time of the file behind an open stream, in seconds since
// 1970-01-01 UTC. Returns false when the stream has no file or the time
// cannot be read.
bool GetStreamModTime(FILE* stream, int64_t* seconds);
// Sets the last-write time of the file behind an open stream (flushed first).
bool SetStreamModTime(FILE* stream, int64_t seconds);

// UTC seconds to local calendar time, with the daylight-saving rule in force
// on that date (not today's).
bool UtcToLocal(int64_t seconds, TCalendarTime* local);
// Local calendar time to UTC seconds, likewise with that date's own rule.
// Returns false for fields that do not form a valid time.
bool LocalToUtc(const TCalendarTime& local, int64_t* seconds);
