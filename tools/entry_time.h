// Entry times: a file's last-write time to the stored local DOS time and back.
#pragma once

#include <cstdint>
#include <string>

#include "codec/dostime.h"

// The SOURCE_DATE_EPOCH of the environment. Returns false with *error set
// when it is set but not a whole number of seconds; *set tells whether it is set.
bool ReadSourceDateEpoch(bool* set, int64_t* epoch, std::string* error);

// The time to store for a file last written at utcSeconds: local calendar
// time, clamped to 1980..2107 (*clamped says so).
void StoredEntryTime(int64_t utcSeconds, TDosTime* stored, bool* clamped);

// "YYYY-MM-DD HH:MM:SS" of a stored time, fields as they are.
std::string FormatDosTime(TDosTime time);
// "YYYY-MM-DD HH:MM:SS" of UTC seconds in local time, for warnings.
std::string FormatLocalTime(int64_t utcSeconds);

// The UTC seconds a stored local time stands for; false when its fields do
// not form a valid time.
bool RestoredEntryTime(TDosTime stored, int64_t* utcSeconds);
