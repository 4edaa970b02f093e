// File times on POSIX: fstat/futimens on the stream's descriptor, local time via the C library.
#include "platform/filetime.h"

#include <sys/stat.h>
#include <time.h>

bool GetStreamModTime(FILE* stream, int64_t* seconds) {
    if (stream == nullptr || seconds == nullptr) return false;
    const int fd = fileno(stream);
    struct stat status;
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    *seconds = static_cast<int64_t>(status.st_mtime);
    return true;
}

bool SetStreamModTime(FILE* stream, int64_t seconds) {
    if (stream == nullptr) return false;
    std::fflush(stream);
    const int fd = fileno(stream);
    if (fd < 0) return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;  // access time stays
    times[1].tv_sec = static_cast<time_t>(seconds);
    times[1].tv_nsec = 0;
    return futimens(fd, times) == 0;
}

bool UtcToLocal(int64_t seconds, TCalendarTime* local) {
    if (local == nullptr) return false;
    tzset();  // follow TZ as it is now, also when it changed since the last call
    const time_t value = static_cast<time_t>(seconds);
    struct tm fields;
    if (localtime_r(&value, &fields) == nullptr) return false;
    local->year = fields.tm_year + 1900;
    local->month = fields.tm_mon + 1;
    local->day = fields.tm_mday;
    local->hour = fields.tm_hour;
    local->minute = fields.tm_min;
    local->second = fields.tm_sec > 59 ? 59 : fields.tm_sec;
    return true;
}

bool LocalToUtc(const TCalendarTime& local, int64_t* seconds) {
    if (seconds == nullptr || !IsValidCalendarTime(local)) return false;
    struct tm fields = {};
    fields.tm_year = local.year - 1900;
    fields.tm_mon = local.month - 1;
    fields.tm_mday = local.day;
    fields.tm_hour = local.hour;
    fields.tm_min = local.minute;
    fields.tm_sec = local.second;
    fields.tm_isdst = -1;  // let the zone's rule for that date decide
    fields.tm_wday = -1;   // mktime sets it on success; -1 is also a valid result
    const time_t value = mktime(&fields);
    if (fields.tm_wday < 0) return false;
    *seconds = static_cast<int64_t>(value);
    return true;
}
