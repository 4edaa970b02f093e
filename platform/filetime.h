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

// True when the fields name a real calendar time: month 1..12, a day that
// exists in that month, hour 0..23, minute and second 0..59.
inline bool IsValidCalendarTime(const TCalendarTime& t) {
    static const int DAYS[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.month < 1 || t.month > 12 || t.day < 1) return false;
    const bool leap = (t.year % 4 == 0 && t.year % 100 != 0) || t.year % 400 == 0;
    const int days = DAYS[t.month - 1] + (t.month == 2 && leap ? 1 : 0);
    return t.day <= days && t.hour >= 0 && t.hour <= 23 && t.minute >= 0 && t.minute <= 59 &&
           t.second >= 0 && t.second <= 59;
}
