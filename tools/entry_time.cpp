// Entry times: SOURCE_DATE_EPOCH, clamping, and the local calendar time both ways.
#include "tools/entry_time.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/filetime.h"

bool ReadSourceDateEpoch(bool* set, int64_t* epoch, std::string* error) {
    const char* text = std::getenv("SOURCE_DATE_EPOCH");
    *set = text != nullptr;
    if (!*set) return true;
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (*text == 0 || *end != 0 || errno != 0 || value < 0 || text[0] == '-' || text[0] == '+' ||
        text[0] == ' ') {
        *error = std::string("SOURCE_DATE_EPOCH is not a whole number of seconds: '") + text + "'";
        return false;
    }
    *epoch = value;
    return true;
}

void StoredEntryTime(int64_t utcSeconds, TDosTime* stored, bool* clamped) {
    TCalendarTime local;
    if (!UtcToLocal(utcSeconds, &local)) {
        // Beyond what the OS can convert: far outside 1980..2107 either way.
        local = TCalendarTime{utcSeconds < 0 ? 1 : 9999, 1, 1, 0, 0, 0};
    }
    *clamped = false;
    *stored = PackDosTime(local, clamped);
}

namespace {

std::string FormatCalendar(const TCalendarTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return text;
}

}  // namespace

std::string FormatDosTime(TDosTime time) { return FormatCalendar(UnpackDosTime(time)); }

std::string FormatLocalTime(int64_t utcSeconds) {
    TCalendarTime local;
    if (!UtcToLocal(utcSeconds, &local)) return std::to_string(utcSeconds) + " s";
    return FormatCalendar(local);
}

bool RestoredEntryTime(TDosTime stored, int64_t* utcSeconds) {
    return LocalToUtc(UnpackDosTime(stored), utcSeconds);
}
