// Packed DOS date and time: the six time fields of a compressed entry.
#pragma once

#include <cstdint>

#include "platform/filetime.h"

// Local calendar time at two-second resolution, 1980-01-01 to 2107-12-31.
struct TDosTime {
    uint16_t date;  // day in bits 0-4, month in 5-8, years since 1980 in 9-15
    uint16_t time;  // seconds/2 in bits 0-4, minutes in 5-10, hours in 11-15
};

// Packs a calendar time; a time before 1980 or after 2107 is clamped to the
// nearest end of the range and *clamped (when given) is set to true.
TDosTime PackDosTime(const TCalendarTime& calendar, bool* clamped);
// The calendar time a packed value stands for (fields as stored, not checked).
TCalendarTime UnpackDosTime(TDosTime dos);
